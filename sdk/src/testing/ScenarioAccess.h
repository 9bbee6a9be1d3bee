// Lets the SDK put a Scenario around a service it holds (for timed actions and the scenario
// file read at start-up).
#pragma once

#include <memory>
#include <utility>

#include "camsdk/testing/Scenario.h"

namespace CamSdk {
namespace detail {

struct ScenarioAccess {
  static testing::Scenario make(std::shared_ptr<Service> service) {
    return testing::Scenario(std::move(service));
  }
};

}  // namespace detail
}  // namespace CamSdk
