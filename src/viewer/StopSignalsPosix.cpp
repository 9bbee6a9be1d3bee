// The stop signals on a POSIX system. They stay blocked in every thread, so that no system call
// of the window library or of the camera transport is cut short by them, and one thread of
// their own takes them with sigwait. The frame handlers see the signal at the next frame and
// leave the loop; only when no handler runs (nothing streams: no camera, the service away) is
// there nothing to hand back, and the process ends by the signal after a grace period. A
// second signal ends it at once.
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <thread>

#include "viewer/StopSignals.h"

namespace stopSignals {
namespace {

// Frames come every 40 ms while anything streams; a second without one means nothing does.
constexpr std::chrono::milliseconds kGrace{1000};
constexpr long kSliceNanoseconds = 50'000'000;

std::atomic<int> receivedSignal{0};
std::atomic<bool> loopWasLeft{false};

sigset_t stopSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

// A second signal, waited for a short while.
bool anotherSignal(const sigset_t& set) {
  const timespec slice{0, kSliceNanoseconds};
  return sigtimedwait(&set, nullptr, &slice) > 0;
}

void watch() {
  const sigset_t set = stopSet();
  int first = 0;
  while (sigwait(&set, &first) != 0 || first == 0) {
  }
  receivedSignal = first;
  const auto deadline = std::chrono::steady_clock::now() + kGrace;
  for (;;) {
    if (anotherSignal(set)) endAs(first);
    if (!loopWasLeft && std::chrono::steady_clock::now() >= deadline) endAs(first);
  }
}

}  // namespace

void takeOver() {
  const sigset_t set = stopSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  std::thread(watch).detach();
}

int received() { return receivedSignal; }

void loopLeft() { loopWasLeft = true; }

void endAs(int signal) {
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  sigaction(signal, &byDefault, nullptr);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal);
  pthread_kill(pthread_self(), signal);  // pending while blocked, delivered on unblocking
  pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  std::_Exit(128 + signal);  // not reached: the signal ends the process
}

}  // namespace stopSignals
