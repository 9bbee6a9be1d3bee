// The service's devices and nodes coming and going, the notifications that tell every
// attached client, and the timed actions and hand-made samples of the scenario control.
#include <algorithm>

#include "common/ConfigurationRules.h"
#include "service/Service.h"

namespace CamSdk {
namespace detail {

NodeInfo Service::infoOf(const ServiceNode& each) const {
  return NodeInfo{each.id, each.kind, each.name};
}

DeviceInfo Service::infoOf(const ServiceDevice& each, bool withNodes) const {
  DeviceInfo info{each.id, each.name, {}};
  if (!withNodes) return info;
  for (NodeId id : each.nodes) {
    const ServiceNode& member = node(id);
    if (member.plugged) info.nodes.push_back(infoOf(member));
  }
  return info;
}

std::vector<DeviceInfo> Service::devices() const {
  std::vector<DeviceInfo> plugged;
  for (const ServiceDevice& each : devices_) {
    if (each.plugged) plugged.push_back(infoOf(each, true));
  }
  return plugged;
}

void Service::notify(const TopologyChange& change) {
  // A listener may not attach or detach while it is told, but copy anyway: the list is short.
  const std::vector<Attached> listeners = attached_;
  for (const Attached& each : listeners) each.listener->topologyChanged(change);
}

DeviceId Service::addDevice(const std::string& name, const std::vector<NodeKind>& kinds) {
  std::vector<SourcedNode> nodes;
  for (NodeKind kind : kinds) nodes.push_back(SourcedNode{kind, cameras_->makeNodeSource(kind)});
  return addDevice(name, std::move(nodes));
}

DeviceId Service::addDevice(const std::string& name, const std::vector<NodeKind>& kinds,
                            const std::shared_ptr<CameraSource>& source) {
  std::vector<SourcedNode> nodes;
  for (NodeKind kind : kinds) nodes.push_back(SourcedNode{kind, source->makeNodeSource(kind)});
  return addDevice(name, std::move(nodes));
}

DeviceId Service::addDevice(const std::string& name, std::vector<SourcedNode> nodes) {
  const DeviceId id = static_cast<DeviceId>(devices_.size());
  ServiceDevice added;
  added.id = id;
  added.name = name;
  added.plugged = false;  // plugged below, once its nodes exist, so one notice covers them
  devices_.push_back(std::move(added));
  for (SourcedNode& each : nodes) addNode(id, each.kind, std::move(each.frames));
  plugDevice(id);
  return id;
}

SampleTimeline* Service::timeline(NodeId id) { return node(id).frames->timeline(); }

NodeId Service::addNode(DeviceId deviceId, NodeKind kind) {
  return addNode(deviceId, kind, cameras_->makeNodeSource(kind));
}

NodeId Service::addNode(DeviceId deviceId, NodeKind kind, std::unique_ptr<NodeSource> frames) {
  ServiceDevice& owner = device(deviceId);
  int sameKind = 0;
  for (NodeId id : owner.nodes) {
    if (node(id).kind == kind) ++sameKind;
  }
  const NodeId id = static_cast<NodeId>(nodes_.size());
  ServiceNode added;
  added.id = id;
  added.device = deviceId;
  added.kind = kind;
  added.name = nodeKindName(kind) + std::to_string(sameKind);
  added.configuration = defaultConfiguration(kind);
  added.frames = std::move(frames);
  nodes_.push_back(std::move(added));
  owner.nodes.push_back(id);
  if (owner.plugged) {
    notify(TopologyChange{TopologyChange::Type::NodeAdded, infoOf(owner, false),
                          infoOf(nodes_.back())});
  }
  return id;
}

void Service::unplugNode(NodeId id) {
  ServiceNode& target = node(id);
  if (!target.plugged) return;
  const bool wasVisible = visible(target);
  target.plugged = false;
  // A node that comes back starts afresh: nobody controls it.
  letGo(target);
  if (wasVisible) {
    notify(TopologyChange{TopologyChange::Type::NodeRemoved, infoOf(device(target.device), false),
                          infoOf(target)});
  }
}

void Service::plugNode(NodeId id) {
  ServiceNode& target = node(id);
  if (target.plugged) return;
  target.plugged = true;
  if (visible(target)) {
    notify(TopologyChange{TopologyChange::Type::NodeAdded, infoOf(device(target.device), false),
                          infoOf(target)});
  }
}

void Service::unplugDevice(DeviceId id) {
  ServiceDevice& target = device(id);
  if (!target.plugged) return;
  const DeviceInfo info = infoOf(target, true);
  target.plugged = false;
  for (NodeId member : target.nodes) letGo(node(member));
  for (const NodeInfo& member : info.nodes) {
    notify(TopologyChange{TopologyChange::Type::NodeRemoved, infoOf(target, false), member});
  }
  notify(TopologyChange{TopologyChange::Type::DeviceRemoved, infoOf(target, false), {}});
}

void Service::plugDevice(DeviceId id) {
  ServiceDevice& target = device(id);
  if (target.plugged) return;
  target.plugged = true;
  const DeviceInfo info = infoOf(target, true);
  notify(TopologyChange{TopologyChange::Type::DeviceAdded, info, {}});
  for (const NodeInfo& member : info.nodes) {
    notify(TopologyChange{TopologyChange::Type::NodeAdded, infoOf(target, false), member});
  }
}

std::vector<DeviceId> Service::pluggedDevices() const {
  std::vector<DeviceId> ids;
  for (const ServiceDevice& each : devices_) {
    if (each.plugged) ids.push_back(each.id);
  }
  return ids;
}

std::vector<NodeId> Service::pluggedNodesOf(DeviceId id) const {
  std::vector<NodeId> ids;
  for (NodeId member : device(id).nodes) {
    if (node(member).plugged) ids.push_back(member);
  }
  return ids;
}

NodeId Service::findNode(const std::string& name) const {
  for (const ServiceNode& each : nodes_) {
    if (each.name == name) return each.id;
  }
  return -1;
}

DeviceId Service::findDevice(const std::string& name) const {
  for (const ServiceDevice& each : devices_) {
    if (each.name == name) return each.id;
  }
  return -1;
}

void Service::schedule(Nanoseconds at, std::function<void()> action) {
  TimedAction timed{at, nextActionOrder_++, std::move(action)};
  auto position = std::upper_bound(actions_.begin(), actions_.end(), timed,
                                   [](const TimedAction& a, const TimedAction& b) {
                                     return a.at < b.at || (a.at == b.at && a.order < b.order);
                                   });
  actions_.insert(position, std::move(timed));
}

bool Service::nextActionTime(Nanoseconds* time) const {
  if (actions_.empty()) return false;
  *time = actions_.front().at;
  return true;
}

void Service::runNextAction() {
  if (actions_.empty()) return;
  // Taken off the list before it runs, so an action may schedule more, and one that throws
  // does not run again.
  std::function<void()> action = std::move(actions_.front().action);
  actions_.erase(actions_.begin());
  action();
}

void Service::injectSample(NodeId id, const SampleRecord& sample) {
  const ServiceNode& target = node(id);
  if (target.kind != detail::kindOf(sample)) {
    throw ArgumentException("sample kind does not match " + target.name);
  }
  const std::vector<Attached> listeners = attached_;
  for (const Attached& each : listeners) each.listener->sampleInjected(id, sample);
}

}  // namespace detail
}  // namespace CamSdk
