// Setting up a claimed node: its frame handler, its capture configuration and control of it.
//
// Each routine works on the node that claimNode has just stored in ViewerState. SDK failures
// while requesting control and configuring are reported as one line on standard output, and the
// routine returns normally so that the node is registered all the same.
#pragma once

void setupDepthStream();
void setupColorStream();
void setupAudioStream();
