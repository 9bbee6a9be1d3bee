// Applying a parsed scenario through the public Scenario interface. The whole text is checked
// for form before anything is applied, so a line with a typo changes nothing; names are looked
// up line by line, because a line may name a device that a line above it added.
#include <algorithm>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "camsdk/Exceptions.h"
#include "camsdk/testing/Scenario.h"
#include "scenario_file/LineTokens.h"
#include "scenario_file/ScenarioCommand.h"

namespace CamSdk {
namespace testing {
namespace {

using detail::LineError;
using detail::ScenarioCommand;
using Verb = ScenarioCommand::Verb;
using Action = std::function<void(Scenario&)>;

// What a `default` line starts from before its own settings are written in.
DepthNode::Configuration baseDepth() {
  return {FRAME_FORMAT_QVGA, 25, DepthNode::CameraMode::Close, false};
}
ColorNode::Configuration baseColor() {
  return {FRAME_FORMAT_VGA, 25, ColorNode::PowerLineFrequency::Disabled,
          ColorNode::Compression::Yuy2};
}
AudioNode::Configuration baseAudio() { return {AudioNode::AudioFormat::Pcm16, 1, 44100}; }

class Applier {
 public:
  Applier(Scenario& scenario, std::string fileName)
      : scenario_(scenario), fileName_(std::move(fileName)) {}

  // The action a command stands for, with its names resolved now.
  Action resolve(const ScenarioCommand& command) {
    switch (command.verb) {
      case Verb::AddDevice:
        return addDevice(command);
      case Verb::SetDefault:
        return setDefault(command);
      case Verb::Unplug:
      case Verb::Plug:
        return plugging(command);
      case Verb::Fail: {
        const ScenarioCommand c = command;
        return [c](Scenario& s) { s.failNext(c.operation, c.exception, c.times, c.text); };
      }
      case Verb::HoldControl: {
        const NodeId node = findNode(command.name);
        const std::string client = command.text;
        return [node, client](Scenario& s) { s.holdControlElsewhere(node, client); };
      }
      case Verb::AddRecording:
        return addRecording(command);
      case Verb::ServiceDown: {
        const std::string message = command.text;
        return [message](Scenario& s) {
          s.failNext(SdkOperation::ContextCreate, ExceptionKind::IO, -1, message);
        };
      }
    }
    throw LineError{"unsupported command"};
  }

 private:
  // A bare name is the first node of that name (camera0's, for the default topology); the
  // nodes of other devices are written DEVICE/NODE, as two devices may both have a color0.
  NodeId findNode(const std::string& name) const {
    const std::size_t slash = name.find('/');
    if (slash == std::string::npos) {
      const NodeId node = scenario_.findNode(name);
      if (node < 0) throw LineError{"unknown node '" + name + "'"};
      return node;
    }
    const auto added = addedNodes_.find(name);
    if (added != addedNodes_.end()) return added->second;
    const DeviceId device = scenario_.findDevice(name.substr(0, slash));
    const NodeId node = scenario_.findNode(name.substr(slash + 1));
    if (device >= 0 && node >= 0) {
      const std::vector<NodeId> nodes = scenario_.nodesOf(device);
      if (std::find(nodes.begin(), nodes.end(), node) != nodes.end()) return node;
    }
    throw LineError{"unknown node '" + name + "'"};
  }
  DeviceId findDevice(const std::string& name) const {
    const DeviceId device = scenario_.findDevice(name);
    if (device < 0) throw LineError{"unknown device '" + name + "'"};
    return device;
  }

  Action addDevice(const ScenarioCommand& command) {
    if (scenario_.findDevice(command.name) >= 0) {
      throw LineError{"device '" + command.name + "' already exists"};
    }
    const std::string name = command.name;
    const std::vector<NodeKind> kinds = command.kinds;
    // Remember the new nodes' kinds and qualified names for the lines below. The service names
    // a device's nodes after their kind, counted within the device: depth0, color0, color1...
    return [this, name, kinds](Scenario& s) {
      const DeviceId device = s.addDevice(name, kinds);
      const std::vector<NodeId> nodes = s.nodesOf(device);
      std::map<NodeKind, int> seen;
      for (std::size_t i = 0; i < nodes.size() && i < kinds.size(); ++i) {
        knownKinds_[nodes[i]] = kinds[i];
        const std::string nodeName = nodeKindName(kinds[i]) + std::to_string(seen[kinds[i]]++);
        addedNodes_[name + "/" + nodeName] = nodes[i];
      }
    };
  }

  // A relative path is read from the scenario file's folder.
  Action addRecording(const ScenarioCommand& command) {
    if (scenario_.findDevice(command.name) >= 0) {
      throw LineError{"device '" + command.name + "' already exists"};
    }
    std::filesystem::path path(command.text);
    if (path.is_relative()) path = std::filesystem::path(fileName_).parent_path() / path;
    const std::string name = command.name;
    const std::string file = path.string();
    const bool loop = command.loop;
    return [name, file, loop](Scenario& s) { s.addRecording(name, file, loop); };
  }

  Action plugging(const ScenarioCommand& command) {
    const bool plug = command.verb == Verb::Plug;
    if (command.namesDevice) {
      const DeviceId device = findDevice(command.name);
      if (plug) return [device](Scenario& s) { s.plugDevice(device); };
      return [device](Scenario& s) { s.unplugDevice(device); };
    }
    const NodeId node = findNode(command.name);
    if (plug) return [node](Scenario& s) { s.plugNode(node); };
    return [node](Scenario& s) { s.unplugNode(node); };
  }

  // The Scenario interface does not say a node's kind, so the kind comes from a `device` line
  // of this file when there is one, and otherwise from the settings given: `channels` only
  // fits audio, `format` fits depth and colour. The service refuses a record of the wrong
  // kind, so each fitting kind is tried in turn, the one the node's name suggests first; if
  // all are refused, the refusal of that first one says why.
  Action setDefault(const ScenarioCommand& command) {
    const NodeId node = findNode(command.name);
    std::vector<NodeKind> candidates;
    const auto known = knownKinds_.find(node);
    if (known != knownKinds_.end()) {
      checkSettingsFit(known->second, command);
      candidates.push_back(known->second);
    } else if (command.channels) {
      candidates.push_back(NodeKind::Audio);
    } else {
      candidates = {NodeKind::Depth, NodeKind::Color};
      if (!command.format) candidates.push_back(NodeKind::Audio);
      const std::string base = command.name.substr(command.name.find('/') + 1);
      std::stable_partition(candidates.begin(), candidates.end(), [&base](NodeKind kind) {
        return base.rfind(nodeKindName(kind), 0) == 0;
      });
    }
    const ScenarioCommand c = command;
    return [node, candidates, c](Scenario& s) {
      std::exception_ptr firstRefusal;
      for (NodeKind kind : candidates) {
        try {
          setDefaultAs(s, node, kind, c);
          return;
        } catch (const Exception&) {
          if (!firstRefusal) firstRefusal = std::current_exception();
        }
      }
      std::rethrow_exception(firstRefusal);
    };
  }

  static void checkSettingsFit(NodeKind kind, const ScenarioCommand& c) {
    if (kind == NodeKind::Other)
      throw LineError{"node " + c.name + " takes no default configuration"};
    if (kind == NodeKind::Audio && c.format) {
      throw LineError{"'format' is not a setting of audio node " + c.name};
    }
    if (kind != NodeKind::Audio && c.channels) {
      throw LineError{"'channels' is not a setting of node " + c.name};
    }
  }

  // Settings that do not fit the kind were refused when the line was read.
  static void setDefaultAs(Scenario& s, NodeId node, NodeKind kind, const ScenarioCommand& c) {
    switch (kind) {
      case NodeKind::Depth: {
        DepthNode::Configuration configuration = baseDepth();
        if (c.format) configuration.frameFormat = static_cast<FrameFormat>(*c.format);
        if (c.rate) configuration.framerate = *c.rate;
        s.setDefaultConfiguration(node, configuration);
        return;
      }
      case NodeKind::Color: {
        ColorNode::Configuration configuration = baseColor();
        if (c.format) configuration.frameFormat = static_cast<FrameFormat>(*c.format);
        if (c.rate) configuration.framerate = *c.rate;
        s.setDefaultConfiguration(node, configuration);
        return;
      }
      case NodeKind::Audio: {
        AudioNode::Configuration configuration = baseAudio();
        if (c.rate) configuration.sampleRate = *c.rate;
        if (c.channels) configuration.channels = *c.channels;
        s.setDefaultConfiguration(node, configuration);
        return;
      }
      case NodeKind::Other:
        return;
    }
  }

  Scenario& scenario_;
  std::string fileName_;
  std::map<NodeId, NodeKind> knownKinds_;
  std::map<std::string, NodeId> addedNodes_;  // "camera1/color0" for devices this file added
};

[[noreturn]] void fail(const std::string& fileName, int line, const std::string& reason) {
  throw ArgumentException(fileName + ":" + std::to_string(line) + ": " + reason);
}

}  // namespace

void applyScenarioText(Scenario& scenario, const std::string& text, const std::string& fileName) {
  std::vector<ScenarioCommand> commands;
  try {
    commands = detail::parseScenario(text);
  } catch (const detail::ParseFailure& failure) {
    fail(fileName, failure.line, failure.reason);
  }
  Applier applier(scenario, fileName);
  for (const ScenarioCommand& command : commands) {
    try {
      Action action = applier.resolve(command);
      if (command.at) {
        scenario.at(*command.at, std::move(action));
      } else {
        action(scenario);
      }
    } catch (const LineError& error) {
      fail(fileName, command.line, error.reason);
    } catch (const Exception& error) {
      // The service refused the line (a duplicate name, a node already unplugged, ...).
      fail(fileName, command.line, error.what());
    }
  }
}

void applyScenarioFile(Scenario& scenario, const std::string& path) {
  // A directory opens as a stream on some systems and then reads as empty; refuse it up front.
  std::error_code ignored;
  std::ifstream in;
  if (!std::filesystem::is_directory(path, ignored)) in.open(path, std::ios::binary);
  if (!in.is_open()) throw ArgumentException(path + ": cannot read");
  std::ostringstream text;
  // An empty file leaves `text` failed but is fine; a read error is not.
  text << in.rdbuf();
  if (in.bad()) throw ArgumentException(path + ": cannot read");
  applyScenarioText(scenario, text.str(), path);
}

}  // namespace testing
}  // namespace CamSdk
