// How the service is asked to stop, so that it says goodbye to its clients first.
//
// Platform code: ServiceStopPosix.cpp (SIGINT, SIGTERM) and ServiceStopWindows.cpp (Ctrl-C,
// Ctrl-Break, closing the console, logging off, shutting down).
#pragma once

#include <atomic>

namespace CamSdk {
namespace service_program {

// From now on a stop request sets `stop`. Call once; `stop` must live as long as the process.
void stopWhenAsked(std::atomic<bool>& stop);

}  // namespace service_program
}  // namespace CamSdk
