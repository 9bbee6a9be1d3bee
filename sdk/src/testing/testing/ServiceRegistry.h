// Which service in this process answers for which host. The registry holds weak references
// only: a service lives while a context or a Scenario holds it, and goes with the last of them.
// A service put in place is offered to Context::create, which reaches it in process.
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

}  // namespace detail
}  // namespace CamSdk
