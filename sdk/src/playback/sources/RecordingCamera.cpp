#include "sources/RecordingCamera.h"

#include <memory>

#include "service/BufferPool.h"
#include "service/CameraSource.h"
#include "service/Vertices.h"
#include "sources/RecordingPlayer.h"

namespace CamSdk {
namespace detail {

namespace {

// How often the recording takes what its reading thread read and checks for its end, while
// nobody streams from it.
constexpr Nanoseconds kTick = std::chrono::milliseconds(500);

std::string describe(FrameFormat format, std::int32_t framerate) {
  std::int32_t width = 0;
  std::int32_t height = 0;
  FrameFormat_toResolution(format, &width, &height);
  return "format " + std::to_string(static_cast<int>(format)) + " (" + std::to_string(width) +
         " x " + std::to_string(height) + ") at " + std::to_string(framerate) + " fps";
}

std::string onlyRecorded(const DepthNode::Configuration& recorded) {
  return "the recording has depth in " + describe(recorded.frameFormat, recorded.framerate) +
         ", mode and saturation as recorded, and no other";
}
std::string onlyRecorded(const ColorNode::Configuration& recorded) {
  return "the recording has colour in " + describe(recorded.frameFormat, recorded.framerate) +
         ", power line setting as recorded, and no other";
}
std::string onlyRecorded(const AudioNode::Configuration& recorded) {
  return "the recording has audio of " + std::to_string(recorded.channels) + " channel(s) at " +
         std::to_string(recorded.sampleRate) + " Hz and no other";
}

class RecordingNodeSource final : public NodeSource, private SampleTimeline {
 public:
  RecordingNodeSource(std::shared_ptr<RecordingPlayer> player, std::size_t track)
      : player_(std::move(player)), track_(track), recorded_(player_->tracks()[track]) {}

  SampleRecord sample(const NodeConfiguration& configuration, std::int64_t index,
                      std::uint8_t maps) override {
    SampleRecord made;
    configuration.visit([&](auto, const auto& record) { made = read(record, index, maps); });
    return made;
  }

  long referencedBuffers() const override { return vertices_.referenced(); }

  std::string configure(const NodeConfiguration& wanted) override {
    // The track's own record: a recording gives only what was recorded.
    if (wanted.bytes() == recorded_.configuration.bytes()) return {};
    std::string reason;
    recorded_.configuration.visit([&](auto, const auto& record) { reason = onlyRecorded(record); });
    return reason;
  }

  SampleTimeline* timeline() override { return this; }

 private:
  DepthNode::NewSampleReceivedData read(const DepthNode::Configuration& configuration,
                                        std::int64_t index, std::uint8_t maps) {
    DepthNode::NewSampleReceivedData frame{};
    frame.frameFormat = configuration.frameFormat;
    const RecordingPlayer::Entry* entry = player_->find(track_, index);
    if (entry == nullptr) return frame;
    const recording::RecordedSample& sample = entry->sample;
    const auto* values = reinterpret_cast<const short*>(sample.data);
    const std::size_t count = sample.size / sizeof(short);
    if (maps & kDepthMap) frame.depthMap = Pointer<short>(sample.owner, values, count);
    // Vertices are worked out over a whole map of the recorded size, and only then.
    if ((maps & kVertices) &&
        count == static_cast<std::size_t>(recorded_.width) * recorded_.height) {
      auto buffer = vertices_.acquire(count);
      computeVertices(values, recorded_.width, recorded_.height, buffer->data());
      frame.vertices = Pointer<Vertex>(buffer, buffer->data(), count);
    }
    return frame;
  }

  ColorNode::NewSampleReceivedData read(const ColorNode::Configuration& configuration,
                                        std::int64_t index, std::uint8_t) {
    ColorNode::NewSampleReceivedData frame{};
    frame.frameFormat = configuration.frameFormat;
    if (const RecordingPlayer::Entry* entry = player_->find(track_, index)) {
      frame.colorMap =
          Pointer<std::uint8_t>(entry->sample.owner, entry->sample.data, entry->sample.size);
    }
    return frame;
  }

  AudioNode::NewSampleReceivedData read(const AudioNode::Configuration& configuration,
                                        std::int64_t index, std::uint8_t) {
    AudioNode::NewSampleReceivedData frame{};
    frame.sampleRate = configuration.sampleRate;
    frame.channels = configuration.channels;
    if (const RecordingPlayer::Entry* entry = player_->find(track_, index)) {
      frame.sampleIndex = entry->audioPosition;
      frame.audioData =
          Pointer<std::uint8_t>(entry->sample.owner, entry->sample.data, entry->sample.size);
    }
    return frame;
  }

  std::int64_t firstAtOrAfter(Nanoseconds time) override {
    return player_->firstAtOrAfter(track_, time);
  }
  Nanoseconds due(std::int64_t index) override { return player_->due(track_, index); }

  std::shared_ptr<RecordingPlayer> player_;
  std::size_t track_;
  recording::RecordedTrack recorded_;
  BufferPool<Vertex> vertices_;
};

// Hands out the tracks' node sources in track order.
class RecordingCamera final : public CameraSource {
 public:
  explicit RecordingCamera(std::shared_ptr<RecordingPlayer> player) : player_(std::move(player)) {}
  std::unique_ptr<NodeSource> makeNodeSource(NodeKind) override {
    return std::make_unique<RecordingNodeSource>(player_, next_++);
  }

 private:
  std::shared_ptr<RecordingPlayer> player_;
  std::size_t next_ = 0;
};

// Reads on, says what went wrong once, and unplugs the device when the recording is over.
void tick(Service& service, DeviceId device, const std::shared_ptr<RecordingPlayer>& player,
          const std::function<void(const std::string&)>& say, long damageSaid) {
  player->advance();
  const long damaged = player->damagedSamples();
  if (damaged > damageSaid && say) {
    say("recording: " + std::to_string(damaged) +
        " damaged sample(s) skipped so far (first: " + player->firstDamage() + ")");
  }
  const Nanoseconds now = service.clock().now();
  if (player->started() && player->ended() && player->endTime() <= now) {
    if (say) say("recording: the end; its device is removed");
    service.unplugDevice(device);
    return;
  }
  const Nanoseconds next = player->ended() ? std::max(player->endTime(), now) : now + kTick;
  service.schedule(next, [&service, device, player, say, damaged] {
    tick(service, device, player, say, damaged);
  });
}

}  // namespace

DeviceId addRecordingDevice(Service& service, const std::string& name, const std::string& path,
                            bool loop, std::function<void(const std::string&)> say) {
  auto player = std::make_shared<RecordingPlayer>(path, loop, service.clock());
  for (const std::string& line : player->skippedTracks()) {
    if (say) say(line);
  }
  std::vector<NodeKind> kinds;
  for (const recording::RecordedTrack& track : player->tracks()) kinds.push_back(track.kind());
  const DeviceId device = service.addDevice(name, kinds, std::make_shared<RecordingCamera>(player));
  const std::vector<NodeId> nodes = service.pluggedNodesOf(device);
  for (std::size_t i = 0; i < nodes.size() && i < player->tracks().size(); ++i) {
    service.setDefaultConfiguration(nodes[i], player->tracks()[i].configuration);
  }
  service.schedule(service.clock().now(),
                   [&service, device, player, say] { tick(service, device, player, say, 0); });
  return device;
}

}  // namespace detail
}  // namespace CamSdk
