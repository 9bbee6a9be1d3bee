// Keeps the Duration in a Matroska file's segment information true while the file is still being
// written. FFmpeg's writer keeps eleven bytes for it in the header and fills them only when the
// file is closed, so a writer killed before that left a file whose length readers guessed from
// its bit rate. Updated after each flush, a killed recording states the length of what reached
// the disk (up to the last flush).
#pragma once

extern "C" {
#include <libavformat/avio.h>
}

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace CamSdk {
namespace recording {

class LiveDuration {
 public:
  // Finds the segment information in the header already written to `path`, a file the writer
  // can seek in (it is read again here). When the header has no room kept for the duration,
  // there is nothing to update and update() does nothing.
  static LiveDuration find(const std::string& path);

  bool usable() const { return durationAt_ != kNone; }
  // Writes `ticks` (Matroska's time unit) as the duration through `output`, the writer's own
  // output, which ends where it was. An FFmpeg error code, or 0.
  int update(AVIOContext* output, double ticks);

 private:
  static constexpr std::size_t kNone = ~std::size_t{0};

  std::int64_t dataStart_ = 0;      // where the segment information's content starts in the file
  std::vector<std::uint8_t> data_;  // that content
  std::size_t durationAt_ = kNone;  // where the 11 bytes kept for the duration are
};

}  // namespace recording
}  // namespace CamSdk
