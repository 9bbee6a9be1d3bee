#include "viewer/NodeDispatch.h"

#include "streams/StreamSetup.h"
#include "viewer/FrameHandlers.h"
#include "viewer/ViewerState.h"

// The three tests are independent, and within each the node is stored before its setup routine
// runs: the routine is handed the stored handle.
void claimNode(CamSdk::Node node) {
  if (node.is<CamSdk::DepthNode>() && !ViewerState.depthStream.isSet()) {
    ViewerState.depthStream = node.as<CamSdk::DepthNode>();
    setupDepthStream(ViewerState.context, ViewerState.depthStream, showDepthFrame);
    ViewerState.context.registerNode(node);
  }
  if (node.is<CamSdk::ColorNode>() && !ViewerState.colorStream.isSet()) {
    ViewerState.colorStream = node.as<CamSdk::ColorNode>();
    setupColorStream(ViewerState.context, ViewerState.colorStream, showColorFrame);
    ViewerState.context.registerNode(node);
  }
  if (node.is<CamSdk::AudioNode>() && !ViewerState.audioStream.isSet()) {
    ViewerState.audioStream = node.as<CamSdk::AudioNode>();
    setupAudioStream(ViewerState.context, ViewerState.audioStream, dropAudioSample);
    ViewerState.context.registerNode(node);
  }
}
