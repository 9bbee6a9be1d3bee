#include <cstdio>
#include <string>

#include "viewer/DisplayCheck.h"
#include "viewer/FailureGuard.h"
#include "viewer/FrameSizedBlocks.h"
#include "viewer/OutputLines.h"
#include "viewer/StopSignals.h"
#include "viewer/ViewerLifecycle.h"
#include "viewer/ViewerState.h"

// Test builds may point the program at another camera service.
#ifndef DV_CAMERA_SERVICE_HOST
#define DV_CAMERA_SERVICE_HOST kLocalCameraServiceHost
#endif

int main() {
  stopSignals::takeOver();
  sendEachLineAsPrinted();
  keepFrameSizedBlocksInHeap();

  const std::string noDisplay = whyNoDisplay();
  if (!noDisplay.empty()) {
    std::fprintf(stderr, "depth-viewer: no display could be opened: %s\n", noDisplay.c_str());
    return 1;
  }

  const int status = runReportingFailure([] { return runViewer(DV_CAMERA_SERVICE_HOST); });
  if (const int signal = stopSignals::received()) {
    // Ending by the signal skips what process exit would do: the handles go first.
    releaseViewerState();
    stopSignals::endAs(signal);
  }
  return status;
}
