// The simulated microphone hears a steady tone. Its phase is taken from the absolute frame
// index modulo the sample rate (the tone's frequency is a whole number of hertz, so the wave
// repeats every second), which keeps it exact however long the stream has run.
#include <cmath>
#include <cstring>

#include "scene/SceneGeometry.h"
#include "scene/Scenes.h"

namespace CamSdk {
namespace detail {
namespace {

constexpr std::int64_t kToneHertz = 440;
constexpr double kToneAmplitude = 8000.0;
constexpr double kTwoPi = 6.283185307179586476925;

}  // namespace

void renderAudioBlock(std::int32_t sampleRate, std::int32_t channels, std::int64_t firstSample,
                      std::int16_t* out, std::size_t sampleCount) {
  if (sampleRate < 1 || channels < 1) {
    if (sampleCount > 0) std::memset(out, 0, sampleCount * sizeof(std::int16_t));
    return;
  }
  const std::size_t perFrame = static_cast<std::size_t>(channels);
  std::int64_t frame = floorMod(firstSample, std::int64_t{sampleRate});
  for (std::size_t i = 0; i < sampleCount; i += perFrame) {
    const std::int64_t cycles = floorMod(frame * kToneHertz, std::int64_t{sampleRate});
    const double angle = kTwoPi * static_cast<double>(cycles) / sampleRate;
    const auto value = static_cast<std::int16_t>(std::lround(kToneAmplitude * std::sin(angle)));
    for (std::size_t c = 0; c < perFrame && i + c < sampleCount; ++c) out[i + c] = value;
    if (++frame == sampleRate) frame = 0;
  }
}

}  // namespace detail
}  // namespace CamSdk
