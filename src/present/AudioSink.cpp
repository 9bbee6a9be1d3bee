#include "present/AudioSink.h"

void dropAudioSample(CamSdk::AudioNode /*node*/,
                     CamSdk::AudioNode::NewSampleReceivedData /*data*/) {}
