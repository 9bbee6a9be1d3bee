// The stop requests of a Windows console: Ctrl-C and Ctrl-Break, closing the console window,
// logging off and shutting down. Windows calls the handler in a thread of its own. The request
// is noted as SIGINT (Ctrl-C, Ctrl-Break) or SIGTERM (the others) and the frame handlers leave
// the loop at the next frame, as q does; when nothing streams (no camera, the service away),
// the process ends after a grace period. A second request ends it at once. Windows ends the
// process as soon as the handler returns from a close, logoff or shutdown event (and a few
// seconds after it regardless), so for those the handler holds on until the viewer has given
// its streams back and ended the process itself.
#include <windows.h>

#include <atomic>
#include <csignal>

#include "viewer/StopSignals.h"

namespace stopSignals {
namespace {

// Frames come every 40 ms while anything streams; a second without one means nothing does.
constexpr DWORD kGraceMilliseconds = 1000;
constexpr DWORD kSliceMilliseconds = 50;
// Windows ends the process about five seconds after a close event; the handler is done
// before that, and the viewer's own end comes first while it waits.
constexpr DWORD kCloseHoldMilliseconds = 4000;

std::atomic<int> receivedSignal{0};
std::atomic<bool> loopWasLeft{false};

bool endsTheProcessOnReturn(DWORD event) {
  return event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
}

BOOL WINAPI onConsoleEvent(DWORD event) {
  const int signal = (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) ? SIGINT : SIGTERM;
  int earlier = 0;
  if (!receivedSignal.compare_exchange_strong(earlier, signal)) endAs(earlier);
  for (DWORD waited = 0; !loopWasLeft && waited < kGraceMilliseconds; waited += kSliceMilliseconds) {
    Sleep(kSliceMilliseconds);
  }
  if (!loopWasLeft) endAs(signal);
  if (endsTheProcessOnReturn(event)) Sleep(kCloseHoldMilliseconds);
  return TRUE;
}

}  // namespace

void takeOver() { SetConsoleCtrlHandler(onConsoleEvent, TRUE); }

int received() { return receivedSignal; }

void loopLeft() { loopWasLeft = true; }

// As Windows' own handler ends a console program on these events.
void endAs(int) { ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT)); }

}  // namespace stopSignals
