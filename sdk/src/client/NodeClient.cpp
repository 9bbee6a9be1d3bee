#include "client/NodeClient.h"

#include <utility>

#include "client/HandleAccess.h"

namespace CamSdk {
namespace detail {

namespace {

std::int64_t microseconds(Nanoseconds time) { return time.count() / 1000; }

}  // namespace

NodeClient::NodeClient(std::shared_ptr<ServicePort> service, ClientId owner, NodeInfo info)
    : service_(std::move(service)), owner_(owner), info_(std::move(info)) {}

void DepthNodeClient::deliverSample(std::int64_t index, Nanoseconds due, std::int32_t skipped) {
  const DepthFrame frame = service().depthFrame(id(), index, depthMap_, vertices_);
  DepthNode::NewSampleReceivedData data{};
  data.depthMap = frame.depthMap;
  data.vertices = frame.vertices;
  data.frameFormat = frame.format;
  data.timeOfCapture = microseconds(due);
  data.sampleIndex = index;
  data.droppedSampleCount = skipped;
  service().noteDelivered(id());
  EventAccess::deliver(event_, HandleAccess::typed<DepthNode>(shared_from_this()), data);
}

void DepthNodeClient::deliverInjected(const InjectedSample& sample) {
  service().noteDelivered(id());
  EventAccess::deliver(event_, HandleAccess::typed<DepthNode>(shared_from_this()),
                       std::get<DepthNode::NewSampleReceivedData>(sample));
}

void ColorNodeClient::deliverSample(std::int64_t index, Nanoseconds due, std::int32_t skipped) {
  const ColorFrame frame = service().colorFrame(id(), index);
  ColorNode::NewSampleReceivedData data{};
  data.colorMap = frame.colorMap;
  data.frameFormat = frame.format;
  data.timeOfCapture = microseconds(due);
  data.sampleIndex = index;
  data.droppedSampleCount = skipped;
  service().noteDelivered(id());
  EventAccess::deliver(event_, HandleAccess::typed<ColorNode>(shared_from_this()), data);
}

void ColorNodeClient::deliverInjected(const InjectedSample& sample) {
  service().noteDelivered(id());
  EventAccess::deliver(event_, HandleAccess::typed<ColorNode>(shared_from_this()),
                       std::get<ColorNode::NewSampleReceivedData>(sample));
}

void AudioNodeClient::deliverSample(std::int64_t index, Nanoseconds due, std::int32_t skipped) {
  const AudioFrame frame = service().audioFrame(id(), index);
  AudioNode::NewSampleReceivedData data{};
  data.audioData = frame.data;
  data.sampleRate = frame.sampleRate;
  data.channels = frame.channels;
  data.timeOfCapture = microseconds(due);
  data.sampleIndex = frame.firstSample;
  data.droppedSampleCount = skipped;
  service().noteDelivered(id());
  EventAccess::deliver(event_, HandleAccess::typed<AudioNode>(shared_from_this()), data);
}

void AudioNodeClient::deliverInjected(const InjectedSample& sample) {
  service().noteDelivered(id());
  EventAccess::deliver(event_, HandleAccess::typed<AudioNode>(shared_from_this()),
                       std::get<AudioNode::NewSampleReceivedData>(sample));
}

std::shared_ptr<NodeClient> makeNodeClient(std::shared_ptr<ServicePort> service, ClientId owner,
                                           const NodeInfo& info) {
  switch (info.kind) {
    case NodeKind::Depth:
      return std::make_shared<DepthNodeClient>(std::move(service), owner, info);
    case NodeKind::Color:
      return std::make_shared<ColorNodeClient>(std::move(service), owner, info);
    case NodeKind::Audio:
      return std::make_shared<AudioNodeClient>(std::move(service), owner, info);
    case NodeKind::Other:
      break;
  }
  return std::make_shared<OtherNodeClient>(std::move(service), owner, info);
}

}  // namespace detail
}  // namespace CamSdk
