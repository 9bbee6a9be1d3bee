// Each kind's sample record as a sample message carries it: its fields and its maps, said once
// for each kind and read both ways. The service host writes a record into a message; the client
// reads the record back out of one.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "common/NodeKinds.h"
#include "protocol/Messages.h"

namespace CamSdk {
namespace protocol {

// The fields of each kind beyond the index, capture time and dropped count that every sample
// has. `io` is a SampleWriter or a SampleReader.
template <class Io>
void sampleFields(Io& io, DepthNode::NewSampleReceivedData& record) {
  io.frameFormat(record.frameFormat);
  io.map(detail::kDepthMap, record.depthMap);
  io.map(detail::kVertices, record.vertices);
}
template <class Io>
void sampleFields(Io& io, ColorNode::NewSampleReceivedData& record) {
  io.frameFormat(record.frameFormat);
  io.map(detail::kColorMap, record.colorMap);
}
// Audio counts its position in audio samples: its sampleIndex is the block's first one.
template <class Io>
void sampleFields(Io& io, AudioNode::NewSampleReceivedData& record) {
  io.audioFormat(record.sampleRate, record.channels);
  io.position(record.sampleIndex);
  io.map(detail::kAudio, record.audioData);
}

// The maps a kind sends whether or not a client asked for them: audio has no switch.
template <class N>
inline constexpr std::uint8_t kMapsSentUnasked = 0;
template <>
inline constexpr std::uint8_t kMapsSentUnasked<AudioNode> = detail::kAudio;

// A sample's maps, each with the frame that carries its bytes and keeps them alive.
using SampleMaps = std::vector<std::pair<std::uint8_t, OwnedFrame>>;

class SampleWriter {
 public:
  SampleWriter(SamplePush& sample, SampleMaps& maps) : sample_(sample), maps_(maps) {}
  void frameFormat(FrameFormat format) { sample_.frameFormat = format; }
  void audioFormat(std::int32_t sampleRate, std::int32_t channels) {
    sample_.sampleRate = sampleRate;
    sample_.channels = channels;
  }
  void position(std::int64_t position) { sample_.position = position; }
  // An absent map is not sent.
  template <class T>
  void map(std::uint8_t flag, const Pointer<T>& map) {
    if (map.data() == nullptr) return;
    maps_.emplace_back(
        flag,
        OwnedFrame{map.owner(), reinterpret_cast<const std::uint8_t*>(map.data()), map.byteSize()});
  }

 private:
  SamplePush& sample_;
  SampleMaps& maps_;
};

// `Maps` hands out a received map: `template <class T> Pointer<T> map(std::uint8_t flag)`.
template <class Maps>
class SampleReader {
 public:
  SampleReader(const SamplePush& sample, const Maps& maps) : sample_(sample), maps_(maps) {}
  void frameFormat(FrameFormat& format) { format = static_cast<FrameFormat>(sample_.frameFormat); }
  void audioFormat(std::int32_t& sampleRate, std::int32_t& channels) {
    sampleRate = sample_.sampleRate;
    channels = sample_.channels;
  }
  void position(std::int64_t& position) { position = sample_.position; }
  template <class T>
  void map(std::uint8_t flag, Pointer<T>& map) {
    map = maps_.template map<T>(flag);
  }

 private:
  const SamplePush& sample_;
  const Maps& maps_;
};

// Sets the sample's kind and writes the record's fields and maps; the caller sets its index,
// position, capture time and dropped count first.
inline void writeSample(const detail::SampleRecord& record, SamplePush& sample, SampleMaps& maps) {
  sample.kind = detail::kindOf(record);
  SampleWriter writer(sample, maps);
  // The writer only reads the record.
  std::visit(
      [&](const auto& typed) {
        sampleFields(writer, const_cast<std::decay_t<decltype(typed)>&>(typed));
      },
      record);
}

// The record a sample carries, for a kind the SDK streams.
template <class Maps>
std::optional<detail::SampleRecord> readSample(const SamplePush& sample, const Maps& maps) {
  std::optional<detail::SampleRecord> read;
  detail::withKind(sample.kind, [&](auto tag) {
    typename decltype(tag)::Node::NewSampleReceivedData record{};
    record.timeOfCapture = sample.timeOfCapture;
    record.sampleIndex = sample.index;
    record.droppedSampleCount = sample.droppedSampleCount;
    SampleReader<Maps> reader(sample, maps);
    sampleFields(reader, record);
    read = std::move(record);
  });
  return read;
}

}  // namespace protocol
}  // namespace CamSdk
