// The viewer with the simulated camera service in its own process, as it ran before the
// service became a program of its own: the same viewer code, but Context::create("localhost")
// finds the service this program put in place and reaches it without sockets, producing each
// sample on the viewer's thread when it is due. scripts/bench-viewer-cpu.sh compares the
// viewer with a separate camsdk-service against this.
#include "camsdk/testing/Scenario.h"
#include "viewer/FailureGuard.h"
#include "viewer/FrameSizedBlocks.h"
#include "viewer/ViewerLifecycle.h"

int main() {
  keepFrameSizedBlocksInHeap();
  // Held for the whole run: the service in place for "localhost" lives while this does.
  const CamSdk::testing::Scenario local =
      CamSdk::testing::Scenario::current(kLocalCameraServiceHost);
  return runReportingFailure([] { return runViewer(kLocalCameraServiceHost); });
}
