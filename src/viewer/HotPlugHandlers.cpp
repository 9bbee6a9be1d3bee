#include "viewer/HotPlugHandlers.h"

#include <cstdio>

#include "viewer/NodeDispatch.h"
#include "viewer/ViewerState.h"

namespace {

// Forgets the held stream of kind N if `removed` is that very node. The kind is tested before
// the typed handle is taken, since as<N>() refuses a node of another kind.
template <class N>
void forgetIfHeld(const CamSdk::Node& removed, N& held) {
  if (removed.is<N>() && removed.as<N>() == held) held.unset();
}

}  // namespace

void connectNodeHandlers(CamSdk::Device& device) {
  device.nodeAddedEvent().connectFunction(handleNodeAdded);
  device.nodeRemovedEvent().connectFunction(handleNodeRemoved);
}

// Only one device is followed at a time; its nodes are claimed as their node-added events come.
void handleDeviceAdded(CamSdk::Context, CamSdk::Context::DeviceAddedData data) {
  if (ViewerState.deviceAttached) return;
  connectNodeHandlers(data.device);
  ViewerState.deviceAttached = true;
}

// Which device went is not looked at: held streams stay until their own nodes are removed.
void handleDeviceRemoved(CamSdk::Context, CamSdk::Context::DeviceRemovedData) {
  ViewerState.deviceAttached = false;
  std::printf("Device disconnected\n");
}

void handleNodeAdded(CamSdk::Device, CamSdk::Device::NodeAddedData data) { claimNode(data.node); }

// The stream is only forgotten, not unregistered: the node is gone already, and the next node
// of its kind that is offered will be claimed.
void handleNodeRemoved(CamSdk::Device, CamSdk::Device::NodeRemovedData data) {
  forgetIfHeld(data.node, ViewerState.audioStream);
  forgetIfHeld(data.node, ViewerState.colorStream);
  forgetIfHeld(data.node, ViewerState.depthStream);
  std::printf("Node disconnected\n");
}
