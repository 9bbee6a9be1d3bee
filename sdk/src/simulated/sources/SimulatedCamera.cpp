#include "sources/SimulatedCamera.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "common/ConfigurationRules.h"
#include "scene/Scenes.h"
#include "service/Vertices.h"

namespace CamSdk {
namespace detail {

namespace {

std::size_t pixelCount(FrameFormat format) {
  std::int32_t width = 0;
  std::int32_t height = 0;
  FrameFormat_toResolution(format, &width, &height);
  return static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
}

}  // namespace

SampleRecord SimulatedNodeSource::sample(const NodeConfiguration& configuration, std::int64_t index,
                                         std::uint8_t maps) {
  SampleRecord made;
  configuration.visit([&](auto, const auto& record) { made = render(record, index, maps); });
  return made;
}

DepthNode::NewSampleReceivedData SimulatedNodeSource::render(
    const DepthNode::Configuration& configuration, std::int64_t index, std::uint8_t maps) {
  DepthNode::NewSampleReceivedData frame{};
  frame.frameFormat = configuration.frameFormat;
  const std::size_t count = pixelCount(configuration.frameFormat);
  const short* depthValues = nullptr;
  if (maps & kDepthMap) {
    auto buffer = depthMaps_.acquire(count);
    renderDepthScene(configuration.frameFormat, index, buffer->data(), count);
    depthValues = buffer->data();
    frame.depthMap = Pointer<short>(buffer, buffer->data(), count);
  }
  if (maps & kVertices) {
    if (depthValues == nullptr) {
      depthScratch_.resize(count);
      renderDepthScene(configuration.frameFormat, index, depthScratch_.data(), count);
      depthValues = depthScratch_.data();
    }
    std::int32_t width = 0;
    std::int32_t height = 0;
    FrameFormat_toResolution(configuration.frameFormat, &width, &height);
    auto buffer = vertices_.acquire(count);
    computeVertices(depthValues, width, height, buffer->data());
    frame.vertices = Pointer<Vertex>(buffer, buffer->data(), count);
  }
  return frame;
}

// Colour is always rendered: a colour node streams only to clients that enabled its map.
ColorNode::NewSampleReceivedData SimulatedNodeSource::render(
    const ColorNode::Configuration& configuration, std::int64_t index, std::uint8_t) {
  ColorNode::NewSampleReceivedData frame{};
  frame.frameFormat = configuration.frameFormat;
  // Packed 4:2:2 takes two bytes per pixel.
  const std::size_t bytes = pixelCount(configuration.frameFormat) * 2;
  auto buffer = colorMaps_.acquire(bytes);
  renderColorScene(configuration.frameFormat, index, buffer->data(), bytes);
  frame.colorMap = Pointer<std::uint8_t>(buffer, buffer->data(), bytes);
  return frame;
}

AudioNode::NewSampleReceivedData SimulatedNodeSource::render(
    const AudioNode::Configuration& configuration, std::int64_t index, std::uint8_t) {
  // Block k covers frames [k * rate / 50, (k + 1) * rate / 50): whole frames for any rate,
  // and consecutive blocks meet without gap or overlap.
  const std::int64_t rate = configuration.sampleRate;
  const std::int64_t first = index * rate / kAudioBlocksPerSecond;
  const std::int64_t end = (index + 1) * rate / kAudioBlocksPerSecond;
  const std::size_t values =
      static_cast<std::size_t>(end - first) * static_cast<std::size_t>(configuration.channels);

  auto buffer = audioBlocks_.acquire(values);
  renderAudioBlock(configuration.sampleRate, configuration.channels, first, buffer->data(), values);
  AudioNode::NewSampleReceivedData frame{};
  frame.sampleRate = configuration.sampleRate;
  frame.channels = configuration.channels;
  frame.sampleIndex = first;
  // The record carries bytes; reading an object's bytes through unsigned char is allowed.
  frame.audioData = Pointer<std::uint8_t>(
      buffer, reinterpret_cast<const std::uint8_t*>(buffer->data()), values * sizeof(std::int16_t));
  return frame;
}

long SimulatedNodeSource::referencedBuffers() const {
  return depthMaps_.referenced() + vertices_.referenced() + colorMaps_.referenced() +
         audioBlocks_.referenced();
}

}  // namespace detail
}  // namespace CamSdk
