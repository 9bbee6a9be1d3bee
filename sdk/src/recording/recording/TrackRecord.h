// What the writer, the reader and the player derive from a track's configuration: a picture's
// format, size and rate, or audio's rate and channels; and the configuration record's bytes as
// the hexadecimal text kept in the track's tags.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/NodeConfiguration.h"

namespace CamSdk {
namespace recording {

struct TrackRecord {
  std::int32_t frameFormat = 0;  // pictures
  std::int32_t framerate = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t sampleRate = 0;  // audio
  std::int32_t channels = 0;

  static TrackRecord of(const detail::NodeConfiguration& configuration);
  // An audio frame's bytes (one 16-bit value per channel); 0 for pictures.
  std::size_t audioFrameBytes() const { return 2 * static_cast<std::size_t>(channels); }
  // How long a sample of `bytes` lasts, in microseconds: a picture at the rate, or the audio
  // frames it holds.
  std::int64_t sampleLength(std::size_t bytes) const;
};

std::string hexOf(const std::vector<std::uint8_t>& bytes);
// Reads `text` as exactly `size` bytes in hexadecimal; false when it is anything else.
bool bytesFromHex(const std::string& text, std::size_t size, std::vector<std::uint8_t>* bytes);

}  // namespace recording
}  // namespace CamSdk
