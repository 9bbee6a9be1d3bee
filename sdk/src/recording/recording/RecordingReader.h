// Reads a recording back (see TrackLayout.h), one sample at a time in file order. Every length
// and time taken from the file is checked before use: a track this service cannot play is
// skipped with its reason, a damaged sample is skipped and counted, and a file cut short simply
// ends where the cut is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "camsdk/Node.h"
#include "common/NodeConfiguration.h"

namespace CamSdk {
namespace recording {

// A file that cannot be played at all; the message names the file and says why, on one line.
class ReadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct RecordedTrack {
  std::string nodeName;                     // as recorded
  detail::NodeConfiguration configuration;  // as recorded; it says the track's kind
  std::int32_t width = 0;                   // depth and colour
  std::int32_t height = 0;
  NodeKind kind() const { return configuration.kind(); }
};

struct RecordedSample {
  std::size_t track = 0;           // index into tracks()
  std::int64_t timeOfCapture = 0;  // microseconds, as recorded
  std::shared_ptr<const void> owner;
  const std::uint8_t* data = nullptr;  // depth: width x height 16-bit values; else the bytes
  std::size_t size = 0;                // bytes
};

class RecordingReader {
 public:
  // Opens `path` and checks its tracks; raises ReadError.
  explicit RecordingReader(const std::string& path);
  ~RecordingReader();
  RecordingReader(const RecordingReader&) = delete;
  RecordingReader& operator=(const RecordingReader&) = delete;

  const std::vector<RecordedTrack>& tracks() const;
  // One line for each track of the file that is not played, saying which and why.
  const std::vector<std::string>& skippedTracks() const;

  // The next good sample; false at the end of the file, or where it is cut or unreadable.
  bool next(RecordedSample* sample);
  // Samples skipped because they were damaged, and the first reason seen.
  long damagedSamples() const;
  const std::string& firstDamage() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace recording
}  // namespace CamSdk
