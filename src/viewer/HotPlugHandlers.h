// Following devices and nodes that come and go while the event loop runs.
#pragma once

#include "camera/CameraSdk.h"

void handleDeviceAdded(CamSdk::Context context, CamSdk::Context::DeviceAddedData data);
void handleDeviceRemoved(CamSdk::Context context, CamSdk::Context::DeviceRemovedData data);
void handleNodeAdded(CamSdk::Device device, CamSdk::Device::NodeAddedData data);
void handleNodeRemoved(CamSdk::Device device, CamSdk::Device::NodeRemovedData data);

// Wires a device's node events to the node handlers above.
void connectNodeHandlers(CamSdk::Device& device);
