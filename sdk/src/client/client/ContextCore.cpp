#include "client/ContextCore.h"

#include <algorithm>

#include "camsdk/Exceptions.h"
#include "common/Overloaded.h"

namespace CamSdk {
namespace detail {

ContextCore::ContextCore(std::shared_ptr<ServicePort> service) : service_(std::move(service)) {
  id_ = service_->attach(*this);
  try {
    for (const DeviceInfo& info : service_->devices()) {
      auto device = std::make_shared<DeviceClient>(service_, info.id, info.name);
      for (const NodeInfo& node : info.nodes) {
        device->addNode(makeNodeClient(service_, id_, node));
      }
      devices_.push_back(std::move(device));
    }
  } catch (...) {
    // No destructor runs for a half-built context: leave no listener behind.
    service_->detach(id_);
    throw;
  }
}

// Touches only the service this context holds, never a static: contexts may go after main
// has returned.
ContextCore::~ContextCore() { service_->detach(id_); }

std::shared_ptr<DeviceClient> ContextCore::findDevice(DeviceId id) const {
  for (const auto& device : devices_) {
    if (device->id() == id) return device;
  }
  return nullptr;
}

void ContextCore::ensureOwn(const std::shared_ptr<NodeClient>& node, const char* operation) const {
  if (!node) throw ArgumentException(std::string(operation) + ": the node handle is unset");
  if (node->owner() != id_) {
    throw ArgumentException(std::string(operation) + ": " + node->name() +
                            " was listed by another context");
  }
}

// Registering a node that has gone does nothing and raises nothing: a program may register a
// node in the instant between its removal and the notice it has not handled yet. It is not
// kept either: the node plugged back is a new object with the same id, and a stale entry
// would stand beside the new one's.
void ContextCore::registerNode(const std::shared_ptr<NodeClient>& node) {
  ensureOwn(node, "registerNode");
  if (!isAttached(*node)) return;
  if (std::find(registrations_.begin(), registrations_.end(), node) != registrations_.end()) return;
  registrations_.push_back(node);
}

bool ContextCore::isAttached(const NodeClient& node) const {
  for (const auto& device : devices_) {
    for (const auto& each : device->nodes()) {
      if (each.get() == &node) return true;
    }
  }
  return false;
}

void ContextCore::unregisterNode(const std::shared_ptr<NodeClient>& node) {
  ensureOwn(node, "unregisterNode");
  service_->subscribe(id_, node->id(), 0);
  registrations_.erase(std::remove(registrations_.begin(), registrations_.end(), node),
                       registrations_.end());
  injected_.erase(std::remove_if(injected_.begin(), injected_.end(),
                                 [&node](const PendingSample& each) { return each.node == node; }),
                  injected_.end());
}

void ContextCore::requestControl(const std::shared_ptr<NodeClient>& node) {
  ensureOwn(node, "requestControl");
  service_->requestControl(id_, node->id());
}

void ContextCore::releaseControl(const std::shared_ptr<NodeClient>& node) {
  ensureOwn(node, "releaseControl");
  service_->releaseControl(id_, node->id());
}

// The loop subscribes to what the started nodes want on its next turn.
void ContextCore::startNodes() { started_ = true; }

// Streams nobody watches stop in the service, and start again from sample 0.
void ContextCore::stopNodes() {
  started_ = false;
  for (const auto& node : registrations_) service_->subscribe(id_, node->id(), 0);
}

void ContextCore::forgetNode(NodeId id) {
  registrations_.erase(
      std::remove_if(registrations_.begin(), registrations_.end(),
                     [id](const std::shared_ptr<NodeClient>& each) { return each->id() == id; }),
      registrations_.end());
  injected_.erase(std::remove_if(injected_.begin(), injected_.end(),
                                 [id](const PendingSample& each) { return each.node->id() == id; }),
                  injected_.end());
}

void ContextCore::topologyChanged(const TopologyChange& change, Nanoseconds arrived) {
  switch (change.type) {
    case TopologyChange::Type::NodeRemoved: {
      std::shared_ptr<DeviceClient> device = findDevice(change.device.id);
      if (!device) return;
      std::shared_ptr<NodeClient> node = device->removeNode(change.node.id);
      if (!node) return;
      // A removed node stops streaming at once.
      forgetNode(change.node.id);
      notices_.push_back(Notice{change.type, std::move(device), std::move(node), arrived});
      return;
    }
    case TopologyChange::Type::DeviceRemoved: {
      std::shared_ptr<DeviceClient> device = findDevice(change.device.id);
      if (!device) return;
      devices_.erase(std::find(devices_.begin(), devices_.end(), device));
      for (const auto& node : device->nodes()) forgetNode(node->id());
      notices_.push_back(Notice{change.type, std::move(device), nullptr, arrived});
      return;
    }
    case TopologyChange::Type::DeviceAdded: {
      if (findDevice(change.device.id)) return;
      auto device = std::make_shared<DeviceClient>(service_, change.device.id, change.device.name);
      // Its nodes join with the node-added notifications that follow.
      auto position = std::upper_bound(
          devices_.begin(), devices_.end(), change.device.id,
          [](DeviceId id, const std::shared_ptr<DeviceClient>& held) { return id < held->id(); });
      devices_.insert(position, device);
      notices_.push_back(Notice{change.type, std::move(device), nullptr, arrived});
      return;
    }
    case TopologyChange::Type::NodeAdded: {
      std::shared_ptr<DeviceClient> device = findDevice(change.device.id);
      if (!device) return;
      auto node = makeNodeClient(service_, id_, change.node);
      device->addNode(node);
      notices_.push_back(Notice{change.type, std::move(device), std::move(node), arrived});
      return;
    }
  }
}

void ContextCore::sampleReceived(NodeId node, const SampleRecord& sample, Nanoseconds arrived) {
  for (const auto& each : registrations_) {
    if (each->id() != node) continue;
    // A sample of another kind than its node (from a service not to be believed) would reach
    // handlers that cannot read it.
    if (each->kind() != kindOf(sample)) return;
    PendingSample pending{each, sample, arrived};
    // A loop that falls behind keeps only the newest few samples of a node: the oldest one
    // waiting is dropped and counted in the newcomer's droppedSampleCount.
    std::size_t waiting = 0;
    for (const PendingSample& queued : injected_) waiting += queued.node->id() == node ? 1 : 0;
    if (waiting >= kMaxWaitingSamples) {
      auto oldest = std::find_if(injected_.begin(), injected_.end(),
                                 [node](const PendingSample& p) { return p.node->id() == node; });
      const std::int32_t lost =
          std::visit([](const auto& record) { return record.droppedSampleCount; }, oldest->sample);
      std::visit([lost](auto& record) { record.droppedSampleCount += lost + 1; }, pending.sample);
      injected_.erase(oldest);
    }
    injected_.push_back(std::move(pending));
    return;
  }
}

}  // namespace detail
}  // namespace CamSdk
