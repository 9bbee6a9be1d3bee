// What the writer and the reader both derive from a track's configuration: picture size, rate,
// and the configuration record's bytes as the hexadecimal text kept in the track's tags.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "recording/MatroskaWriter.h"

namespace CamSdk {
namespace recording {

struct TrackRecord {
  std::int32_t frameFormat = 0;
  std::int32_t framerate = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<std::uint8_t> configuration;  // the record's bytes

  static TrackRecord of(const TrackDescription& track);
  std::string configurationHex() const;
};

// Reads `text` as exactly `size` bytes in hexadecimal; false when it is anything else.
bool bytesFromHex(const std::string& text, std::size_t size, std::vector<std::uint8_t>* bytes);

}  // namespace recording
}  // namespace CamSdk
