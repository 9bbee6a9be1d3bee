#include "recording/TrackRecord.h"

#include "protocol/ConfigurationBytes.h"

namespace CamSdk {
namespace recording {

TrackRecord TrackRecord::of(const TrackDescription& track) {
  TrackRecord record;
  switch (track.kind) {
    case NodeKind::Depth:
      record.frameFormat = track.depth.frameFormat;
      record.framerate = track.depth.framerate;
      record.configuration = protocol::configurationBytes(track.depth);
      break;
    case NodeKind::Color:
      record.frameFormat = track.color.frameFormat;
      record.framerate = track.color.framerate;
      record.configuration = protocol::configurationBytes(track.color);
      break;
    case NodeKind::Audio:
      record.configuration = protocol::configurationBytes(track.audio);
      break;
    case NodeKind::Other:
      break;
  }
  FrameFormat_toResolution(static_cast<FrameFormat>(record.frameFormat), &record.width,
                           &record.height);
  return record;
}

std::string TrackRecord::configurationHex() const {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (std::uint8_t byte : configuration) {
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
