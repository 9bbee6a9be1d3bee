// One line of a scenario file, checked for form but with its names not yet looked up: names
// can only be resolved against the service, once the lines above have been applied.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "camsdk/Exceptions.h"
#include "camsdk/Node.h"
#include "camsdk/testing/Scenario.h"

namespace CamSdk {
namespace detail {

struct ScenarioCommand {
  enum class Verb {
    AddDevice,
    SetDefault,
    Unplug,
    Plug,
    Fail,
    HoldControl,
    ServiceDown,
    AddRecording
  };

  int line = 0;
  std::optional<std::chrono::nanoseconds> at;  // absent: applied when the file is read
  Verb verb = Verb::AddDevice;

  std::string name;             // the device or node the line is about
  bool namesDevice = false;     // plug/unplug: `name` is a device, not a node
  std::vector<NodeKind> kinds;  // AddDevice
  testing::SdkOperation operation = testing::SdkOperation::ContextCreate;  // Fail
  ExceptionKind exception = ExceptionKind::IO;                             // Fail
  int times = 1;                                                           // Fail; -1: always
  std::string text;   // fault message, the client holding control, or a recording's path
  bool loop = false;  // AddRecording
  std::optional<std::int32_t> format, rate, channels;  // SetDefault
};

// Parses the whole text; raises ParseFailure for the first line that is not well formed.
struct ParseFailure {
  int line;
  std::string reason;
};
std::vector<ScenarioCommand> parseScenario(const std::string& text);

}  // namespace detail
}  // namespace CamSdk
