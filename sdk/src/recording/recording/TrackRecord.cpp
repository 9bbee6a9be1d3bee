#include "recording/TrackRecord.h"

#include <algorithm>

namespace CamSdk {
namespace recording {

namespace {

// Depth and colour are pictures; audio is blocks of frames.
template <class Picture>
void describe(const Picture& configuration, TrackRecord* record) {
  record->frameFormat = configuration.frameFormat;
  record->framerate = configuration.framerate;
  FrameFormat_toResolution(configuration.frameFormat, &record->width, &record->height);
}
void describe(const AudioNode::Configuration& configuration, TrackRecord* record) {
  record->sampleRate = configuration.sampleRate;
  record->channels = configuration.channels;
}

}  // namespace

TrackRecord TrackRecord::of(const detail::NodeConfiguration& configuration) {
  TrackRecord record;
  configuration.visit([&](auto, const auto& typed) { describe(typed, &record); });
  return record;
}

std::int64_t TrackRecord::sampleLength(std::size_t bytes) const {
  if (channels > 0) {
    const auto frames = static_cast<std::int64_t>(bytes / audioFrameBytes());
    return frames * 1'000'000 / std::max(sampleRate, 1);
  }
  return 1'000'000 / std::max(framerate, 1);
}

std::string hexOf(const std::vector<std::uint8_t>& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (std::uint8_t byte : bytes) {
    text += digits[byte >> 4];
    text += digits[byte & 15];
  }
  return text;
}

bool bytesFromHex(const std::string& text, std::size_t size, std::vector<std::uint8_t>* bytes) {
  if (text.size() != 2 * size) return false;
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  bytes->assign(size, 0);
  for (std::size_t i = 0; i < size; ++i) {
    const int high = digit(text[2 * i]);
    const int low = digit(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    (*bytes)[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
  return true;
}

}  // namespace recording
}  // namespace CamSdk
