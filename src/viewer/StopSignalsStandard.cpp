// The stop signals with the C++ library alone, where there is no POSIX signal mask: a handler
// notes the signal and the frame handlers leave the loop at the next frame. When nothing
// streams the signal waits for the next frame.
#include <atomic>
#include <csignal>
#include <cstdlib>

#include "viewer/StopSignals.h"

namespace stopSignals {
namespace {

std::atomic<int> receivedSignal{0};

extern "C" void noteSignal(int signal) { receivedSignal = signal; }

}  // namespace

void takeOver() {
  std::signal(SIGINT, noteSignal);
  std::signal(SIGTERM, noteSignal);
}

int received() { return receivedSignal; }

void loopLeft() {}

void endAs(int signal) {
  std::signal(signal, SIG_DFL);
  std::raise(signal);
  std::_Exit(128 + signal);  // not reached: the signal ends the process
}

}  // namespace stopSignals
