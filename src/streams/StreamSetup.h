// Setting up a claimed node: its frame handler, its capture configuration and control of it.
//
// Each routine is handed the context, the node and the frame handler to connect to it. SDK
// failures while requesting control and configuring are reported as one line on standard
// output, and the routine returns normally so that the node is registered all the same.
#pragma once

#include "camera/CameraSdk.h"

void setupDepthStream(CamSdk::Context& context, CamSdk::DepthNode& node,
                      CamSdk::DepthNode::NewSampleReceivedEvent::Function onSample);
void setupColorStream(CamSdk::Context& context, CamSdk::ColorNode& node,
                      CamSdk::ColorNode::NewSampleReceivedEvent::Function onSample);
void setupAudioStream(CamSdk::Context& context, CamSdk::AudioNode& node,
                      CamSdk::AudioNode::NewSampleReceivedEvent::Function onSample);
