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
// The default simulated device "camera0", with depth0, color0 and audio0.
void addSimulatedCamera(Service& service);

}  // namespace detail
}  // namespace CamSdk
