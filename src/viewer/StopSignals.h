// Stopping the viewer with SIGINT (Ctrl-C) or SIGTERM (kill, a supervisor) the way q stops it:
// the loop is left, the nodes are stopped and the held streams given back, and then the process
// ends by that same signal, so that a shell or a supervisor sees what stopped it (status 130 or
// 143 in a shell) and a script that ran the viewer stops too.
//
// Platform code: StopSignalsPosix.cpp; StopSignalsWindows.cpp (console events: Ctrl-C, closing
// the console; the process ends with STATUS_CONTROL_C_EXIT, as by Windows' own handler); or
// StopSignalsStandard.cpp with only the C++ library.
#pragma once

namespace stopSignals {

// Takes SIGINT and SIGTERM over from their default action. Call first in main, before any
// thread exists, so that every thread started later leaves them to the viewer.
void takeOver();

// The stop signal received so far, or 0. Safe to call from any thread, and cheap enough for
// every frame.
int received();

// The event loop has returned: the shut-down that follows is left to finish.
void loopLeft();

// Ends the process as `signal` ends it by default.
[[noreturn]] void endAs(int signal);

}  // namespace stopSignals

// Asks the context to quit when a stop signal was received; the frame handlers call this, so
// that a running viewer leaves its loop within one frame.
void leaveLoopOnStopSignal();
