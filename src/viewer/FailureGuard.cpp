#include <cstdio>
#include <exception>

#include "camera/CameraSdk.h"
#include "viewer/ViewerLifecycle.h"

// Nothing else in the program catches these, so without this guard an SDK failure (no camera
// service, a failing start or stop) would end in a bare terminate. Any other exception is just
// as fatal and gets the same one-line treatment; only its kind cannot be named.
int runViewerReportingFailure(const std::string& host) {
  try {
    return runViewer(host);
  } catch (const CamSdk::Exception& failure) {
    std::fprintf(stderr, "depth-viewer: %s: %s\n", failure.kindName(), failure.what());
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "depth-viewer: unexpected failure: %s\n", failure.what());
  } catch (...) {
    std::fprintf(stderr, "depth-viewer: unexpected failure of unknown kind\n");
  }
  return 1;
}
