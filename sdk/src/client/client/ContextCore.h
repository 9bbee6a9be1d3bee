// One context's client-side state: the devices and nodes it sees, the nodes it registered, the
// notifications and samples that arrived and still wait for its loop, and its own events. It is
// attached to one service for its whole life and gives back control of every node it holds when it
// goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "camsdk/Context.h"
#include "client/DeviceClient.h"
#include "client/NodeClient.h"
#include "client/ServicePort.h"

namespace CamSdk {
namespace detail {

class ContextCore final : public std::enable_shared_from_this<ContextCore>, private PortListener {
 public:
  explicit ContextCore(std::shared_ptr<ServicePort> service);
  ~ContextCore();
  ContextCore(const ContextCore&) = delete;
  ContextCore& operator=(const ContextCore&) = delete;

  ServicePort& service() const { return *service_; }
  void enter(detail::SdkOperation operation, const std::string& subject = {}) const {
    service_->enter(operation, subject);
  }

  Context::DeviceAddedEvent& deviceAddedEvent() { return deviceAdded_; }
  Context::DeviceRemovedEvent& deviceRemovedEvent() { return deviceRemoved_; }
  const std::vector<std::shared_ptr<DeviceClient>>& devices() const { return devices_; }

  void registerNode(const std::shared_ptr<NodeClient>& node);
  void unregisterNode(const std::shared_ptr<NodeClient>& node);
  void requestControl(const std::shared_ptr<NodeClient>& node);
  void releaseControl(const std::shared_ptr<NodeClient>& node);
  void startNodes();
  void stopNodes();
  void run();  // EventLoop.cpp
  void quit() { quitRequested_ = true; }

 private:
  // A hot-plug notification as it was raised; it keeps the client objects it names alive
  // until it has been delivered, even after the context has dropped them.
  struct Notice {
    TopologyChange::Type type;
    std::shared_ptr<DeviceClient> device;
    std::shared_ptr<NodeClient> node;
    Nanoseconds at;
  };
  struct PendingSample {
    std::shared_ptr<NodeClient> node;
    SampleRecord sample;
    Nanoseconds at;
  };
  // What the loop delivers next. Notifications first at the same instant.
  enum class Next { Notification, Sample };

  // Samples of one node that wait for a loop that fell behind; why 8: camsdk/Context.h.
  static constexpr std::size_t kMaxWaitingSamples = 8;

  void topologyChanged(const TopologyChange& change, Nanoseconds arrived) override;
  void sampleReceived(NodeId node, const SampleRecord& sample, Nanoseconds arrived) override;

  void ensureOwn(const std::shared_ptr<NodeClient>& node, const char* operation) const;
  std::shared_ptr<DeviceClient> findDevice(DeviceId id) const;
  void forgetNode(NodeId id);
  // Whether `node` is still one of this context's plugged nodes (not one that went since).
  bool isAttached(const NodeClient& node) const;

  // EventLoop.cpp.
  void refreshSubscriptions();
  bool findNext(Next* next) const;
  void deliver(Next next);
  void deliverNotice(const Notice& notice);

  std::shared_ptr<ServicePort> service_;
  ClientId id_;
  Context::DeviceAddedEvent deviceAdded_;
  Context::DeviceRemovedEvent deviceRemoved_;
  std::vector<std::shared_ptr<DeviceClient>> devices_;      // plugged, in the service's order
  std::vector<std::shared_ptr<NodeClient>> registrations_;  // in registration order
  std::deque<Notice> notices_;
  std::deque<PendingSample> injected_;
  bool started_ = false;
  bool running_ = false;
  bool quitRequested_ = false;
};

}  // namespace detail
}  // namespace CamSdk
