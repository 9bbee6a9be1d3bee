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

// A truth value read as its byte: a record filled by hand may hold any value there, and
// loading a bool that is neither 0 nor 1 is undefined.
unsigned char saturationByte(const DepthNode::Configuration& configuration) {
  unsigned char saturation = 0;
  std::memcpy(&saturation,
              reinterpret_cast<const unsigned char*>(&configuration) +
                  offsetof(DepthNode::Configuration, saturation),
              1);
  return saturation;
}

// A picture's rate is its frame rate; audio comes in blocks.
template <class Picture>
std::int32_t rateOf(const Picture& configuration) {
  return configuration.framerate;
}
std::int32_t rateOf(const AudioNode::Configuration&) { return kAudioBlocksPerSecond; }

std::string unreadable(const DepthNode::Configuration& configuration) {
  const unsigned char saturation = saturationByte(configuration);
  return saturation > 1 ? "saturation byte is " + std::to_string(saturation) : std::string();
}
template <class Configuration>
std::string unreadable(const Configuration&) {
  return {};
}

// Each kind's rules, its default and its pace.
std::string check(const DepthNode::Configuration& configuration) {
  std::string reason = checkFrame(configuration.frameFormat, configuration.framerate,
                                  FRAME_FORMAT_VGA, kDepthMaxFramerate);
  if (!reason.empty()) return reason;
  const auto mode = static_cast<std::int32_t>(configuration.mode);
  if (mode != 0 && mode != 1) return "unknown camera mode " + std::to_string(mode);
  const unsigned char saturation = saturationByte(configuration);
  if (saturation > 1) return "bad saturation value " + std::to_string(saturation);
  return {};
}

std::string check(const ColorNode::Configuration& configuration) {
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

std::string check(const AudioNode::Configuration& configuration) {
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

// Each default starts from zeros, padding included, so that its bytes are always the same.
DepthNode::Configuration defaults(KindTag<DepthNode>) {
  DepthNode::Configuration configuration;
  std::memset(&configuration, 0, sizeof configuration);
  configuration.frameFormat = FRAME_FORMAT_QVGA;
  configuration.framerate = 25;
  configuration.mode = DepthNode::CameraMode::Close;
  configuration.saturation = true;
  return configuration;
}

ColorNode::Configuration defaults(KindTag<ColorNode>) {
  ColorNode::Configuration configuration{FRAME_FORMAT_VGA, 25, ColorNode::PowerLineFrequency::Hz50,
                                         ColorNode::Compression::Yuy2};
  return configuration;
}

AudioNode::Configuration defaults(KindTag<AudioNode>) {
  return AudioNode::Configuration{AudioNode::AudioFormat::Pcm16, 1, 44100};
}

}  // namespace

std::string checkConfiguration(const NodeConfiguration& configuration) {
  std::string reason = "this node has no configuration";
  configuration.visit([&](auto, const auto& record) { reason = check(record); });
  return reason;
}

NodeConfiguration defaultConfiguration(NodeKind kind) {
  NodeConfiguration made;
  withKind(kind, [&](auto tag) { made = defaults(tag); });
  return made;
}

std::int32_t samplesPerSecond(const NodeConfiguration& configuration) {
  std::int32_t rate = 0;
  configuration.visit([&](auto, const auto& record) { rate = rateOf(record); });
  return rate;
}

std::string unreadableField(const NodeConfiguration& configuration) {
  std::string field;
  configuration.visit([&](auto, const auto& record) { field = unreadable(record); });
  return field;
}

}  // namespace detail
}  // namespace CamSdk
