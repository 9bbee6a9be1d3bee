#include "viewer/FrameHandlers.h"

#include "present/ColorFrameDisplay.h"
#include "present/DepthFrameDisplay.h"
#include "viewer/StopSignals.h"
#include "viewer/ViewerState.h"

void quitViewerLoop() { ViewerState.context.quit(); }

void showDepthFrame(CamSdk::DepthNode /*node*/, CamSdk::DepthNode::NewSampleReceivedData data) {
  leaveLoopOnStopSignal();
  depthFrameDisplay::show(data, quitViewerLoop);
}

void showColorFrame(CamSdk::ColorNode /*node*/, CamSdk::ColorNode::NewSampleReceivedData data) {
  leaveLoopOnStopSignal();
  colorFrameDisplay::show(data, quitViewerLoop);
}

void dropAudioSample(CamSdk::AudioNode /*node*/,
                     CamSdk::AudioNode::NewSampleReceivedData /*data*/) {
  leaveLoopOnStopSignal();
}
