#include <windows.h>

#include "ServiceStop.h"

namespace CamSdk {
namespace service_program {
namespace {

std::atomic<bool>* stopFlag = nullptr;

// Windows ends the process once the handler returns from a close, logoff or shutdown event,
// and about five seconds after it regardless: the handler holds on for the goodbye, and the
// service's own end comes first.
constexpr DWORD kCloseHoldMilliseconds = 4000;

BOOL WINAPI onConsoleEvent(DWORD event) {
  stopFlag->store(true);
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) Sleep(kCloseHoldMilliseconds);
  return TRUE;
}

}  // namespace

void stopWhenAsked(std::atomic<bool>& stop) {
  stopFlag = &stop;
  SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

}  // namespace service_program
}  // namespace CamSdk
