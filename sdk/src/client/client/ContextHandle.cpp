// The public Context operations: each passes the service's entry check, then acts on the
// context's client-side state.
#include "camsdk/Context.h"
#include "camsdk/Exceptions.h"
#include "client/ContextCore.h"
#include "client/HandleAccess.h"
#include "client/ServiceClient.h"

namespace CamSdk {

using SdkOperation = detail::SdkOperation;

namespace {

std::string nameOf(const Node& node) {
  const auto& client = detail::HandleAccess::client(node);
  return client ? client->name() : std::string("(unset)");
}

}  // namespace

Context Context::create(const std::string& host) {
  std::shared_ptr<detail::ServicePort> service = detail::ServiceClient::open(host);
  service->enter(SdkOperation::ContextCreate, host);
  return Context(std::make_shared<detail::ContextCore>(std::move(service)));
}

detail::ContextCore& Context::core() const {
  if (!core_) throw InvalidOperationException("the context handle is unset");
  return *core_;
}

Context::DeviceAddedEvent& Context::deviceAddedEvent() {
  detail::ContextCore& context = core();
  context.enter(SdkOperation::ContextDeviceAddedEvent);
  return context.deviceAddedEvent();
}

Context::DeviceRemovedEvent& Context::deviceRemovedEvent() {
  detail::ContextCore& context = core();
  context.enter(SdkOperation::ContextDeviceRemovedEvent);
  return context.deviceRemovedEvent();
}

List<Device> Context::_p_getDevices() const {
  detail::ContextCore& context = core();
  context.enter(SdkOperation::ContextGetDevices);
  std::vector<Device> devices;
  devices.reserve(context.devices().size());
  for (const auto& device : context.devices()) {
    devices.push_back(detail::HandleAccess::device(device));
  }
  return List<Device>(std::move(devices));
}

void Context::registerNode(Node node) {
  detail::ContextCore& context = core();
  context.enter(SdkOperation::ContextRegisterNode, nameOf(node));
  context.registerNode(detail::HandleAccess::client(node));
}

void Context::unregisterNode(Node node) {
  detail::ContextCore& context = core();
  context.enter(SdkOperation::ContextUnregisterNode, nameOf(node));
  context.unregisterNode(detail::HandleAccess::client(node));
}

// The service answers at once; a single-threaded caller could not be answered otherwise, so
// `timeoutMs` only has to be non-negative.
void Context::requestControl(Node node, std::int32_t timeoutMs) {
  detail::ContextCore& context = core();
  context.enter(SdkOperation::ContextRequestControl, nameOf(node));
  if (timeoutMs < 0) throw ArgumentException("requestControl: negative time-out");
  context.requestControl(detail::HandleAccess::client(node));
}

void Context::releaseControl(Node node) {
  detail::ContextCore& context = core();
  context.enter(SdkOperation::ContextReleaseControl, nameOf(node));
  context.releaseControl(detail::HandleAccess::client(node));
}

void Context::startNodes() {
  detail::ContextCore& context = core();
  context.enter(SdkOperation::ContextStartNodes);
  context.startNodes();
}

void Context::stopNodes() {
  detail::ContextCore& context = core();
  context.enter(SdkOperation::ContextStopNodes);
  context.stopNodes();
}

void Context::run() {
  detail::ContextCore& context = core();
  context.enter(SdkOperation::ContextRun);
  context.run();
}

void Context::quit() {
  detail::ContextCore& context = core();
  context.enter(SdkOperation::ContextQuit);
  context.quit();
}

}  // namespace CamSdk
