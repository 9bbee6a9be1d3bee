#include "testing/ServiceRegistry.h"

#include <map>

#include "service/Service.h"
#include "testing/InProcess.h"
#include "transport/LocalServices.h"

namespace CamSdk {
namespace detail {

namespace {

// Function-local, so it exists before the first use whatever the order of static
// initialisation. Services never reach it from their destructors, so its own destruction at
// exit cannot strand them.
std::map<std::string, std::weak_ptr<Service>>& registry() {
  static std::map<std::string, std::weak_ptr<Service>> services;
  return services;
}

}  // namespace

std::shared_ptr<Service> findService(const std::string& host) {
  auto found = registry().find(host);
  if (found == registry().end()) return nullptr;
  std::shared_ptr<Service> service = found->second.lock();
  if (!service) registry().erase(found);
  return service;
}

void installService(const std::string& host, const std::shared_ptr<Service>& service) {
  registry()[host] = service;
  std::weak_ptr<Service> weak = service;
  transport::offerLocalService(host, [weak]() -> std::unique_ptr<transport::Connection> {
    std::shared_ptr<Service> alive = weak.lock();
    if (!alive) return nullptr;
    return transport::InProcessHub::of(alive)->connect();
  });
}

}  // namespace detail
}  // namespace CamSdk
