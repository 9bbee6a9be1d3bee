// The viewer's one global record: the open context, the node held for each stream kind, and
// whether a device's node events are wired to the hot-plug handlers.
//
// Handlers share it without locks: the SDK calls them one at a time from Context::run(), and
// the entry function touches it only before run() and after run() returns. The members are
// destroyed at process exit in reverse order: audio, colour, depth, and the context last.
#pragma once

#include "camera/CameraSdk.h"

struct ViewerStateRecord {
  CamSdk::Context context;
  CamSdk::DepthNode depthStream;
  CamSdk::ColorNode colorStream;
  CamSdk::AudioNode audioStream;
  bool deviceAttached = false;
};

extern ViewerStateRecord ViewerState;

// Releases the handles as process exit would, audio, colour, depth and the context last, for a
// process that is about to end without exit's destructors.
void releaseViewerState();
