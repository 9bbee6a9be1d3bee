#include "common/ConfigurationRules.h"

#include <cstring>

namespace CamSdk {
namespace detail {

namespace {

bool knownFormat(FrameFormat format) {
  std::int32_t width = 0;
  std::int32_t height = 0;
  FrameFormat_toResolution(format, &width, &height);
  return width > 0 && height > 0;
}

std::string checkFrame(FrameFormat format, std::int32_t framerate, FrameFormat largest,
                       std::int32_t maxFramerate) {
  if (!knownFormat(format) || static_cast<std::int32_t>(format) > largest) {
    return "unsupported frame format " + std::to_string(static_cast<std::int32_t>(format));
  }
  if (framerate < 1 || framerate > maxFramerate) {
    return "unsupported frame rate " + std::to_string(framerate) + " (1 to " +
           std::to_string(maxFramerate) + ")";
  }
  return {};
}

}  // namespace

std::string checkConfiguration(const DepthNode::Configuration& configuration) {
  std::string reason = checkFrame(configuration.frameFormat, configuration.framerate,
                                  FRAME_FORMAT_VGA, kDepthMaxFramerate);
  if (!reason.empty()) return reason;
  const auto mode = static_cast<std::int32_t>(configuration.mode);
  if (mode != 0 && mode != 1) return "unknown camera mode " + std::to_string(mode);
  // Read the truth value as a byte: a record filled by hand may hold any value there, and
  // loading a bool that is neither 0 nor 1 is undefined.
  unsigned char saturation = 0;
  std::memcpy(&saturation,
              reinterpret_cast<const unsigned char*>(&configuration) +
                  offsetof(DepthNode::Configuration, saturation),
              1);
  if (saturation > 1) return "bad saturation value " + std::to_string(saturation);
  return {};
}

std::string checkConfiguration(const ColorNode::Configuration& configuration) {
  std::string reason = checkFrame(configuration.frameFormat, configuration.framerate,
                                  FRAME_FORMAT_FULL_HD, kColorMaxFramerate);
  if (!reason.empty()) return reason;
  const auto powerLine = static_cast<std::int32_t>(configuration.powerLineFrequency);
  if (powerLine < 0 || powerLine > 2) {
    return "unknown power line frequency " + std::to_string(powerLine);
  }
  const auto compression = static_cast<std::int32_t>(configuration.compression);
  if (compression == static_cast<std::int32_t>(ColorNode::Compression::Mjpeg)) {
    return "this node streams uncompressed colour only";
  }
  if (compression != 0) return "unknown compression " + std::to_string(compression);
  return {};
}

std::string checkConfiguration(const AudioNode::Configuration& configuration) {
  if (configuration.audioFormat != AudioNode::AudioFormat::Pcm16) {
    return "unknown audio format " +
           std::to_string(static_cast<std::int32_t>(configuration.audioFormat));
  }
  if (configuration.channels < 1 || configuration.channels > 2) {
    return "unsupported channel count " + std::to_string(configuration.channels);
  }
  switch (configuration.sampleRate) {
    case 8000:
    case 16000:
    case 22050:
    case 32000:
    case 44100:
    case 48000:
      return {};
    default:
      return "unsupported sample rate " + std::to_string(configuration.sampleRate);
  }
}

DepthNode::Configuration defaultDepthConfiguration() {
  DepthNode::Configuration configuration;
  std::memset(&configuration, 0, sizeof configuration);
  configuration.frameFormat = FRAME_FORMAT_QVGA;
  configuration.framerate = 25;
  configuration.mode = DepthNode::CameraMode::Close;
  configuration.saturation = true;
  return configuration;
}

ColorNode::Configuration defaultColorConfiguration() {
  ColorNode::Configuration configuration;
  std::memset(&configuration, 0, sizeof configuration);
  configuration.frameFormat = FRAME_FORMAT_VGA;
  configuration.framerate = 25;
  configuration.powerLineFrequency = ColorNode::PowerLineFrequency::Hz50;
  configuration.compression = ColorNode::Compression::Yuy2;
  return configuration;
}

AudioNode::Configuration defaultAudioConfiguration() {
  AudioNode::Configuration configuration;
  std::memset(&configuration, 0, sizeof configuration);
  configuration.audioFormat = AudioNode::AudioFormat::Pcm16;
  configuration.channels = 1;
  configuration.sampleRate = 44100;
  return configuration;
}

}  // namespace detail
}  // namespace CamSdk
