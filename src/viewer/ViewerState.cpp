#include "viewer/ViewerState.h"

ViewerStateRecord ViewerState;

void releaseViewerState() {
  ViewerState.audioStream = CamSdk::AudioNode();
  ViewerState.colorStream = CamSdk::ColorNode();
  ViewerState.depthStream = CamSdk::DepthNode();
  ViewerState.context = CamSdk::Context();
}
