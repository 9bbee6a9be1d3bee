// A new simulated service with the given devices and clock, not yet in place for any host.
#pragma once

#include <memory>
#include <string>

#include "camsdk/testing/Scenario.h"

namespace CamSdk {
namespace detail {

class Service;

std::shared_ptr<Service> makeService(const std::string& host, testing::Topology topology,
                                     bool virtualClock);
// The service in place for `host`; for "localhost" one is made when none is in place: one
// camera on the real clock, then the scenario file that CAMSDK_SCENARIO names, if any.
// Raises IOException naming any other host that has no service.
std::shared_ptr<Service> openService(const std::string& host);
// The default simulated device "camera0", with depth0, color0 and audio0.
void addSimulatedCamera(Service& service);

}  // namespace detail
}  // namespace CamSdk
