// Writes a recording of the simulated camera's scenes without a service and without waiting:
// depth, colour (packed 4:2:2) and mono 44.1 kHz audio at 25 fps, times exactly 40 ms apart.
// For the recording figures (scripts/bench-recording.sh): a minute to measure playback pacing
// with, an hour to measure opening a long file with, noisy colour to measure the recorder on.
//
//   recording_fixture OUTPUT.mkv --seconds N [--small] [--noise SIGMA]
//
// --small: both pictures 160 x 120. --noise: colour with Gaussian noise of SIGMA levels on every
// byte, like a camera's, stored raw so that playing the file costs the service little.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "recording/MatroskaWriter.h"
#include "scene/Scenes.h"

int main(int argc, char** argv) {
  using namespace CamSdk;
  if (argc < 4 || std::string(argv[2]) != "--seconds") {
    std::fprintf(stderr, "usage: %s OUTPUT.mkv --seconds N [--small] [--noise SIGMA]\n", argv[0]);
    return 2;
  }
  const long seconds = std::atol(argv[3]);
  bool small = false;
  double noise = 0;
  for (int i = 4; i < argc; ++i) {
    if (std::string(argv[i]) == "--small") small = true;
    if (std::string(argv[i]) == "--noise" && i + 1 < argc) noise = std::atof(argv[++i]);
  }
  std::mt19937 random(7);
  std::normal_distribution<double> sensor(0.0, noise > 0 ? noise : 1.0);
  const FrameFormat depthFormat = small ? FRAME_FORMAT_QQVGA : FRAME_FORMAT_QVGA;
  const FrameFormat colorFormat = small ? FRAME_FORMAT_QQVGA : FRAME_FORMAT_VGA;

  recording::TrackDescription depth;
  depth.nodeName = "depth0";
  depth.configuration =
      DepthNode::Configuration{depthFormat, 25, DepthNode::CameraMode::Close, true};
  recording::TrackDescription color;
  color.nodeName = "color0";
  color.configuration = ColorNode::Configuration{
      colorFormat, 25, ColorNode::PowerLineFrequency::Hz50, ColorNode::Compression::Yuy2};
  recording::TrackDescription audio;
  audio.nodeName = "audio0";
  audio.configuration = AudioNode::Configuration{AudioNode::AudioFormat::Pcm16, 1, 44100};

  try {
    recording::MatroskaWriter writer(
        argv[1], {depth, color, audio},
        noise > 0 ? recording::ColourCodec::Raw : recording::kDefaultColourCodec);
    std::int32_t w = 0, h = 0;
    FrameFormat_toResolution(depthFormat, &w, &h);
    std::vector<short> depthMap(static_cast<std::size_t>(w) * h);
    FrameFormat_toResolution(colorFormat, &w, &h);
    std::vector<std::uint8_t> colorMap(static_cast<std::size_t>(w) * h * 2);
    std::vector<std::int16_t> block(882);
    // The scenes repeat every few seconds; rendering 250 of each keeps an hour quick to write.
    constexpr long kDistinct = 250;
    for (long k = 0; k < seconds * 25; ++k) {
      const std::int64_t time = k * 40'000;
      detail::renderDepthScene(depthFormat, k % kDistinct, depthMap.data(), depthMap.size());
      writer.write(0, time, reinterpret_cast<const std::uint8_t*>(depthMap.data()),
                   depthMap.size() * 2);
      if (k < kDistinct) {
        detail::renderColorScene(colorFormat, k, colorMap.data(), colorMap.size());
        for (std::uint8_t& byte : colorMap) {
          if (noise > 0)
            byte = static_cast<std::uint8_t>(
                std::lround(std::clamp(byte + sensor(random), 0.0, 255.0)));
        }
      }
      writer.write(1, time, colorMap.data(), colorMap.size());
      for (long half = 0; half < 2; ++half) {
        detail::renderAudioBlock(44100, 1, (2 * k + half) * 882, block.data(), block.size());
        writer.write(2, time + half * 20'000, reinterpret_cast<const std::uint8_t*>(block.data()),
                     block.size() * 2);
      }
      if (k % 25 == 0) writer.flush();
    }
    writer.close();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "recording_fixture: %s\n", error.what());
    return 1;
  }
  return 0;
}
