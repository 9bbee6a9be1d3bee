// Delivering an event and looking into one: what the client's loop and the tests may do with
// an Event that a program may not.
#pragma once

#include <cstddef>

#include "camsdk/Events.h"

namespace CamSdk {
namespace detail {

// The SDK's (and its tests') view into an event.
struct EventAccess {
  // Handlers alive in this process; the SDK's tests use it to prove each is deleted once.
  static long liveHandlers() noexcept;

  template <class T, class Data>
  static void deliver(Event<T, Data>& event, const T& source, const Data& data) {
    event.deliverToAll(source, data);
  }
  template <class T, class Data>
  static std::size_t handlerCount(const Event<T, Data>& event) {
    return event.handlers_.size();
  }
  template <class T, class Data>
  static long connectCalls(const Event<T, Data>& event) {
    return event.connectCalls_;
  }
  template <class T, class Data>
  static void connect(Event<T, Data>& event, EventHandler<T, Data>* handler) {
    event.connect(handler);
  }
};
}  // namespace detail

}  // namespace CamSdk
