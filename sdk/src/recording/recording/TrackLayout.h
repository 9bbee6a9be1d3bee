// How a session is laid out in a Matroska file, shared by the writer and the reader so that the
// two cannot drift. Other tools read the same file through these names.
//
// One track per node: depth as FFV1 16-bit grey (every frame a key frame), colour losslessly as
// Ut Video (the default), FFV1 or raw packed 4:2:2 (YUY2) (ColourCodec.h), audio as 16-bit
// little-endian PCM, one block per sample. Matroska keeps block
// times in milliseconds, counted from the file's first sample (files written before that counted
// from the service clock's zero); the exact capture time in microseconds on the service clock
// rides in each block's BlockAdditional (BlockAddID 1) as an 8-byte big-endian count, so the file
// keeps what the service stamped and still plays in any player.
#pragma once

#include <cstdint>

namespace CamSdk {
namespace recording {

// Track metadata (Matroska tags; lower case here, matched without regard to case).
inline constexpr const char* kNodeNameKey = "camsdk_node";  // e.g. "depth0"
inline constexpr const char* kKindKey = "camsdk_kind";      // "depth", "color" or "audio"
inline constexpr const char* kFrameFormatKey = "camsdk_frame_format";  // code, e.g. "4"
inline constexpr const char* kRateKey =
    "camsdk_rate";  // frames a second, or audio samples a second
inline constexpr const char* kChannelsKey = "camsdk_channels";  // audio only
// The node's configuration record as the service reports it, in hexadecimal: the exact
// configuration the samples were made with, played back as the node's default.
inline constexpr const char* kConfigurationKey = "camsdk_configuration";

// The BlockAdditional that carries a block's capture time.
inline constexpr std::uint64_t kCaptureTimeAddId = 1;
inline constexpr int kCaptureTimeBytes = 8;

// Matroska's block time unit.
inline constexpr std::int64_t kMicrosecondsPerTick = 1000;

}  // namespace recording
}  // namespace CamSdk
