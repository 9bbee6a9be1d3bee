// The audio stream's frame handler: audio is claimed so that no other client takes it, and
// each sample is accepted and dropped.
#pragma once

#include "camera/CameraSdk.h"

void dropAudioSample(CamSdk::AudioNode node, CamSdk::AudioNode::NewSampleReceivedData data);
