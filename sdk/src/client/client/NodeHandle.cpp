// The public node operations, untyped and per kind.
#include "camsdk/Exceptions.h"
#include "camsdk/Node.h"
#include "client/NodeClient.h"

namespace CamSdk {

using SdkOperation = detail::SdkOperation;

detail::NodeClient& Node::client() const {
  if (!client_) throw InvalidOperationException("the node handle is unset");
  return *client_;
}

void Node::unset() {
  if (client_) client_->enter(SdkOperation::NodeUnset);
  client_.reset();
}

NodeKind Node::kindChecked() const {
  detail::NodeClient& node = client();
  node.enter(SdkOperation::NodeIs);
  return node.kind();
}

void Node::checkKind(NodeKind wanted) const {
  detail::NodeClient& node = client();
  node.enter(SdkOperation::NodeAs);
  if (node.kind() != wanted) {
    throw InvalidOperationException(node.name() + " is a " + nodeKindName(node.kind()) +
                                    " node, not a " + nodeKindName(wanted) + " node");
  }
}

NodeKind Node::kind() const { return client().kind(); }

std::string Node::name() const { return client().name(); }

namespace {

// The typed client behind a typed handle. Typed handles are only made for their own kind, but
// a handle sliced and reassigned through Node& could name another kind: report that.
template <class Client>
Client& typedClient(detail::NodeClient& node) {
  auto* typed = dynamic_cast<Client*>(&node);
  if (typed == nullptr) throw InvalidOperationException(node.name() + " is of another kind");
  return *typed;
}

}  // namespace

DepthNode::NewSampleReceivedEvent& DepthNode::newSampleReceivedEvent() {
  auto& node = typedClient<detail::DepthNodeClient>(client());
  node.enter(SdkOperation::NodeNewSampleReceivedEvent);
  return node.event();
}

DepthNode::Configuration DepthNode::getConfiguration() const {
  detail::NodeClient& node = client();
  node.enter(SdkOperation::NodeGetConfiguration);
  return node.service().depthConfiguration(node.id());
}

void DepthNode::setConfiguration(Configuration configuration) {
  detail::NodeClient& node = client();
  node.enter(SdkOperation::NodeSetConfiguration);
  node.service().setConfiguration(node.owner(), node.id(), configuration);
}

void DepthNode::setEnableDepthMap(bool enable) {
  auto& node = typedClient<detail::DepthNodeClient>(client());
  node.enter(SdkOperation::DepthSetEnableDepthMap);
  node.setEnableDepthMap(enable);
}

void DepthNode::setEnableVertices(bool enable) {
  auto& node = typedClient<detail::DepthNodeClient>(client());
  node.enter(SdkOperation::DepthSetEnableVertices);
  node.setEnableVertices(enable);
}

ColorNode::NewSampleReceivedEvent& ColorNode::newSampleReceivedEvent() {
  auto& node = typedClient<detail::ColorNodeClient>(client());
  node.enter(SdkOperation::NodeNewSampleReceivedEvent);
  return node.event();
}

ColorNode::Configuration ColorNode::getConfiguration() const {
  detail::NodeClient& node = client();
  node.enter(SdkOperation::NodeGetConfiguration);
  return node.service().colorConfiguration(node.id());
}

void ColorNode::setConfiguration(Configuration configuration) {
  detail::NodeClient& node = client();
  node.enter(SdkOperation::NodeSetConfiguration);
  node.service().setConfiguration(node.owner(), node.id(), configuration);
}

void ColorNode::setEnableColorMap(bool enable) {
  auto& node = typedClient<detail::ColorNodeClient>(client());
  node.enter(SdkOperation::ColorSetEnableColorMap);
  node.setEnableColorMap(enable);
}

AudioNode::NewSampleReceivedEvent& AudioNode::newSampleReceivedEvent() {
  auto& node = typedClient<detail::AudioNodeClient>(client());
  node.enter(SdkOperation::NodeNewSampleReceivedEvent);
  return node.event();
}

AudioNode::Configuration AudioNode::getConfiguration() const {
  detail::NodeClient& node = client();
  node.enter(SdkOperation::NodeGetConfiguration);
  return node.service().audioConfiguration(node.id());
}

void AudioNode::setConfiguration(Configuration configuration) {
  detail::NodeClient& node = client();
  node.enter(SdkOperation::NodeSetConfiguration);
  node.service().setConfiguration(node.owner(), node.id(), configuration);
}

void AudioNode::setInputMixerLevel(float level) {
  detail::NodeClient& node = client();
  node.enter(SdkOperation::AudioSetInputMixerLevel);
  node.service().setInputMixerLevel(node.id(), level);
}

}  // namespace CamSdk
