// Which service answers for which host. The registry holds weak references only: a service
// lives while a context or a Scenario holds it, and goes with the last of them.
#pragma once

#include <memory>
#include <string>

namespace CamSdk {
namespace detail {

class Service;

// The service in place for `host`, or null.
std::shared_ptr<Service> findService(const std::string& host);
// Puts `service` in place for `host`, replacing any other.
void installService(const std::string& host, const std::shared_ptr<Service>& service);
// The service in place for `host`; for "localhost" one is made when none is in place: one
// camera on the real clock, then the scenario file that CAMSDK_SCENARIO names, if any.
// Raises IOException naming any other host that has no service.
std::shared_ptr<Service> openService(const std::string& host);

}  // namespace detail
}  // namespace CamSdk
