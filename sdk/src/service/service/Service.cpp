#include "service/Service.h"

#include <algorithm>
#include <cstring>

#include "common/ConfigurationRules.h"

namespace CamSdk {
namespace detail {

Service::Service(std::string host, std::unique_ptr<Clock> clock,
                 std::shared_ptr<CameraSource> cameras)
    : host_(std::move(host)), clock_(std::move(clock)), cameras_(std::move(cameras)) {}

Service::~Service() = default;

ClientId Service::attach(ServiceListener& listener) {
  const ClientId id = nextClient_++;
  attached_.push_back(Attached{id, &listener});
  clientNames_[id] = "context " + std::to_string(id) + " on " + host_;
  return id;
}

void Service::nameClient(ClientId client, const std::string& name) {
  if (clientNames_.count(client)) clientNames_[client] = name;
}

NodeKind Service::kindOf(NodeId id) const { return node(id).kind; }

void Service::detach(ClientId client) noexcept {
  attached_.erase(std::remove_if(attached_.begin(), attached_.end(),
                                 [client](const Attached& a) { return a.id == client; }),
                  attached_.end());
  for (ServiceNode& each : nodes_) {
    if (each.controller == client) letGo(each);
  }
  clientNames_.erase(client);
}

void Service::enter(detail::SdkOperation operation, const std::string& subject) {
  gate_.enter(operation, subject);
}

std::string Service::clientName(ClientId client) const {
  auto found = clientNames_.find(client);
  return found == clientNames_.end() ? "another client" : found->second;
}

Service::ServiceNode& Service::node(NodeId id) {
  if (id < 0 || static_cast<std::size_t>(id) >= nodes_.size()) {
    throw ArgumentException("no node with id " + std::to_string(id));
  }
  return nodes_[static_cast<std::size_t>(id)];
}

const Service::ServiceNode& Service::node(NodeId id) const {
  return const_cast<Service*>(this)->node(id);
}

Service::ServiceDevice& Service::device(DeviceId id) {
  if (id < 0 || static_cast<std::size_t>(id) >= devices_.size()) {
    throw ArgumentException("no device with id " + std::to_string(id));
  }
  return devices_[static_cast<std::size_t>(id)];
}

const Service::ServiceDevice& Service::device(DeviceId id) const {
  return const_cast<Service*>(this)->device(id);
}

bool Service::visible(const ServiceNode& each) const {
  return each.plugged && device(each.device).plugged;
}

bool Service::isPlugged(NodeId id) const { return visible(node(id)); }

// A node can go at any moment, also between a client's calls while it sets the node up. The
// kind is one that every stream setup reports as a line of its own, so that a node pulled out
// at the wrong instant never ends a program that sets it up; reading its configuration still
// works.
StreamingException Service::gone(const ServiceNode& target) {
  return StreamingException(target.name + " is no longer connected");
}

void Service::requestControl(ClientId client, NodeId id) {
  ServiceNode& target = node(id);
  if (!visible(target)) throw gone(target);
  if (target.controller != kNobody && target.controller != client) {
    throw UnauthorizedAccessException(target.name + " is controlled by " +
                                      clientName(target.controller));
  }
  if (target.controller != client) target.frames->claim();
  target.controller = client;
}

void Service::releaseControl(ClientId client, NodeId id) {
  ServiceNode& target = node(id);
  if (target.controller == client) letGo(target);
}

void Service::letGo(ServiceNode& target) {
  if (target.controller == kNobody) return;
  target.controller = kNobody;
  target.frames->release();
}

void Service::holdControlElsewhere(NodeId id, const std::string& name) {
  ServiceNode& target = node(id);
  const ClientId phantom = nextClient_++;
  clientNames_[phantom] = name;
  target.controller = phantom;
}

NodeConfiguration Service::configuration(NodeId id) const { return node(id).configuration; }

// The node a client may configure: plugged, of the right kind, and controlled by the client.
Service::ServiceNode& Service::controlledNode(ClientId client, NodeId id, NodeKind kind) {
  ServiceNode& target = node(id);
  if (target.kind != kind) {
    throw InvalidOperationException(target.name + " is not a " + nodeKindName(kind) + " node");
  }
  if (!visible(target)) throw gone(target);
  if (target.controller != client) {
    throw InvalidOperationException("configuring " + target.name +
                                    " needs control of it; request control first");
  }
  return target;
}

// The SDK's rules first, then the node's source, which takes the configuration if it can.
void Service::accept(ServiceNode& target, const NodeConfiguration& configuration) {
  std::string reason = checkConfiguration(configuration);
  if (reason.empty()) reason = target.frames->configure(configuration);
  if (!reason.empty()) throw ConfigurationException(target.name + ": " + reason);
}

void Service::setConfiguration(ClientId client, NodeId id, const NodeConfiguration& configuration) {
  ServiceNode& target = controlledNode(client, id, configuration.kind());
  accept(target, configuration);
  target.configuration = configuration;
  target.lastConfigurationBytes = configuration.bytes();
}

void Service::setDefaultConfiguration(NodeId id, const NodeConfiguration& configuration) {
  ServiceNode& target = node(id);
  const std::string reason = checkConfiguration(configuration);
  if (target.kind != configuration.kind() || !reason.empty()) {
    throw ArgumentException("bad default for " + target.name + ": " + reason);
  }
  target.configuration = configuration;
}

// The level is heard by every client of the node, as its configuration is: it needs control.
void Service::setInputMixerLevel(ClientId client, NodeId id, float level) {
  ServiceNode& target = controlledNode(client, id, NodeKind::Audio);
  if (!(level >= 0.0f && level <= 1.0f)) {
    throw ArgumentException("mixer level must lie in [0, 1]");
  }
  target.inputMixerLevel = level;
}

std::int32_t Service::samplesPerSecond(NodeId id) const {
  const ServiceNode& source = node(id);
  return visible(source) ? detail::samplesPerSecond(source.configuration) : 0;
}

SampleRecord Service::sample(NodeId id, std::int64_t index, std::uint8_t maps) {
  ServiceNode& source = node(id);
  return source.frames->sample(source.configuration, index, maps);
}

void Service::noteDelivered(NodeId id) { ++node(id).samplesDelivered; }

void Service::addLiveSource(std::shared_ptr<LiveSource> source) {
  liveSources_.push_back(std::move(source));
}

std::vector<int> Service::waitDescriptors() const {
  std::vector<int> descriptors;
  for (const auto& source : liveSources_) {
    for (int fd : source->descriptors()) descriptors.push_back(fd);
  }
  return descriptors;
}

void Service::pumpSources() {
  for (const auto& source : liveSources_) source->pump();
}

bool Service::isLive(NodeId id) const { return node(id).frames->live(); }

void Service::startCapture(NodeId id) { node(id).frames->startCapture(); }

void Service::stopCapture(NodeId id) { node(id).frames->stopCapture(); }

std::optional<CapturedSample> Service::takeCaptured(NodeId id, bool vertices) {
  return node(id).frames->takeCaptured(vertices);
}

std::vector<std::uint8_t> Service::lastConfigurationBytes(NodeId id) const {
  return node(id).lastConfigurationBytes;
}

float Service::inputMixerLevel(NodeId id) const { return node(id).inputMixerLevel; }

int Service::samplesDelivered(NodeId id) const { return node(id).samplesDelivered; }

long Service::liveBuffers() const {
  long live = 0;
  for (const ServiceNode& each : nodes_) live += each.frames->referencedBuffers();
  return live;
}

}  // namespace detail
}  // namespace CamSdk
