// The adapter that lets the SDK call a plain function as an event handler, and the event
// operation that wraps a function in a new adapter and connects it.
//
// These are SDK class templates whose missing members the program supplies, so they live in the
// SDK's namespace.
#pragma once

#include <new>

#include "camsdk/Events.h"

namespace CamSdk {

template <class T, class Data>
class FunctionHandler final : public EventHandler<T, Data> {
 public:
  using Function = void (*)(T, Data);

  explicit FunctionHandler(Function function) : handlerFunction(function) {}
  ~FunctionHandler() override = default;

  // `final` makes the cast an exact type test: only this very instantiation matches, so a
  // handler of another event kind around the same function is never taken for a duplicate.
  bool isSameHandler(EventHandlerBase* other) const override {
    const auto* same = dynamic_cast<const FunctionHandler*>(other);
    return same != nullptr && same->handlerFunction == handlerFunction;
  }

  // Passing the lvalues copies them into the function's by-value parameters, so whatever the
  // function does to its arguments leaves these copies, and the SDK's, untouched.
  void deliver(T source, Data data) override { handlerFunction(source, data); }

 private:
  const Function handlerFunction;
};

template <class T, class Data>
void Event<T, Data>::connectFunction(Function function) {
  void* memory = ::operator new(sizeof(FunctionHandler<T, Data>));
  FunctionHandler<T, Data>* handler = nullptr;
  try {
    handler = ::new (memory) FunctionHandler<T, Data>(function);
  } catch (...) {
    // Nothing was built, so only the memory is given back; the failure is the caller's.
    ::operator delete(memory);
    throw;
  }
  // The event owns the adapter from here on; the program keeps no pointer to it.
  connect(handler);
}

}  // namespace CamSdk
