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
  // The service behind a scenario, for tests that serve it over a transport of their own.
  static Service& serviceOf(testing::Scenario& scenario) { return *scenario.service_; }
};

}  // namespace detail
}  // namespace CamSdk
