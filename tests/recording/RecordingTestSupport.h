// What the recording tests share: a captured sample, and recording a few seconds of the
// in-process service to a file the way camsdk-record does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "camsdk/CamSdk.h"

namespace CamSdk {
namespace recordtest {

struct Captured {
  NodeKind kind = NodeKind::Other;
  std::int64_t time = 0;
  std::int64_t index = 0;
  std::vector<std::uint8_t> bytes;
};

// Records `seconds` (from the first sample on) of the first device of the service in place for "localhost" to `path`
// through the recorder's queue and writer, and returns every sample the recorder took, in the
// order the handlers received them.
std::vector<Captured> recordSession(const std::string& path, double seconds);

// Registers the first device's nodes on `context` and collects what its handlers receive until
// the device goes away or `limit` samples came.
std::vector<Captured> playSession(Context& context, std::size_t limit);

// A fresh path in the test's temporary folder.
std::string temporaryPath(const std::string& name);

}  // namespace recordtest
}  // namespace CamSdk
