// A scenario file is how a person (and the end-to-end tests) steer the simulated camera under
// the real viewer, which cannot be changed for the purpose. Every command must reach the
// service with the meaning the format promises, and every malformed line must be refused with
// the file and line named, before it can change anything.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "camsdk/CamSdk.h"
#include "camsdk/testing/Scenario.h"

namespace CamSdk {
namespace {

using std::chrono::milliseconds;
using testing::NodeId;
using testing::Scenario;

class ScenarioFile : public ::testing::Test {
 protected:
  Scenario scenario = Scenario::fresh();

  void apply(const std::string& text) { applyScenarioText(scenario, text, "demo.txt"); }

  bool plugged(const std::string& nodeName) const {
    const NodeId node = scenario.findNode(nodeName);
    for (testing::DeviceId device : scenario.devices()) {
      const auto nodes = scenario.nodesOf(device);
      if (std::find(nodes.begin(), nodes.end(), node) != nodes.end()) return true;
    }
    return false;
  }

  // Runs `context`'s loop until the service clock reaches `until`.
  void runUntil(Context& context, milliseconds until) {
    scenario.at(until, [&context](Scenario&) { context.quit(); });
    context.run();
  }

  // The node `name` of device `deviceName` as `context` sees it.
  static Node nodeNamed(const Context& context, const std::string& name,
                        const std::string& deviceName = "camera0") {
    const List<Device> devices = context._p_getDevices();
    for (int d = 0; d < devices.size(); ++d) {
      if (devices[d].name() != deviceName) continue;
      const List<Node> nodes = devices[d]._p_getNodes();
      for (int n = 0; n < nodes.size(); ++n) {
        if (nodes[n].name() == name) return nodes[n];
      }
    }
    ADD_FAILURE() << "no node " << deviceName << "/" << name;
    return Node();
  }
};

TEST_F(ScenarioFile, TimedPluggingHappensWhenTheServiceClockGetsThere) {
  apply(
      "# the colour node leaves for a while\r\n"
      "\n"
      "at 2.5 unplug node color0   # trailing comment\n"
      "at 4 plug node color0\n"
      "at 4.000000001 unplug device camera0\n");
  Context context = Context::create("localhost");
  EXPECT_TRUE(plugged("color0"));
  runUntil(context, milliseconds(2400));
  EXPECT_TRUE(plugged("color0"));
  runUntil(context, milliseconds(2600));
  EXPECT_FALSE(plugged("color0"));
  EXPECT_TRUE(plugged("depth0"));
  runUntil(context, milliseconds(4000));
  EXPECT_TRUE(plugged("color0"));
  runUntil(context, milliseconds(4001));
  EXPECT_TRUE(scenario.devices().empty());
}

TEST_F(ScenarioFile, ImmediateCommandsApplyWhenRead) {
  apply(
      "device camera1 depth color\n"
      "unplug device camera1\n"
      "unplug node audio0\n");
  const testing::DeviceId second = scenario.findDevice("camera1");
  ASSERT_GE(second, 0);
  EXPECT_EQ(scenario.devices().size(), 1u);
  EXPECT_FALSE(plugged("audio0"));

  apply("plug device camera1\nplug node audio0\n");
  EXPECT_EQ(scenario.devices().size(), 2u);
  EXPECT_EQ(scenario.nodesOf(second).size(), 2u);
  EXPECT_TRUE(plugged("audio0"));
}

TEST_F(ScenarioFile, FaultsRaiseTheNamedExceptionWithTheMessageTheGivenNumberOfTimes) {
  apply(
      "fail Context::requestControl UnauthorizedAccessException times 2 \"say \\\"no\\\"\"\n"
      "fail Node::setConfiguration ConfigurationException always\n"
      "at 1.5 fail Context::startNodes StreamingException\n");
  Context context = Context::create("localhost");
  const Node colour = nodeNamed(context, "color0");
  for (int i = 0; i < 2; ++i) {
    try {
      context.requestControl(colour, 0);
      ADD_FAILURE() << "requestControl " << i << " should fail";
    } catch (const UnauthorizedAccessException& e) {
      EXPECT_STREQ(e.what(), "say \"no\"");
    }
  }
  EXPECT_NO_THROW(context.requestControl(colour, 0));

  ColorNode node = colour.as<ColorNode>();
  for (int i = 0; i < 3; ++i) {
    EXPECT_THROW(node.setConfiguration(node.getConfiguration()), ConfigurationException);
  }

  EXPECT_NO_THROW(context.startNodes());
  context.stopNodes();
  runUntil(context, milliseconds(1600));
  EXPECT_THROW(context.startNodes(), StreamingException);
}

TEST_F(ScenarioFile, ControlHeldElsewhereIsRefusedToThisProcess) {
  apply("control color0 held-by \"other viewer\"\n");
  Context context = Context::create("localhost");
  try {
    context.requestControl(nodeNamed(context, "color0"), 0);
    ADD_FAILURE() << "control should be refused";
  } catch (const UnauthorizedAccessException& e) {
    EXPECT_NE(std::string(e.what()).find("other viewer"), std::string::npos) << e.what();
  }
  EXPECT_NO_THROW(context.requestControl(nodeNamed(context, "depth0"), 0));
}

TEST_F(ScenarioFile, ServiceDownMakesContextCreationFail) {
  apply("service down\n");
  EXPECT_THROW(Context::create("localhost"), IOException);
  EXPECT_THROW(Context::create("localhost"), IOException);
}

TEST_F(ScenarioFile, DefaultsAreWhatNodesStreamWithBeforeBeingConfigured) {
  apply(
      "default color0 format 4 rate 15\n"
      "default depth0 rate 10\n"
      "default audio0 rate 16000 channels 2\n");
  Context context = Context::create("localhost");

  const auto colour = nodeNamed(context, "color0").as<ColorNode>().getConfiguration();
  EXPECT_EQ(colour.frameFormat, FRAME_FORMAT_QVGA);
  EXPECT_EQ(colour.framerate, 15);
  const auto depth = nodeNamed(context, "depth0").as<DepthNode>().getConfiguration();
  EXPECT_EQ(depth.frameFormat, FRAME_FORMAT_QVGA);
  EXPECT_EQ(depth.framerate, 10);
  const auto audio = nodeNamed(context, "audio0").as<AudioNode>().getConfiguration();
  EXPECT_EQ(audio.sampleRate, 16000);
  EXPECT_EQ(audio.channels, 2);
}

TEST_F(ScenarioFile, NodesOfAnAddedDeviceAreNamedThroughTheirDevice) {
  apply(
      "device camera1 color depth color\n"
      "default camera1/color1 format 4 rate 5\n"
      "default camera1/depth0 format 1\n"
      "unplug node camera1/color0\n"
      "default camera0/color0 rate 12\n");
  const NodeId firstColour = scenario.nodesOf(scenario.findDevice("camera1")).front();
  EXPECT_NE(firstColour, scenario.findNode("color0"));
  EXPECT_EQ(scenario.nodesOf(scenario.findDevice("camera1")).size(), 2u);

  Context context = Context::create("localhost");
  const auto added = nodeNamed(context, "color1", "camera1").as<ColorNode>().getConfiguration();
  EXPECT_EQ(added.frameFormat, FRAME_FORMAT_QVGA);
  EXPECT_EQ(added.framerate, 5);
  const auto depth = nodeNamed(context, "depth0", "camera1").as<DepthNode>().getConfiguration();
  EXPECT_EQ(depth.frameFormat, FRAME_FORMAT_QQVGA);
  EXPECT_EQ(nodeNamed(context, "color0").as<ColorNode>().getConfiguration().framerate, 12);
}

TEST_F(ScenarioFile, FilesAreReadFromDiskAndUnreadableOnesNamed) {
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() /
      ("scenario-file-test-" + std::to_string(std::random_device{}()) + ".txt");
  {
    std::ofstream out(path);
    out << "unplug node depth0\nbogus line\n";
  }
  try {
    applyScenarioFile(scenario, path.string());
    ADD_FAILURE() << "a malformed file should be refused";
  } catch (const ArgumentException& e) {
    EXPECT_EQ(std::string(e.what()), path.string() + ":2: unknown command 'bogus'");
  }
  EXPECT_TRUE(plugged("depth0")) << "a line that is not well formed must keep the file unapplied";

  {
    std::ofstream out(path);
    out << "unplug node depth0\n";
  }
  applyScenarioFile(scenario, path.string());
  EXPECT_FALSE(plugged("depth0"));
  std::filesystem::remove(path);

  for (const std::string& unreadable :
       {path.string(), std::filesystem::temp_directory_path().string()}) {
    try {
      applyScenarioFile(scenario, unreadable);
      ADD_FAILURE() << unreadable << " should be unreadable";
    } catch (const ArgumentException& e) {
      EXPECT_EQ(std::string(e.what()), unreadable + ": cannot read");
    }
  }
}

// The examples in the format's description are what people copy; each must apply as written.
TEST(ScenarioFileExamples, EveryDocumentedExampleApplies) {
  const std::filesystem::path doc = DV_SCENARIO_DOC;
  std::ifstream in(doc);
  ASSERT_TRUE(in) << doc;
  std::string line;
  bool inExamples = false;
  bool inBlock = false;
  std::string block;
  int applied = 0;
  while (std::getline(in, line)) {
    if (line.rfind("## ", 0) == 0) inExamples = line == "## Examples";
    if (!inExamples || line.rfind("```", 0) != 0) {
      if (inBlock) block += line + "\n";
      continue;
    }
    if (inBlock) {
      Scenario scenario = Scenario::fresh();
      EXPECT_NO_THROW(applyScenarioText(scenario, block, "example")) << block;
      ++applied;
      block.clear();
    }
    inBlock = !inBlock;
  }
  EXPECT_GE(applied, 4);
}

struct BadLine {
  const char* line;
  const char* reason;
};

// Each bad line is the third line of its file, after a comment and a good command.
TEST_F(ScenarioFile, MalformedLinesAreRefusedWithFileAndLine) {
  const BadLine cases[] = {
      {"frobnicate color0", "unknown command 'frobnicate'"},
      {"\"unplug\" node color0", "expected command, not \"unplug\""},
      {"unplug node", "missing node name"},
      {"unplug widget color0", "expected 'node' or 'device', not 'widget'"},
      {"unplug node color0 extra", "unexpected 'extra'"},
      {"unplug node colour9", "unknown node 'colour9'"},
      {"plug device camera7", "unknown device 'camera7'"},
      {"at soon unplug node color0", "bad time 'soon' (seconds, such as 2 or 3.5)"},
      {"at 1.0000000001 unplug node color0", "bad time '1.0000000001' (seconds, such as 2 or 3.5)"},
      {"at 2", "missing command"},
      {"at 1 device camera1 depth",
       "'at' cannot be used with device (unplug it, then plug it at a time)"},
      {"device camera1", "missing node kind"},
      {"at 1 default color0 rate 5", "'at' cannot be used with default"},
      {"default camera0/color7 rate 5", "unknown node 'camera0/color7'"},
      {"default audio0 channels 0", "channel count must be at least 1"},
      {"device camera1 depth lidar", "unknown node kind 'lidar' (depth, color or audio)"},
      {"device camera0 depth", "device 'camera0' already exists"},
      {"default color0", "missing setting (format, rate or channels)"},
      {"default color0 format 99", "unknown frame format 99"},
      {"default color0 rate fast", "bad rate 'fast'"},
      {"default color0 rate 99999999999", "bad rate '99999999999'"},
      {"default color0 rate 0", "rate must be at least 1"},
      {"default color0 rate 5 rate 6", "rate given twice"},
      {"default color0 speed 3", "expected setting (format, rate or channels), not 'speed'"},
      {"default audio0 format 4 channels 2",
       "format and channels do not go together (format: depth and colour nodes, channels: "
       "audio nodes)"},
      {"fail Node::explode IOException", "unknown operation 'Node::explode'"},
      {"fail Context::run OopsException", "unknown exception 'OopsException'"},
      {"fail Context::run", "missing exception"},
      {"fail Context::run IOException times 0", "count must be at least 1"},
      {"fail Context::run IOException always times 2", "unexpected 'times'"},
      {"fail Context::run IOException \"a\" \"b\"", "unexpected \"b\""},
      {"fail Context::run IOException \"bad \\q\"",
       "unknown escape in quoted text (only \\\" and \\\\)"},
      {"control color0 \"x\"", "expected 'held-by', not \"x\""},
      {"control color0 held-by someone", "expected client name in double quotes, not 'someone'"},
      {"service up", "expected 'down', not 'up'"},
      {"unplug node \"color0", "unterminated quote"},
  };
  for (const BadLine& bad : cases) {
    const std::string text = std::string("# demo\nat 9 plug node color0\n") + bad.line + "\n";
    try {
      apply(text);
      ADD_FAILURE() << "accepted: " << bad.line;
    } catch (const ArgumentException& e) {
      EXPECT_EQ(std::string(e.what()), std::string("demo.txt:3: ") + bad.reason) << bad.line;
    }
  }
}

TEST_F(ScenarioFile, AnUnknownNameStopsAtItsLineWithTheLinesAboveApplied) {
  EXPECT_THROW(apply("unplug node audio0\nunplug node nowhere\nunplug node depth0\n"),
               ArgumentException);
  EXPECT_FALSE(plugged("audio0"));
  EXPECT_TRUE(plugged("depth0"));
}

// The service's own refusal (here of a picture size a colour node could stream but a depth node
// cannot) is reported with the line, and gives the depth node's reason, not the kind mismatch
// of a colour record tried on it.
TEST_F(ScenarioFile, ARefusedDefaultNamesItsLineAndTheReason) {
  try {
    apply("\ndefault depth0 format 9\n");
    ADD_FAILURE() << "format 9 should be refused for a depth node";
  } catch (const ArgumentException& e) {
    const std::string message = e.what();
    EXPECT_EQ(message.rfind("demo.txt:2: ", 0), 0u) << message;
    EXPECT_NE(message.find("format 9"), std::string::npos) << message;
  }
}

}  // namespace
}  // namespace CamSdk
