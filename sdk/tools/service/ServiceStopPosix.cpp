#include <signal.h>

#include "ServiceStop.h"

namespace CamSdk {
namespace service_program {
namespace {

std::atomic<bool>* stopFlag = nullptr;

extern "C" void requestStop(int) { stopFlag->store(true); }

}  // namespace

void stopWhenAsked(std::atomic<bool>& stop) {
  stopFlag = &stop;
  struct sigaction action {};
  action.sa_handler = requestStop;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

}  // namespace service_program
}  // namespace CamSdk
