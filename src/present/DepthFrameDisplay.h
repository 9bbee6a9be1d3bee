// The depth stream's frame handler: shows each sample's depth map at the size its own frame
// format names, then polls the keyboard and leaves the key for the colour display.
#pragma once

#include "camera/CameraSdk.h"

constexpr char kDepthWindowName[] = "Depth Camera";

void showDepthFrame(CamSdk::DepthNode node, CamSdk::DepthNode::NewSampleReceivedData data);
