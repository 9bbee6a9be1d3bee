#include "viewer/StopSignals.h"
#include "viewer/ViewerState.h"

void leaveLoopOnStopSignal() {
  if (stopSignals::received() != 0) ViewerState.context.quit();
}
