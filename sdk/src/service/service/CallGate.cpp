#include "service/CallGate.h"

namespace CamSdk {
namespace detail {

void CallGate::enter(detail::SdkOperation operation, const std::string& subject) {
  for (auto hook = hooks_.begin(); hook != hooks_.end(); ++hook) {
    if (hook->operation != operation || hook->callsToPass-- > 0) continue;
    // Taken out first: the action may arm further hooks.
    std::function<void()> action = std::move(hook->action);
    hooks_.erase(hook);
    action();
    break;
  }

  std::string entry = detail::operationName(operation);
  if (!subject.empty()) entry += ' ' + subject;
  if (calls_.size() >= kLogLimit) calls_.pop_front();
  calls_.push_back(std::move(entry));

  auto armed = faults_.find(operation);
  if (armed == faults_.end()) return;
  const Fault fault = armed->second;
  if (fault.remaining > 0 && --armed->second.remaining == 0) faults_.erase(armed);
  throwException(fault.kind, fault.message);
}

void CallGate::failNext(detail::SdkOperation operation, ExceptionKind kind, int times,
                        const std::string& message) {
  if (times == 0) {
    faults_.erase(operation);
    return;
  }
  if (times < -1) throw ArgumentException("fault count must be -1 or positive");
  faults_[operation] = Fault{kind, times, message};
}

void CallGate::beforeCall(detail::SdkOperation operation, int callsToPass,
                          std::function<void()> action) {
  hooks_.push_back(Hook{operation, callsToPass, std::move(action)});
}

}  // namespace detail
}  // namespace CamSdk
