// Names of the SDK operations and exception kinds, as the call log and scenario files use them.
#include <utility>

#include "common/SdkOperation.h"

namespace CamSdk {
namespace detail {

namespace {

const std::pair<SdkOperation, const char*> kOperationNames[] = {
    {SdkOperation::ContextCreate, "Context::create"},
    {SdkOperation::ContextDeviceAddedEvent, "Context::deviceAddedEvent"},
    {SdkOperation::ContextDeviceRemovedEvent, "Context::deviceRemovedEvent"},
    {SdkOperation::ContextGetDevices, "Context::getDevices"},
    {SdkOperation::ContextRegisterNode, "Context::registerNode"},
    {SdkOperation::ContextUnregisterNode, "Context::unregisterNode"},
    {SdkOperation::ContextRequestControl, "Context::requestControl"},
    {SdkOperation::ContextStartNodes, "Context::startNodes"},
    {SdkOperation::ContextStopNodes, "Context::stopNodes"},
    {SdkOperation::ContextRun, "Context::run"},
    {SdkOperation::ContextQuit, "Context::quit"},
    {SdkOperation::DeviceNodeAddedEvent, "Device::nodeAddedEvent"},
    {SdkOperation::DeviceNodeRemovedEvent, "Device::nodeRemovedEvent"},
    {SdkOperation::DeviceGetNodes, "Device::getNodes"},
    {SdkOperation::NodeIs, "Node::is"},
    {SdkOperation::NodeAs, "Node::as"},
    {SdkOperation::NodeUnset, "Node::unset"},
    {SdkOperation::NodeNewSampleReceivedEvent, "Node::newSampleReceivedEvent"},
    {SdkOperation::NodeGetConfiguration, "Node::getConfiguration"},
    {SdkOperation::NodeSetConfiguration, "Node::setConfiguration"},
    {SdkOperation::DepthSetEnableDepthMap, "DepthNode::setEnableDepthMap"},
    {SdkOperation::DepthSetEnableVertices, "DepthNode::setEnableVertices"},
    {SdkOperation::ColorSetEnableColorMap, "ColorNode::setEnableColorMap"},
    {SdkOperation::AudioSetInputMixerLevel, "AudioNode::setInputMixerLevel"},
    {SdkOperation::ContextReleaseControl, "Context::releaseControl"},
};

const ExceptionKind kKinds[] = {
    ExceptionKind::Argument,         ExceptionKind::UnauthorizedAccess, ExceptionKind::IO,
    ExceptionKind::InvalidOperation, ExceptionKind::Configuration,      ExceptionKind::Streaming,
    ExceptionKind::Timeout,
};

}  // namespace

const char* operationName(SdkOperation operation) noexcept {
  for (const auto& entry : kOperationNames) {
    if (entry.first == operation) return entry.second;
  }
  return "UnknownOperation";
}

bool operationFromName(const std::string& name, SdkOperation* operation) {
  for (const auto& entry : kOperationNames) {
    if (name == entry.second) {
      if (operation != nullptr) *operation = entry.first;
      return true;
    }
  }
  return false;
}

bool exceptionKindFromName(const std::string& name, ExceptionKind* kind) {
  for (ExceptionKind each : kKinds) {
    if (name == exceptionKindName(each)) {
      if (kind != nullptr) *kind = each;
      return true;
    }
  }
  return false;
}

const std::vector<SdkOperation>& allOperations() {
  // Built once on first use and never destroyed, so it is usable at any time, exit included.
  static const std::vector<SdkOperation>* const operations = [] {
    auto* all = new std::vector<SdkOperation>;
    for (const auto& entry : kOperationNames) all->push_back(entry.first);
    return all;
  }();
  return *operations;
}

}  // namespace detail
}  // namespace CamSdk
