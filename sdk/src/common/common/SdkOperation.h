// The SDK's public operations by name: every one passes the service's entry check, which logs
// it as "Operation subject" and raises a fault a test armed for it. The client names the
// operation it enters, the protocol carries its number, the service's call gate logs and fails
// it, and scenario files name it.
#pragma once

#include <string>
#include <vector>

#include "camsdk/Exceptions.h"

namespace CamSdk {
namespace detail {

enum class SdkOperation {
  ContextCreate,
  ContextDeviceAddedEvent,
  ContextDeviceRemovedEvent,
  ContextGetDevices,
  ContextRegisterNode,
  ContextUnregisterNode,
  ContextRequestControl,
  ContextStartNodes,
  ContextStopNodes,
  ContextRun,
  ContextQuit,
  DeviceNodeAddedEvent,
  DeviceNodeRemovedEvent,
  DeviceGetNodes,
  NodeIs,
  NodeAs,
  NodeUnset,
  NodeNewSampleReceivedEvent,
  NodeGetConfiguration,
  NodeSetConfiguration,
  DepthSetEnableDepthMap,
  DepthSetEnableVertices,
  ColorSetEnableColorMap,
  AudioSetInputMixerLevel,
  ContextReleaseControl,
};

// "Context::create", "Node::setConfiguration", ... and back; false for an unknown name.
const char* operationName(SdkOperation operation) noexcept;
bool operationFromName(const std::string& name, SdkOperation* operation);
bool exceptionKindFromName(const std::string& name, ExceptionKind* kind);
const std::vector<SdkOperation>& allOperations();

}  // namespace detail
}  // namespace CamSdk
