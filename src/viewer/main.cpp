#include "viewer/ViewerLifecycle.h"

int main() { return runViewerReportingFailure(kLocalCameraServiceHost); }
