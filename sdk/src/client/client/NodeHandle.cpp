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
template <class N>
detail::TypedNodeClient<N>& typedClient(detail::NodeClient& node) {
  auto* typed = dynamic_cast<detail::TypedNodeClient<N>*>(&node);
  if (typed == nullptr) throw InvalidOperationException(node.name() + " is of another kind");
  return *typed;
}

template <class N>
typename N::NewSampleReceivedEvent& sampleEvent(detail::NodeClient& client) {
  auto& node = typedClient<N>(client);
  node.enter(SdkOperation::NodeNewSampleReceivedEvent);
  return node.event();
}

template <class N>
typename N::Configuration configurationOf(detail::NodeClient& client) {
  auto& node = typedClient<N>(client);
  node.enter(SdkOperation::NodeGetConfiguration);
  const detail::NodeConfiguration record = node.service().configuration(node.id(), N::nodeKind);
  return record.isSet() ? record.template as<N>() : typename N::Configuration{};
}

template <class N>
void configure(detail::NodeClient& client, const typename N::Configuration& configuration) {
  auto& node = typedClient<N>(client);
  node.enter(SdkOperation::NodeSetConfiguration);
  node.service().setConfiguration(node.owner(), node.id(), configuration);
}

void enableMap(detail::NodeClient& node, SdkOperation operation, detail::MapFlag map, bool enable) {
  node.enter(operation);
  node.enableMap(map, enable);
}

}  // namespace

DepthNode::NewSampleReceivedEvent& DepthNode::newSampleReceivedEvent() {
  return sampleEvent<DepthNode>(client());
}
DepthNode::Configuration DepthNode::getConfiguration() const {
  return configurationOf<DepthNode>(client());
}
void DepthNode::setConfiguration(Configuration configuration) {
  configure<DepthNode>(client(), configuration);
}
void DepthNode::setEnableDepthMap(bool enable) {
  enableMap(typedClient<DepthNode>(client()), SdkOperation::DepthSetEnableDepthMap,
            detail::kDepthMap, enable);
}
void DepthNode::setEnableVertices(bool enable) {
  enableMap(typedClient<DepthNode>(client()), SdkOperation::DepthSetEnableVertices,
            detail::kVertices, enable);
}

ColorNode::NewSampleReceivedEvent& ColorNode::newSampleReceivedEvent() {
  return sampleEvent<ColorNode>(client());
}
ColorNode::Configuration ColorNode::getConfiguration() const {
  return configurationOf<ColorNode>(client());
}
void ColorNode::setConfiguration(Configuration configuration) {
  configure<ColorNode>(client(), configuration);
}
void ColorNode::setEnableColorMap(bool enable) {
  enableMap(typedClient<ColorNode>(client()), SdkOperation::ColorSetEnableColorMap,
            detail::kColorMap, enable);
}

AudioNode::NewSampleReceivedEvent& AudioNode::newSampleReceivedEvent() {
  return sampleEvent<AudioNode>(client());
}
AudioNode::Configuration AudioNode::getConfiguration() const {
  return configurationOf<AudioNode>(client());
}
void AudioNode::setConfiguration(Configuration configuration) {
  configure<AudioNode>(client(), configuration);
}
void AudioNode::setInputMixerLevel(float level) {
  detail::NodeClient& node = client();
  node.enter(SdkOperation::AudioSetInputMixerLevel);
  node.service().setInputMixerLevel(node.id(), level);
}

}  // namespace CamSdk
