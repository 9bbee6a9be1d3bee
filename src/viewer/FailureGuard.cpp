#include "viewer/FailureGuard.h"

#include <cstdio>
#include <exception>

#include "camera/CameraSdk.h"

// Without this guard an SDK failure outside the setup routines (no camera service, a failing
// start or stop) would end in a bare terminate. Any other exception is just as fatal and gets
// the same one-line treatment; only its kind cannot be named.
int runReportingFailure(const std::function<int()>& body) {
  try {
    return body();
  } catch (const CamSdk::Exception& failure) {
    std::fprintf(stderr, "depth-viewer: %s: %s\n", failure.kindName(), failure.what());
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "depth-viewer: unexpected failure: %s\n", failure.what());
  } catch (...) {
    std::fprintf(stderr, "depth-viewer: unexpected failure of unknown kind\n");
  }
  return 1;
}
