// The frame handlers the viewer connects to its streams: each lets a stop signal end the loop,
// then hands the sample to its display with the viewer's way to stop the loop. Audio is
// claimed so that no other client takes it, and each of its samples is accepted and dropped.
#pragma once

#include "camera/CameraSdk.h"

void showDepthFrame(CamSdk::DepthNode node, CamSdk::DepthNode::NewSampleReceivedData data);
void showColorFrame(CamSdk::ColorNode node, CamSdk::ColorNode::NewSampleReceivedData data);
void dropAudioSample(CamSdk::AudioNode node, CamSdk::AudioNode::NewSampleReceivedData data);

// The viewer's way to stop the loop: asks its context to quit.
void quitViewerLoop();
