// Making services: the one that answers for "localhost" by default, and fresh ones for tests.
#include <cstdlib>

#include "camsdk/Exceptions.h"
#include "service/Service.h"
#include "sources/SimulatedCamera.h"
#include "testing/ScenarioAccess.h"
#include "testing/ServiceFactory.h"
#include "testing/ServiceRegistry.h"

namespace CamSdk {
namespace detail {

std::shared_ptr<Service> makeService(const std::string& host, testing::Topology topology,
                                     bool virtualClock) {
  auto service =
      std::make_shared<Service>(host, virtualClock ? makeVirtualClock() : makeSteadyClock(),
                                std::make_shared<SimulatedCamera>());
  if (topology == testing::Topology::OneCamera) addSimulatedCamera(*service);
  return service;
}

void addSimulatedCamera(Service& service) {
  service.addDevice("camera0", {NodeKind::Depth, NodeKind::Color, NodeKind::Audio});
}

std::shared_ptr<Service> openService(const std::string& host) {
  if (std::shared_ptr<Service> service = findService(host)) return service;
  if (host != "localhost") {
    throw IOException("no camera service answers on host \"" + host + "\"");
  }
  std::shared_ptr<Service> service = makeService(host, testing::Topology::OneCamera, false);
  // Installed only once the file applied cleanly, so a malformed file fails every attempt
  // alike instead of leaving a half-made service behind.
  const char* path = std::getenv("CAMSDK_SCENARIO");
  if (path != nullptr && *path != '\0') {
    testing::Scenario scenario = ScenarioAccess::make(service);
    testing::applyScenarioFile(scenario, path);
  }
  installService(host, service);
  return service;
}

}  // namespace detail
}  // namespace CamSdk
