#include "RecordingTestSupport.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "../sdk/SdkTestSupport.h"
#include "Recorder.h"

namespace CamSdk {
namespace recordtest {

namespace {

template <class T>
std::vector<std::uint8_t> bytesOf(const Pointer<T>& map) {
  const auto* data = reinterpret_cast<const std::uint8_t*>(map.data());
  return std::vector<std::uint8_t>(data, data + map.byteSize());
}

// Connects handlers that append every sample of the first device's nodes to `out`, and calls
// `after` after each one.
void collect(Context& context, std::vector<Captured>& out, std::function<void()> after,
             std::function<void(std::size_t, const Captured&, const std::shared_ptr<const void>&,
                                const std::uint8_t*, std::size_t)>
                 tap = {}) {
  Device device = sdktest::firstDevice(context);
  List<Node> nodes = device._p_getNodes();
  for (int i = 0; i < nodes.size(); ++i) {
    const std::size_t track = static_cast<std::size_t>(i);
    if (nodes[i].is<DepthNode>()) {
      DepthNode depth = nodes[i].as<DepthNode>();
      sdktest::listen<DepthNode, DepthNode::NewSampleReceivedData>(
          depth.newSampleReceivedEvent(),
          [&out, after, tap, track](DepthNode, DepthNode::NewSampleReceivedData d) {
            out.push_back({NodeKind::Depth, d.timeOfCapture, d.sampleIndex, bytesOf(d.depthMap)});
            if (tap) {
              tap(track, out.back(), d.depthMap.owner(),
                  reinterpret_cast<const std::uint8_t*>(d.depthMap.data()), d.depthMap.byteSize());
            }
            after();
          });
      context.registerNode(depth);
      depth.setEnableDepthMap(true);
    } else if (nodes[i].is<ColorNode>()) {
      ColorNode color = nodes[i].as<ColorNode>();
      sdktest::listen<ColorNode, ColorNode::NewSampleReceivedData>(
          color.newSampleReceivedEvent(),
          [&out, after, tap, track](ColorNode, ColorNode::NewSampleReceivedData d) {
            out.push_back({NodeKind::Color, d.timeOfCapture, d.sampleIndex, bytesOf(d.colorMap)});
            if (tap)
              tap(track, out.back(), d.colorMap.owner(), d.colorMap.data(), d.colorMap.byteSize());
            after();
          });
      context.registerNode(color);
      color.setEnableColorMap(true);
    } else if (nodes[i].is<AudioNode>()) {
      AudioNode audio = nodes[i].as<AudioNode>();
      sdktest::listen<AudioNode, AudioNode::NewSampleReceivedData>(
          audio.newSampleReceivedEvent(),
          [&out, after, tap, track](AudioNode, AudioNode::NewSampleReceivedData d) {
            out.push_back({NodeKind::Audio, d.timeOfCapture, d.sampleIndex, bytesOf(d.audioData)});
            if (tap)
              tap(track, out.back(), d.audioData.owner(), d.audioData.data(),
                  d.audioData.byteSize());
            after();
          });
      context.registerNode(audio);
    }
  }
}

}  // namespace

std::vector<Captured> recordSession(const std::string& path, double seconds) {
  Context context = Context::create("localhost");
  Device device = sdktest::firstDevice(context);
  List<Node> nodes = device._p_getNodes();
  std::vector<recording::TrackDescription> tracks;
  for (int i = 0; i < nodes.size(); ++i) {
    recording::TrackDescription track;
    track.nodeName = nodes[i].name();
    if (nodes[i].is<DepthNode>()) {
      track.configuration = nodes[i].as<DepthNode>().getConfiguration();
    }
    if (nodes[i].is<ColorNode>()) {
      track.configuration = nodes[i].as<ColorNode>().getConfiguration();
    }
    if (nodes[i].is<AudioNode>()) {
      track.configuration = nodes[i].as<AudioNode>().getConfiguration();
    }
    tracks.push_back(track);
  }
  record_program::Recorder recorder(path, tracks);
  std::vector<Captured> received;
  const auto end = static_cast<std::int64_t>(seconds * 1e6);
  collect(
      context, received,
      [&] {
        if (received.back().time - received.front().time >= end) context.quit();
      },
      [&recorder](std::size_t track, const Captured& sample,
                  const std::shared_ptr<const void>& owner, const std::uint8_t* data,
                  std::size_t size) { recorder.take(track, sample.time, owner, data, size, 0); });
  context.startNodes();
  context.run();
  context.stopNodes();
  EXPECT_EQ(recorder.finish(), "");
  return received;
}

std::vector<Captured> playSession(Context& context, std::size_t limit) {
  std::vector<Captured> received;
  sdktest::listen<Context, Context::DeviceRemovedData>(
      context.deviceRemovedEvent(),
      [&context](Context, Context::DeviceRemovedData) { context.quit(); });
  collect(context, received, [&] {
    if (received.size() >= limit) context.quit();
  });
  context.startNodes();
  context.run();
  return received;
}

std::string temporaryPath(const std::string& name) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("camsdk-recording-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  return (folder / name).string();
}

}  // namespace recordtest
}  // namespace CamSdk
