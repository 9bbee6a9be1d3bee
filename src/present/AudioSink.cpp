#include "present/AudioSink.h"

#include "viewer/StopSignals.h"

// Nothing of the sample is used; like every frame handler it lets a stop signal end the loop.
void dropAudioSample(CamSdk::AudioNode /*node*/,
                     CamSdk::AudioNode::NewSampleReceivedData /*data*/) {
  leaveLoopOnStopSignal();
}
