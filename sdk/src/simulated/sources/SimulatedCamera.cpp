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

DepthFrame SimulatedNodeSource::depth(const DepthNode::Configuration& configuration,
                                      std::int64_t index, bool depthMap, bool vertices) {
  DepthFrame frame;
  frame.format = configuration.frameFormat;
  const std::size_t count = pixelCount(configuration.frameFormat);
  const short* depthValues = nullptr;
  if (depthMap) {
    auto buffer = depthMaps_.acquire(count);
    renderDepthScene(configuration.frameFormat, index, buffer->data(), count);
    depthValues = buffer->data();
    frame.depthMap = Pointer<short>(buffer, buffer->data(), count);
  }
  if (vertices) {
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

ColorFrame SimulatedNodeSource::color(const ColorNode::Configuration& configuration,
                                      std::int64_t index) {
  ColorFrame frame;
  frame.format = configuration.frameFormat;
  // Packed 4:2:2 takes two bytes per pixel.
  const std::size_t bytes = pixelCount(configuration.frameFormat) * 2;
  auto buffer = colorMaps_.acquire(bytes);
  renderColorScene(configuration.frameFormat, index, buffer->data(), bytes);
  frame.colorMap = Pointer<std::uint8_t>(buffer, buffer->data(), bytes);
  return frame;
}

AudioFrame SimulatedNodeSource::audio(const AudioNode::Configuration& configuration,
                                      std::int64_t index) {
  // Block k covers frames [k * rate / 50, (k + 1) * rate / 50): whole frames for any rate,
  // and consecutive blocks meet without gap or overlap.
  const std::int64_t rate = configuration.sampleRate;
  const std::int64_t first = index * rate / kAudioBlocksPerSecond;
  const std::int64_t end = (index + 1) * rate / kAudioBlocksPerSecond;
  const std::size_t values =
      static_cast<std::size_t>(end - first) * static_cast<std::size_t>(configuration.channels);

  auto buffer = audioBlocks_.acquire(values);
  renderAudioBlock(configuration.sampleRate, configuration.channels, first, buffer->data(), values);
  AudioFrame frame;
  frame.sampleRate = configuration.sampleRate;
  frame.channels = configuration.channels;
  frame.firstSample = first;
  // The record carries bytes; reading an object's bytes through unsigned char is allowed.
  frame.data = Pointer<std::uint8_t>(buffer, reinterpret_cast<const std::uint8_t*>(buffer->data()),
                                     values * sizeof(std::int16_t));
  return frame;
}

long SimulatedNodeSource::referencedBuffers() const {
  return depthMaps_.referenced() + vertices_.referenced() + colorMaps_.referenced() +
         audioBlocks_.referenced();
}

}  // namespace detail
}  // namespace CamSdk
