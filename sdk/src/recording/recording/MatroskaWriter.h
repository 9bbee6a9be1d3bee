// Writes a session to a Matroska file as it comes (see TrackLayout.h for the layout): each
// sample is muxed as it is handed over, and flush() pushes what was muxed to the disk so that a
// writer killed at any moment leaves a file that plays up to its last flushed sample.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "camsdk/Node.h"
#include "common/NodeConfiguration.h"
#include "recording/ColourCodec.h"

namespace CamSdk {
namespace recording {

// A file that cannot be opened or written; the message names the file and the reason.
class WriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One node's track: its name, and the configuration its samples come with, which says its kind.
struct TrackDescription {
  std::string nodeName;
  detail::NodeConfiguration configuration;
  NodeKind kind() const { return configuration.kind(); }
};

class MatroskaWriter {
 public:
  // Opens `path` and writes the file's header, colour to be stored as `colour` says; raises
  // WriteError.
  MatroskaWriter(const std::string& path, const std::vector<TrackDescription>& tracks,
                 ColourCodec colour = kDefaultColourCodec);
  ~MatroskaWriter();
  MatroskaWriter(const MatroskaWriter&) = delete;
  MatroskaWriter& operator=(const MatroskaWriter&) = delete;

  // One sample of track `track`, captured at `timeOfCapture` microseconds: a depth map of
  // width x height values, packed 4:2:2 colour bytes, or interleaved 16-bit audio. Raises
  // WriteError; a sample of the wrong size for its track raises std::invalid_argument.
  void write(std::size_t track, std::int64_t timeOfCapture, const std::uint8_t* data,
             std::size_t size);
  // Ends the current cluster and hands everything written so far to the operating system.
  void flush();
  // Writes the index and closes the file; raises WriteError. Later calls do nothing.
  void close();
  // Bytes handed to the file so far.
  std::int64_t bytesWritten() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace recording
}  // namespace CamSdk
