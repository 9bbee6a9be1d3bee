// Handles are what the program copies around and compares; these tests pin their value
// semantics, the order of the lists the SDK hands out, kind checks on nodes, and the small
// fixed tables (frame sizes, exception names) that the rest of the system relies on.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "SdkTestSupport.h"

namespace CamSdk {
namespace {

using sdktest::nodeNamed;
using testing::Scenario;

class Handles : public ::testing::Test {
 protected:
  Scenario scenario = Scenario::fresh();
  Context context = Context::create("localhost");
};

TEST_F(Handles, ListsKeepTheServiceOrderAndCopiesShareTheObject) {
  scenario.addDevice("camera1", {NodeKind::Audio, NodeKind::Color, NodeKind::Color});
  List<Device> devices = context._p_getDevices();
  ASSERT_EQ(devices.size(), 2);
  EXPECT_EQ(devices[0].name(), "camera0");
  EXPECT_EQ(devices[1].name(), "camera1");

  List<Node> first = devices[0]._p_getNodes();
  ASSERT_EQ(first.size(), 3);
  EXPECT_EQ(first[0].name(), "depth0");
  EXPECT_EQ(first[1].name(), "color0");
  EXPECT_EQ(first[2].name(), "audio0");
  List<Node> second = devices[1]._p_getNodes();
  ASSERT_EQ(second.size(), 3);
  EXPECT_EQ(second[0].name(), "audio0");
  EXPECT_EQ(second[1].name(), "color0");
  EXPECT_EQ(second[2].name(), "color1");

  // A second listing names the same objects; nodes of different devices differ.
  EXPECT_EQ(context._p_getDevices()[0]._p_getNodes()[1], first[1]);
  EXPECT_NE(first[1], second[1]);
  EXPECT_THROW(first[3], std::out_of_range);
}

TEST_F(Handles, CopiesShareAndUnsetReleasesOnlyOneHandle) {
  Node color = nodeNamed(context, "color0");
  Node copy = color;
  EXPECT_EQ(copy, color);
  copy.unset();
  EXPECT_FALSE(copy.isSet());
  EXPECT_TRUE(color.isSet());
  EXPECT_EQ(color.name(), "color0");
  EXPECT_NE(copy, color);

  ColorNode typed;
  EXPECT_FALSE(typed.isSet());
  typed = color.as<ColorNode>();
  EXPECT_TRUE(typed.isSet());
  EXPECT_EQ(Node(typed), color);

  Context other = context;
  EXPECT_EQ(other, context);
  EXPECT_NE(Context::create("localhost"), context);
}

TEST_F(Handles, KindTestsAndConversions) {
  Node depth = nodeNamed(context, "depth0");
  EXPECT_TRUE(depth.is<DepthNode>());
  EXPECT_FALSE(depth.is<ColorNode>());
  EXPECT_FALSE(depth.is<AudioNode>());
  EXPECT_EQ(depth.kind(), NodeKind::Depth);
  EXPECT_TRUE(depth.as<DepthNode>().isSet());
  EXPECT_THROW(depth.as<AudioNode>(), InvalidOperationException);

  // A typed handle reassigned through Node& to a node of another kind (both records are 16
  // bytes) is refused, not read or written as its own kind.
  DepthNode sliced = depth.as<DepthNode>();
  static_cast<Node&>(sliced) = nodeNamed(context, "color0");
  EXPECT_THROW(sliced.getConfiguration(), InvalidOperationException);
  context.requestControl(sliced, 0);
  EXPECT_THROW(sliced.setConfiguration(DepthNode::Configuration{}), InvalidOperationException);

  Node unset;
  EXPECT_FALSE(unset.is<DepthNode>());
  EXPECT_THROW(unset.as<DepthNode>(), InvalidOperationException);
  EXPECT_THROW(DepthNode().getConfiguration(), InvalidOperationException);
  EXPECT_THROW(Device().name(), InvalidOperationException);
  EXPECT_THROW(Context().startNodes(), InvalidOperationException);
}

TEST_F(Handles, NodesOfAnotherContextAreRefused) {
  Context other = Context::create("localhost");
  Node foreign = nodeNamed(other, "color0");
  EXPECT_NE(foreign, nodeNamed(context, "color0"));
  EXPECT_THROW(context.registerNode(foreign), ArgumentException);
  EXPECT_THROW(context.requestControl(foreign, 0), ArgumentException);
  EXPECT_THROW(context.registerNode(Node()), ArgumentException);
}

TEST(FrameFormats, TheConfiguredFormatsHaveTheirSizesAndUnknownCodesAreEmpty) {
  std::int32_t width = -1;
  std::int32_t height = -1;
  FrameFormat_toResolution(static_cast<FrameFormat>(4), &width, &height);
  EXPECT_EQ(width, 320);
  EXPECT_EQ(height, 240);
  FrameFormat_toResolution(static_cast<FrameFormat>(7), &width, &height);
  EXPECT_EQ(width, 640);
  EXPECT_EQ(height, 480);
  for (int code : {0, -1, 12, 1000}) {
    width = -1;
    height = -1;
    FrameFormat_toResolution(static_cast<FrameFormat>(code), &width, &height);
    EXPECT_EQ(width, 0) << "code " << code;
    EXPECT_EQ(height, 0) << "code " << code;
  }
}

TEST(Exceptions, EachKindIsThrownAsItsOwnClassUnderTheCommonBase) {
  const ExceptionKind kinds[] = {
      ExceptionKind::Argument,         ExceptionKind::UnauthorizedAccess, ExceptionKind::IO,
      ExceptionKind::InvalidOperation, ExceptionKind::Configuration,      ExceptionKind::Streaming,
      ExceptionKind::Timeout};
  for (ExceptionKind kind : kinds) {
    try {
      throwException(kind, "message text");
      ADD_FAILURE() << "nothing thrown";
    } catch (const Exception& caught) {
      EXPECT_EQ(caught.kind(), kind);
      EXPECT_STREQ(caught.what(), "message text");
      EXPECT_STREQ(caught.kindName(), exceptionKindName(kind));
      ExceptionKind parsed{};
      ASSERT_TRUE(testing::exceptionKindFromName(caught.kindName(), &parsed));
      EXPECT_EQ(parsed, kind);
    }
  }
  EXPECT_THROW(throwException(ExceptionKind::Timeout, ""), TimeoutException);
  EXPECT_THROW(throwException(ExceptionKind::IO, ""), IOException);
}

TEST(OperationNames, EveryOperationHasAUniqueNameThatParsesBack) {
  std::set<std::string> seen;
  for (testing::SdkOperation operation : testing::allOperations()) {
    const std::string name = testing::operationName(operation);
    EXPECT_TRUE(seen.insert(name).second) << name;
    testing::SdkOperation parsed{};
    ASSERT_TRUE(testing::operationFromName(name, &parsed)) << name;
    EXPECT_EQ(parsed, operation);
  }
  EXPECT_FALSE(testing::operationFromName("Context::explode", nullptr));
}

}  // namespace
}  // namespace CamSdk
