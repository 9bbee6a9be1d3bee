#include "ProgramRun.h"

#include <gtest/gtest.h>

#include "viewer/FailureGuard.h"
#include "viewer/ViewerLifecycle.h"
#include "viewer/ViewerState.h"

namespace reliability {

ProgramRun runProgramAsMainDoes() {
  ProgramRun run;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  run.status = runReportingFailure([] { return runViewer(kLocalCameraServiceHost); });
  run.errors = testing::internal::GetCapturedStderr();
  run.output = testing::internal::GetCapturedStdout();
  return run;
}

void releaseViewerState() { ViewerState = ViewerStateRecord{}; }

}  // namespace reliability
