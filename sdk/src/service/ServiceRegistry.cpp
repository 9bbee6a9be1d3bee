#include "service/ServiceRegistry.h"

#include <map>

#include "camsdk/Exceptions.h"
#include "service/Service.h"

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
}

}  // namespace detail
}  // namespace CamSdk
