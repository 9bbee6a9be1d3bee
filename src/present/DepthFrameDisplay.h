// The depth display: shows each sample's depth map at the size its own frame format names,
// then polls the keyboard and leaves the key for the colour display. A colour window the person
// closed by the time of that poll asks the loop to stop: the viewer ends as soon as either
// display polls, also while no colour samples come.
#pragma once

#include "camera/CameraSdk.h"
#include "camera/LoopStop.h"

constexpr char kDepthWindowName[] = "Depth Camera";

namespace depthFrameDisplay {

void show(const CamSdk::DepthNode::NewSampleReceivedData& data, LoopStop stopLoop);

}  // namespace depthFrameDisplay
