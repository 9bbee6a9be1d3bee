// The SDK owns every handler connected to it. A handler deleted twice or never is a crash or a
// leak in the program, and a duplicate kept would run a frame handler twice per frame, so
// these tests count handlers alive across connection, refusal and teardown.
#include <gtest/gtest.h>

#include "SdkTestSupport.h"
#include "common/EventAccess.h"

namespace CamSdk {
namespace {

using testing::Scenario;

// A handler identified by a key, so that two of them can be duplicates.
class KeyedHandler final : public EventHandler<ColorNode, ColorNode::NewSampleReceivedData> {
 public:
  KeyedHandler(int key, int* deliveries) : key_(key), deliveries_(deliveries) {}
  bool isSameHandler(EventHandlerBase* other) const override {
    auto* keyed = dynamic_cast<KeyedHandler*>(other);
    return keyed != nullptr && keyed->key_ == key_;
  }
  void deliver(ColorNode, ColorNode::NewSampleReceivedData) override { ++*deliveries_; }

 private:
  int key_;
  int* deliveries_;
};

class Events : public ::testing::Test {
 protected:
  Scenario scenario = Scenario::fresh();
  long handlersBefore = detail::EventAccess::liveHandlers();
};

TEST_F(Events, DuplicatesAreDeletedAtOnceAndTheRestWhenTheObjectGoes) {
  int deliveries = 0;
  {
    Context context = Context::create("localhost");
    ColorNode color = sdktest::typedNode<ColorNode>(context, "color0");
    auto& event = color.newSampleReceivedEvent();
    detail::EventAccess::connect(event, new KeyedHandler(1, &deliveries));
    detail::EventAccess::connect(event, new KeyedHandler(1, &deliveries));  // duplicate
    detail::EventAccess::connect(event, new KeyedHandler(2, &deliveries));
    EXPECT_EQ(detail::EventAccess::connectCalls(event), 3);
    EXPECT_EQ(detail::EventAccess::handlerCount(event), 2u);
    EXPECT_EQ(detail::EventAccess::liveHandlers(), handlersBefore + 2);

    color.setEnableColorMap(true);
    context.registerNode(color);
    context.startNodes();
    sdktest::listen<ColorNode, ColorNode::NewSampleReceivedData>(
        event, [&context](ColorNode, ColorNode::NewSampleReceivedData) { context.quit(); });
    context.run();
    EXPECT_EQ(deliveries, 2);  // once per kept handler

    // The node's handlers live while any handle to the node does, context gone or not.
    context = Context();
    EXPECT_EQ(detail::EventAccess::liveHandlers(), handlersBefore + 3);
  }
  EXPECT_EQ(detail::EventAccess::liveHandlers(), handlersBefore);
}

TEST_F(Events, ANullHandlerIsIgnored) {
  Context context = Context::create("localhost");
  auto& event = context.deviceAddedEvent();
  detail::EventAccess::connect(
      event, static_cast<EventHandler<Context, Context::DeviceAddedData>*>(nullptr));
  EXPECT_EQ(detail::EventAccess::handlerCount(event), 0u);
}

TEST_F(Events, HandlersOfEveryObjectKindAreDeletedWithTheirContext) {
  {
    Context context = Context::create("localhost");
    Device device = sdktest::firstDevice(context);
    sdktest::listen<Context, Context::DeviceAddedData>(context.deviceAddedEvent(),
                                                       [](Context, Context::DeviceAddedData) {});
    sdktest::listen<Device, Device::NodeRemovedData>(device.nodeRemovedEvent(),
                                                     [](Device, Device::NodeRemovedData) {});
    sdktest::listen<AudioNode, AudioNode::NewSampleReceivedData>(
        sdktest::typedNode<AudioNode>(context, "audio0").newSampleReceivedEvent(),
        [](AudioNode, AudioNode::NewSampleReceivedData) {});
    EXPECT_EQ(detail::EventAccess::liveHandlers(), handlersBefore + 3);
  }
  EXPECT_EQ(detail::EventAccess::liveHandlers(), handlersBefore);
}

}  // namespace
}  // namespace CamSdk
