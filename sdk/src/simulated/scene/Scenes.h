// The simulated camera's content: deterministic pictures and sound, computed from the sample
// index alone so that sample n always has the same bytes and tests can predict what is shown.
#pragma once

#include <cstddef>
#include <cstdint>

#include "camsdk/FrameFormat.h"

namespace CamSdk {
namespace detail {

// Packed 4:2:2 colour (Y0 U Y1 V per pixel pair) of `format`'s size. The top rows hold a
// still band of four known colours, below it a scene that moves with every sample.
// `bytes` should be width * height * 2; a buffer of another size gets what fits, and any bytes
// beyond the picture are zero.
void renderColorScene(FrameFormat format, std::int64_t sampleIndex, std::uint8_t* out,
                      std::size_t bytes);

// Depth in millimetres, width * height values row-major: a far wall, a near object, a moving
// object, and pixels without data (0) along the border and in a hole. `count` should be
// width * height; a buffer of another size gets what fits, and values beyond the picture are 0.
void renderDepthScene(FrameFormat format, std::int64_t sampleIndex, short* out, std::size_t count);

// A signed 16-bit tone, interleaved over `channels`, starting at audio frame `firstSample`
// since the stream started. The waveform depends only on the absolute frame index, so
// consecutive blocks join without a phase jump. `sampleCount` is frames * channels; a
// trailing partial frame is filled too. A rate or channel count below 1 gives silence.
void renderAudioBlock(std::int32_t sampleRate, std::int32_t channels, std::int64_t firstSample,
                      std::int16_t* out, std::size_t sampleCount);

}  // namespace detail
}  // namespace CamSdk
