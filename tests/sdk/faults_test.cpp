// The program's failure paths can only be exercised if any SDK operation can be made to fail
// on demand, and the tests of the program read the call log to see what it asked of the SDK.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "SdkTestSupport.h"

namespace CamSdk {
namespace {

using testing::Scenario;
using testing::SdkOperation;

class Faults : public ::testing::Test {
 protected:
  Scenario scenario = Scenario::fresh();
};

// Over both transports the conformance suite arms a fault for a number of calls; one armed
// for ever fails every call until the faults are cleared.
TEST_F(Faults, AFaultArmedForEverFailsUntilCleared) {
  Context context = Context::create("localhost");
  ColorNode color = sdktest::typedNode<ColorNode>(context, "color0");
  scenario.failNext(SdkOperation::ContextRegisterNode, ExceptionKind::IO, -1);
  for (int attempt = 0; attempt < 3; ++attempt) {
    EXPECT_THROW(context.registerNode(color), IOException);
  }
  scenario.clearFaults();
  context.registerNode(color);
}

TEST_F(Faults, EveryOperationCanBeMadeToFail) {
  Context context = Context::create("localhost");
  Device device = sdktest::firstDevice(context);
  Node node = sdktest::nodeNamed(context, "depth0");
  DepthNode depth = node.as<DepthNode>();
  AudioNode audio = sdktest::typedNode<AudioNode>(context, "audio0");
  const std::vector<std::pair<SdkOperation, std::function<void()>>> calls = {
      {SdkOperation::ContextCreate, [] { Context::create("localhost"); }},
      {SdkOperation::ContextDeviceAddedEvent, [&] { context.deviceAddedEvent(); }},
      {SdkOperation::ContextDeviceRemovedEvent, [&] { context.deviceRemovedEvent(); }},
      {SdkOperation::ContextGetDevices, [&] { context._p_getDevices(); }},
      {SdkOperation::ContextRegisterNode, [&] { context.registerNode(node); }},
      {SdkOperation::ContextUnregisterNode, [&] { context.unregisterNode(node); }},
      {SdkOperation::ContextRequestControl, [&] { context.requestControl(node, 0); }},
      {SdkOperation::ContextReleaseControl, [&] { context.releaseControl(node); }},
      {SdkOperation::ContextStartNodes, [&] { context.startNodes(); }},
      {SdkOperation::ContextStopNodes, [&] { context.stopNodes(); }},
      {SdkOperation::ContextRun, [&] { context.run(); }},
      {SdkOperation::ContextQuit, [&] { context.quit(); }},
      {SdkOperation::DeviceNodeAddedEvent, [&] { device.nodeAddedEvent(); }},
      {SdkOperation::DeviceNodeRemovedEvent, [&] { device.nodeRemovedEvent(); }},
      {SdkOperation::DeviceGetNodes, [&] { device._p_getNodes(); }},
      {SdkOperation::NodeIs, [&] { node.is<DepthNode>(); }},
      {SdkOperation::NodeAs, [&] { node.as<DepthNode>(); }},
      {SdkOperation::NodeUnset,
       [&] {
         Node copy = node;
         copy.unset();
       }},
      {SdkOperation::NodeNewSampleReceivedEvent, [&] { depth.newSampleReceivedEvent(); }},
      {SdkOperation::NodeGetConfiguration, [&] { depth.getConfiguration(); }},
      {SdkOperation::NodeSetConfiguration, [&] { depth.setConfiguration({}); }},
      {SdkOperation::DepthSetEnableDepthMap, [&] { depth.setEnableDepthMap(true); }},
      {SdkOperation::DepthSetEnableVertices, [&] { depth.setEnableVertices(true); }},
      {SdkOperation::ColorSetEnableColorMap,
       [&] { sdktest::typedNode<ColorNode>(context, "color0").setEnableColorMap(true); }},
      {SdkOperation::AudioSetInputMixerLevel, [&] { audio.setInputMixerLevel(0.5f); }},
  };
  ASSERT_EQ(calls.size(), testing::allOperations().size());
  for (const auto& call : calls) {
    scenario.failNext(call.first, ExceptionKind::Timeout, 1, "armed");
    try {
      call.second();
      ADD_FAILURE() << testing::operationName(call.first) << " did not fail";
    } catch (const TimeoutException& failure) {
      EXPECT_STREQ(failure.what(), "armed") << testing::operationName(call.first);
    }
  }
}

TEST_F(Faults, TheCallLogNamesOperationAndSubject) {
  Context context = Context::create("localhost");
  AudioNode audio = sdktest::typedNode<AudioNode>(context, "audio0");
  scenario.clearCalls();
  context.requestControl(audio, 0);
  AudioNode::Configuration configuration = audio.getConfiguration();
  audio.setConfiguration(configuration);
  context.registerNode(audio);
  scenario.failNext(SdkOperation::ContextStartNodes, ExceptionKind::IO);
  EXPECT_THROW(context.startNodes(), IOException);
  EXPECT_EQ(scenario.calls(), (std::vector<std::string>{
                                  "Context::requestControl audio0", "Node::getConfiguration audio0",
                                  "Node::setConfiguration audio0", "Context::registerNode audio0",
                                  "Context::startNodes"}));
}

TEST_F(Faults, AnUnknownHostIsNamedAndACreationFaultLeavesNoContext) {
  try {
    Context::create("camera-server.invalid");
    ADD_FAILURE() << "a context on a host with no service";
  } catch (const IOException& failure) {
    EXPECT_NE(std::string(failure.what()).find("camera-server.invalid"), std::string::npos);
  }
  scenario.failNext(SdkOperation::ContextCreate, ExceptionKind::IO, 1, "service down");
  EXPECT_THROW(Context::create("localhost"), IOException);
  EXPECT_TRUE(Context::create("localhost").isSet());
}

TEST_F(Faults, AFailingScenarioActionLeavesRunLikeAHandlerWould) {
  Context context = Context::create("localhost");
  scenario.at(std::chrono::milliseconds(3),
              [](Scenario&) { throw ConfigurationException("action failed"); });
  EXPECT_THROW(context.run(), ConfigurationException);
  EXPECT_EQ(scenario.now(), std::chrono::milliseconds(3));
  EXPECT_THROW(context.run(), TimeoutException);  // the action ran once and is gone
}

}  // namespace
}  // namespace CamSdk
