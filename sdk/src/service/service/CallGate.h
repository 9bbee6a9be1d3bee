// The entry check of every public SDK operation: it records the call and raises the fault a
// test armed for that operation. The log is bounded so that a long-running program cannot
// grow it without end; nothing is logged per sample.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "camsdk/Exceptions.h"
#include "common/SdkOperation.h"

namespace CamSdk {
namespace detail {

class CallGate {
 public:
  static constexpr std::size_t kLogLimit = 4096;

  // Runs a hook due for this call, logs "Operation subject" (or just the operation), then
  // raises an armed fault.
  void enter(detail::SdkOperation operation, const std::string& subject);

  // Runs `action` once, as the call of `operation` that comes after `callsToPass` others enters,
  // before that call is logged or served: a test's way to change the camera at an exact call.
  void beforeCall(detail::SdkOperation operation, int callsToPass, std::function<void()> action);

  // `times` -1: every call from now on.
  void failNext(detail::SdkOperation operation, ExceptionKind kind, int times,
                const std::string& message);
  void clearFaults() { faults_.clear(); }

  std::vector<std::string> calls() const { return {calls_.begin(), calls_.end()}; }
  void clearCalls() { calls_.clear(); }

 private:
  struct Fault {
    ExceptionKind kind;
    int remaining;  // -1: never runs out
    std::string message;
  };

  struct Hook {
    detail::SdkOperation operation;
    int callsToPass;
    std::function<void()> action;
  };

  std::map<detail::SdkOperation, Fault> faults_;
  std::vector<Hook> hooks_;
  std::deque<std::string> calls_;
};

}  // namespace detail
}  // namespace CamSdk
