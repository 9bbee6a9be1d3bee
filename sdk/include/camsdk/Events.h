// Event handlers and events.
//
// An Event owns every handler connected to it: it deletes each one exactly once, through
// EventHandlerBase, when the event itself is destroyed (that is, when the last handle to the
// object whose event it is goes away). A handler that isSameHandler() reports equal to one
// already connected is a duplicate: the event deletes it at once and keeps the first, so one
// function connected twice still runs once per event.
//
// Events are delivered by the SDK's event loop only (Context::run), one at a time, on the
// thread that called run(). A handler connected while an event is being delivered first
// hears the next event.
#pragma once

#include <cstddef>
#include <vector>

namespace CamSdk {

class EventHandlerBase {
 public:
  EventHandlerBase();
  virtual ~EventHandlerBase();
  EventHandlerBase(const EventHandlerBase&) = delete;
  EventHandlerBase& operator=(const EventHandlerBase&) = delete;
};

template <class T, class Data>
class EventHandler : public EventHandlerBase {
 public:
  virtual bool isSameHandler(EventHandlerBase* other) const = 0;
  virtual void deliver(T source, Data data) = 0;
};

namespace detail {
struct EventAccess;
}

template <class T, class Data>
class Event {
 public:
  using Handler = EventHandler<T, Data>;
  using Function = void (*)(T, Data);

  Event() = default;
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;
  ~Event() {
    for (Handler* handler : handlers_) delete static_cast<EventHandlerBase*>(handler);
  }

  // Wraps `function` in a new handler and connects it. Defined by the program.
  void connectFunction(Function function);

 protected:
  // Takes ownership of `handler`.
  void connect(Handler* handler) {
    ++connectCalls_;
    if (handler == nullptr) return;
    for (Handler* held : handlers_) {
      if (held->isSameHandler(handler)) {
        delete static_cast<EventHandlerBase*>(handler);
        return;
      }
    }
    handlers_.push_back(handler);
  }

 private:
  friend struct detail::EventAccess;

  // Handlers connected during delivery are left for the next event.
  void deliverToAll(const T& source, const Data& data) {
    const std::size_t count = handlers_.size();
    for (std::size_t i = 0; i < count; ++i) handlers_[i]->deliver(source, data);
  }

  std::vector<Handler*> handlers_;
  long connectCalls_ = 0;
};

}  // namespace CamSdk
