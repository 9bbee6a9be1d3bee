#include "client/NodeClient.h"

#include <utility>

#include "client/HandleAccess.h"
#include "common/EventAccess.h"

namespace CamSdk {
namespace detail {

NodeClient::NodeClient(std::shared_ptr<ServicePort> service, ClientId owner, NodeInfo info)
    : service_(std::move(service)), owner_(owner), info_(std::move(info)) {}

void DepthNodeClient::deliver(const InjectedSample& sample) {
  EventAccess::deliver(event_, HandleAccess::typed<DepthNode>(shared_from_this()),
                       std::get<DepthNode::NewSampleReceivedData>(sample));
}

void ColorNodeClient::deliver(const InjectedSample& sample) {
  EventAccess::deliver(event_, HandleAccess::typed<ColorNode>(shared_from_this()),
                       std::get<ColorNode::NewSampleReceivedData>(sample));
}

void AudioNodeClient::deliver(const InjectedSample& sample) {
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
