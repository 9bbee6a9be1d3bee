// Helpers shared by the SDK's own tests: handlers that forward to a lambda, and lookups of
// the nodes a context lists.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>

#include "camsdk/CamSdk.h"
#include "camsdk/testing/Scenario.h"
#include "common/EventAccess.h"

namespace CamSdk {
namespace sdktest {

// Handlers compare equal only to themselves, so every connection is kept.
template <class T, class Data>
class LambdaHandler final : public EventHandler<T, Data> {
 public:
  explicit LambdaHandler(std::function<void(T, Data)> onEvent) : onEvent_(std::move(onEvent)) {}
  bool isSameHandler(EventHandlerBase* other) const override { return other == this; }
  void deliver(T source, Data data) override { onEvent_(std::move(source), std::move(data)); }

 private:
  std::function<void(T, Data)> onEvent_;
};

// Connects `onEvent` to `event`. Capture handles by reference only: a handler holding a
// handle of the object it listens to would keep that object alive for ever.
template <class T, class Data>
void listen(Event<T, Data>& event, std::function<void(T, Data)> onEvent) {
  detail::EventAccess::connect(event, new LambdaHandler<T, Data>(std::move(onEvent)));
}

inline Device firstDevice(const Context& context) {
  List<Device> devices = context._p_getDevices();
  if (devices.size() == 0) {
    ADD_FAILURE() << "no device";
    return Device();
  }
  return devices[0];
}

inline Node nodeNamed(const Context& context, const std::string& name) {
  List<Device> devices = context._p_getDevices();
  for (int d = 0; d < devices.size(); ++d) {
    List<Node> nodes = devices[d]._p_getNodes();
    for (int n = 0; n < nodes.size(); ++n) {
      if (nodes[n].name() == name) return nodes[n];
    }
  }
  ADD_FAILURE() << "no node " << name;
  return Node();
}

template <class TypedNode>
TypedNode typedNode(const Context& context, const std::string& name) {
  return nodeNamed(context, name).as<TypedNode>();
}

// A fresh service with the default camera, a context on it and that camera's three nodes.
class OneCameraTest : public ::testing::Test {
 protected:
  testing::Scenario scenario = testing::Scenario::fresh();
  Context context = Context::create("localhost");
  DepthNode depth = typedNode<DepthNode>(context, "depth0");
  ColorNode color = typedNode<ColorNode>(context, "color0");
  AudioNode audio = typedNode<AudioNode>(context, "audio0");
};

// Quits `context`'s loop when the service clock reaches `at`.
inline void quitAt(testing::Scenario& scenario, Context& context, std::chrono::nanoseconds at) {
  scenario.at(at, [&context](testing::Scenario&) { context.quit(); });
}

}  // namespace sdktest
}  // namespace CamSdk
