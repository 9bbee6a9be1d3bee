// The simulated camera service of one host: devices and nodes that can be plugged and
// unplugged, their configurations and control, frame production, the clock, timed actions,
// the fault table and the call log. Clients reach it through the service host; tests drive the rest
// through testing::Scenario.
//
// The service never touches a static: it may be destroyed after main returns, with the last
// context or node handle that keeps it alive.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "camsdk/Exceptions.h"
#include "common/NodeConfiguration.h"
#include "common/ServiceListener.h"
#include "service/CallGate.h"
#include "service/CameraSource.h"
#include "service/Clock.h"

namespace CamSdk {
namespace detail {

class Service final {
 public:
  // Devices added by name and kinds come from `cameras`.
  Service(std::string host, std::unique_ptr<Clock> clock, std::shared_ptr<CameraSource> cameras);
  ~Service();
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  const std::string& host() const { return host_; }
  // How other clients see `client` when it holds a node they ask for.
  void nameClient(ClientId client, const std::string& name);
  NodeKind kindOf(NodeId node) const;

  // What clients ask, through a session of the service host (server/ServiceHost).
  ClientId attach(ServiceListener& listener);
  void detach(ClientId client) noexcept;
  void enter(detail::SdkOperation operation, const std::string& subject);
  std::vector<DeviceInfo> devices() const;
  bool isPlugged(NodeId node) const;
  void requestControl(ClientId client, NodeId node);
  void releaseControl(ClientId client, NodeId node);
  // The node's configuration record, byte for byte as it was set; none for a node of no
  // streamed kind.
  NodeConfiguration configuration(NodeId node) const;
  void setConfiguration(ClientId client, NodeId node, const NodeConfiguration& configuration);
  void setInputMixerLevel(ClientId client, NodeId node, float level);
  std::int32_t samplesPerSecond(NodeId node) const;
  // Sample `index` of a paced node at its configuration now, with the wanted maps (MapFlag
  // bits); see NodeSource::sample.
  SampleRecord sample(NodeId node, std::int64_t index, std::uint8_t maps);
  void noteDelivered(NodeId node);
  Clock& clock() { return *clock_; }
  bool nextActionTime(Nanoseconds* time) const;
  void runNextAction();

  // Topology, for the scenario control. Devices and nodes keep their ids when unplugged.
  DeviceId addDevice(const std::string& name, const std::vector<NodeKind>& kinds);
  // A device whose nodes bring their own samples (a capture device's files), plugged at once.
  struct SourcedNode {
    NodeKind kind;
    std::unique_ptr<NodeSource> frames;
  };
  DeviceId addDevice(const std::string& name, std::vector<SourcedNode> nodes);
  NodeId addNode(DeviceId device, NodeKind kind, std::unique_ptr<NodeSource> frames);
  NodeId addNode(DeviceId device, NodeKind kind);
  // A device whose nodes come from `source` instead (a recording), in the order of `kinds`.
  DeviceId addDevice(const std::string& name, const std::vector<NodeKind>& kinds,
                     const std::shared_ptr<CameraSource>& source);
  // The node's own sample times, or null when it streams at its configured rate.
  SampleTimeline* timeline(NodeId node);
  void unplugNode(NodeId node);
  void plugNode(NodeId node);
  void unplugDevice(DeviceId device);
  void plugDevice(DeviceId device);
  std::vector<DeviceId> pluggedDevices() const;
  std::vector<NodeId> pluggedNodesOf(DeviceId device) const;
  NodeId findNode(const std::string& name) const;
  DeviceId findDevice(const std::string& name) const;

  void schedule(Nanoseconds at, std::function<void()> action);
  CallGate& gate() { return gate_; }
  const CallGate& gate() const { return gate_; }

  void setDefaultConfiguration(NodeId node, const NodeConfiguration& configuration);
  void holdControlElsewhere(NodeId node, const std::string& clientName);
  void injectSample(NodeId node, const SampleRecord& sample);

  // Sources whose cameras come and go and whose samples come at the cameras' pace. The loop
  // that serves the service also waits on their descriptors and pumps them each turn.
  void addLiveSource(std::shared_ptr<LiveSource> source);
  std::vector<int> waitDescriptors() const;
  void pumpSources();
  bool isLive(NodeId node) const;
  void startCapture(NodeId node);
  void stopCapture(NodeId node);
  std::optional<CapturedSample> takeCaptured(NodeId node, bool vertices);

  std::vector<std::uint8_t> lastConfigurationBytes(NodeId node) const;
  float inputMixerLevel(NodeId node) const;
  int samplesDelivered(NodeId node) const;
  long liveBuffers() const;

 private:
  struct ServiceNode {
    NodeId id;
    DeviceId device;
    NodeKind kind;
    std::string name;
    bool plugged = true;
    NodeConfiguration configuration;
    std::vector<std::uint8_t> lastConfigurationBytes;
    float inputMixerLevel = 1.0f;
    ClientId controller = kNobody;
    int samplesDelivered = 0;
    std::unique_ptr<NodeSource> frames;
  };
  struct ServiceDevice {
    DeviceId id;
    std::string name;
    bool plugged = true;
    std::vector<NodeId> nodes;
  };
  struct TimedAction {
    Nanoseconds at;
    std::uint64_t order;
    std::function<void()> action;
  };
  struct Attached {
    ClientId id;
    ServiceListener* listener;
  };

  static constexpr ClientId kNobody = 0;

  ServiceNode& node(NodeId id);
  const ServiceNode& node(NodeId id) const;
  ServiceDevice& device(DeviceId id);
  const ServiceDevice& device(DeviceId id) const;
  bool visible(const ServiceNode& node) const;
  NodeInfo infoOf(const ServiceNode& node) const;
  DeviceInfo infoOf(const ServiceDevice& device, bool withNodes) const;
  ServiceNode& controlledNode(ClientId client, NodeId id, NodeKind kind);
  static StreamingException gone(const ServiceNode& target);
  void accept(ServiceNode& target, const NodeConfiguration& configuration);
  void letGo(ServiceNode& target);
  void notify(const TopologyChange& change);
  std::string clientName(ClientId client) const;

  std::string host_;
  std::unique_ptr<Clock> clock_;
  std::shared_ptr<CameraSource> cameras_;
  CallGate gate_;
  std::vector<ServiceDevice> devices_;  // index = id
  std::vector<ServiceNode> nodes_;      // index = id
  std::vector<Attached> attached_;
  std::map<ClientId, std::string> clientNames_;
  ClientId nextClient_ = 1;
  std::vector<TimedAction> actions_;  // kept sorted by (at, order)
  std::uint64_t nextActionOrder_ = 0;
  // Last, so they go before the nodes whose sources they pump.
  std::vector<std::shared_ptr<LiveSource>> liveSources_;
};

}  // namespace detail
}  // namespace CamSdk
