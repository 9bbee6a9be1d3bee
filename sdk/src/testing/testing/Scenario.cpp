// The scenario control: a thin front on the simulated service of one host.
#include "camsdk/testing/Scenario.h"

#include "recording/RecordingReader.h"
#include "service/Service.h"
#include "sources/RecordingCamera.h"
#include "testing/ScenarioAccess.h"
#include "testing/ServiceFactory.h"
#include "testing/ServiceRegistry.h"

namespace CamSdk {
namespace testing {

Scenario Scenario::fresh(Topology topology, bool virtualClock, const std::string& host) {
  std::shared_ptr<detail::Service> service = detail::makeService(host, topology, virtualClock);
  detail::installService(host, service);
  return Scenario(std::move(service));
}

Scenario Scenario::current(const std::string& host) { return Scenario(detail::openService(host)); }

Scenario::Scenario(std::shared_ptr<detail::Service> service) : service_(std::move(service)) {}
Scenario::~Scenario() = default;
Scenario::Scenario(Scenario&&) noexcept = default;
Scenario& Scenario::operator=(Scenario&&) noexcept = default;

Nanoseconds Scenario::now() const { return service_->clock().now(); }

DeviceId Scenario::addDevice(const std::string& name, const std::vector<NodeKind>& nodes) {
  return service_->addDevice(name, nodes);
}
NodeId Scenario::addNode(DeviceId device, NodeKind kind) { return service_->addNode(device, kind); }
DeviceId Scenario::addRecording(const std::string& name, const std::string& path, bool loop) {
  try {
    return detail::addRecordingDevice(*service_, name, path, loop);
  } catch (const recording::ReadError& error) {
    throw IOException(error.what());
  }
}
void Scenario::unplugNode(NodeId node) { service_->unplugNode(node); }
void Scenario::plugNode(NodeId node) { service_->plugNode(node); }
void Scenario::unplugDevice(DeviceId device) { service_->unplugDevice(device); }
void Scenario::plugDevice(DeviceId device) { service_->plugDevice(device); }
std::vector<DeviceId> Scenario::devices() const { return service_->pluggedDevices(); }
std::vector<NodeId> Scenario::nodesOf(DeviceId device) const {
  return service_->pluggedNodesOf(device);
}
NodeId Scenario::findNode(const std::string& name) const { return service_->findNode(name); }
DeviceId Scenario::findDevice(const std::string& name) const { return service_->findDevice(name); }

namespace {
// A stored action holds the service weakly: the service owns the action, and a strong
// reference from it would keep the service alive for ever.
std::function<void()> onService(const std::shared_ptr<detail::Service>& service,
                                std::function<void(Scenario&)> action) {
  std::weak_ptr<detail::Service> weak = service;
  return [weak, action = std::move(action)] {
    if (std::shared_ptr<detail::Service> alive = weak.lock()) {
      Scenario scenario = detail::ScenarioAccess::make(std::move(alive));
      action(scenario);
    }
  };
}
}  // namespace

void Scenario::at(Nanoseconds at, std::function<void(Scenario&)> action) {
  service_->schedule(at, onService(service_, std::move(action)));
}

void Scenario::beforeCall(SdkOperation operation, int callsToPass,
                          std::function<void(Scenario&)> action) {
  service_->gate().beforeCall(operation, callsToPass, onService(service_, std::move(action)));
}

void Scenario::failNext(SdkOperation operation, ExceptionKind kind, int times,
                        const std::string& message) {
  service_->gate().failNext(operation, kind, times, message);
}
void Scenario::clearFaults() { service_->gate().clearFaults(); }

void Scenario::setDefaultConfiguration(NodeId node,
                                       const detail::NodeConfiguration& configuration) {
  service_->setDefaultConfiguration(node, configuration);
}

void Scenario::holdControlElsewhere(NodeId node, const std::string& clientName) {
  service_->holdControlElsewhere(node, clientName);
}

void Scenario::injectSample(NodeId node, const detail::SampleRecord& data) {
  service_->injectSample(node, data);
}

std::vector<std::string> Scenario::calls() const { return service_->gate().calls(); }
void Scenario::clearCalls() { service_->gate().clearCalls(); }
std::vector<std::uint8_t> Scenario::lastConfigurationBytes(NodeId node) const {
  return service_->lastConfigurationBytes(node);
}
float Scenario::inputMixerLevel(NodeId node) const { return service_->inputMixerLevel(node); }
int Scenario::samplesDelivered(NodeId node) const { return service_->samplesDelivered(node); }
long Scenario::liveBuffers() const { return service_->liveBuffers(); }

}  // namespace testing
}  // namespace CamSdk
