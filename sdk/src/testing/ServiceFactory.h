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

}  // namespace detail
}  // namespace CamSdk
