#include "viewer/FailureGuard.h"
#include "viewer/FrameSizedBlocks.h"
#include "viewer/ViewerLifecycle.h"

// Test builds may point the program at another camera service.
#ifndef DV_CAMERA_SERVICE_HOST
#define DV_CAMERA_SERVICE_HOST kLocalCameraServiceHost
#endif

int main() {
  keepFrameSizedBlocksInHeap();
  return runReportingFailure([] { return runViewer(DV_CAMERA_SERVICE_HOST); });
}
