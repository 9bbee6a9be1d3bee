// The adapters are the only path by which the SDK reaches the program's handlers. These tests
// pin down the three ways an adapter could go wrong unnoticed: taking a handler of another
// event kind (or around another function) for a duplicate, sharing state with the SDK's copies
// of an event, and losing or leaking adapters when a function is connected more than once.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <vector>

#include "camera/CameraSdk.h"
#include "common/EventAccess.h"

namespace {

using CamSdk::ColorNode;
using CamSdk::Device;
using CamSdk::EventHandler;
using CamSdk::EventHandlerBase;
using CamSdk::FunctionHandler;
using CamSdk::detail::EventAccess;

using NodeAddedHandler = FunctionHandler<Device, Device::NodeAddedData>;
using NodeRemovedHandler = FunctionHandler<Device, Device::NodeRemovedData>;
using ColorSampleEvent = CamSdk::Event<ColorNode, ColorNode::NewSampleReceivedData>;

std::vector<int> calls;

void firstOnNodeAdded(Device, Device::NodeAddedData) { calls.push_back(1); }
void secondOnNodeAdded(Device, Device::NodeAddedData) { calls.push_back(2); }
void firstOnNodeRemoved(Device, Device::NodeRemovedData) { calls.push_back(3); }

// A handler of the same event kind that is not an adapter.
class OtherNodeAddedHandler : public EventHandler<Device, Device::NodeAddedData> {
 public:
  bool isSameHandler(EventHandlerBase*) const override { return false; }
  void deliver(Device, Device::NodeAddedData) override {}
};

class FunctionHandlerTest : public testing::Test {
 protected:
  void SetUp() override { calls.clear(); }
  void TearDown() override { EXPECT_EQ(EventAccess::liveHandlers(), liveAtStart_); }

  long liveAtStart_ = EventAccess::liveHandlers();
};

TEST_F(FunctionHandlerTest, IsSameHandlerOnlyForTheSameInstantiationAndFunction) {
  NodeAddedHandler handler(firstOnNodeAdded);
  NodeAddedHandler sameFunction(firstOnNodeAdded);
  NodeAddedHandler otherFunction(secondOnNodeAdded);
  NodeRemovedHandler otherEventKind(firstOnNodeRemoved);
  OtherNodeAddedHandler otherClass;

  EXPECT_TRUE(handler.isSameHandler(&sameFunction));
  EXPECT_TRUE(handler.isSameHandler(&handler));
  EXPECT_FALSE(handler.isSameHandler(&otherFunction));
  EXPECT_FALSE(handler.isSameHandler(&otherEventKind));
  EXPECT_FALSE(otherEventKind.isSameHandler(&handler));
  EXPECT_FALSE(handler.isSameHandler(&otherClass));
  EXPECT_FALSE(handler.isSameHandler(nullptr));
}

TEST_F(FunctionHandlerTest, EveryConnectMakesAnAdapterAndCallsConnect) {
  {
    CamSdk::Event<Device, Device::NodeAddedData> event;
    event.connectFunction(firstOnNodeAdded);
    event.connectFunction(firstOnNodeAdded);
    event.connectFunction(secondOnNodeAdded);

    EXPECT_EQ(EventAccess::connectCalls(event), 3);
    // This SDK drops the second adapter around the same function as a duplicate, so each
    // function still runs once per event, in the order connected.
    EXPECT_EQ(EventAccess::handlerCount(event), 2u);
    EXPECT_EQ(EventAccess::liveHandlers(), liveAtStart_ + 2);

    EventAccess::deliver(event, Device(), Device::NodeAddedData{});
    EXPECT_EQ(calls, (std::vector<int>{1, 2}));
  }
  // The event deleted what it held through the SDK's base class: TearDown checks nothing leaked.
}

// Buffers of a hand-made colour sample, with an owner whose use count shows who holds a copy.
struct HandMadeSample {
  std::shared_ptr<std::vector<std::uint8_t>> colorBytes =
      std::make_shared<std::vector<std::uint8_t>>(16, std::uint8_t{7});
  ColorNode::NewSampleReceivedData data;

  HandMadeSample() {
    data.colorMap = CamSdk::Pointer<std::uint8_t>(colorBytes, colorBytes->data(), 16);
    data.sampleIndex = 41;
    data.droppedSampleCount = 2;
  }
};

const std::uint8_t* seenColorMap = nullptr;
std::int64_t seenSampleIndex = -1;
long seenUseCount = 0;
std::weak_ptr<std::vector<std::uint8_t>> watchedBuffer;

void spoilArguments(ColorNode node, ColorNode::NewSampleReceivedData data) {
  seenColorMap = data.colorMap;
  seenSampleIndex = data.sampleIndex;
  seenUseCount = watchedBuffer.use_count();
  data.colorMap = CamSdk::Pointer<std::uint8_t>();
  data.sampleIndex = -5;
  node = ColorNode();
}

void throwAfterLooking(ColorNode, ColorNode::NewSampleReceivedData data) {
  seenColorMap = data.colorMap;
  throw std::runtime_error("handler failed");
}

TEST_F(FunctionHandlerTest, HandlerWorksOnItsOwnCopiesOfSourceAndRecord) {
  HandMadeSample sample;
  watchedBuffer = sample.colorBytes;
  const long ownersBefore = sample.colorBytes.use_count();
  ColorSampleEvent event;
  event.connectFunction(spoilArguments);

  EventAccess::deliver(event, ColorNode(), sample.data);

  // The function saw an equal record, held as a copy of its own while it ran...
  EXPECT_EQ(seenColorMap, sample.colorBytes->data());
  EXPECT_EQ(seenSampleIndex, 41);
  EXPECT_GT(seenUseCount, ownersBefore);
  // ...and spoiling that copy left the caller's record as it was, with every copy released.
  EXPECT_EQ(static_cast<const std::uint8_t*>(sample.data.colorMap), sample.colorBytes->data());
  EXPECT_EQ(sample.data.colorMap.size(), 16u);
  EXPECT_EQ(sample.data.sampleIndex, 41);
  EXPECT_EQ(sample.data.droppedSampleCount, 2);
  EXPECT_EQ(sample.colorBytes.use_count(), ownersBefore);
}

TEST_F(FunctionHandlerTest, ExceptionFromTheFunctionPassesOutAndReleasesCopies) {
  HandMadeSample sample;
  const long ownersBefore = sample.colorBytes.use_count();
  ColorSampleEvent event;
  event.connectFunction(throwAfterLooking);
  seenColorMap = nullptr;

  EXPECT_THROW(EventAccess::deliver(event, ColorNode(), sample.data), std::runtime_error);

  EXPECT_EQ(seenColorMap, sample.colorBytes->data());
  EXPECT_EQ(sample.colorBytes.use_count(), ownersBefore);
}

}  // namespace
