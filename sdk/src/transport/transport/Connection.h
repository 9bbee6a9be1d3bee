// A client's connection to one camera service: it sends requests and waits for what the
// service sends, in frames. Over ZeroMQ to a service in another process (ZmqConnection), or to
// a service host in this process (InProcessConnection), which passes the same messages
// without sockets and, on a virtual clock, runs the service's next due work while it waits.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "protocol/Messages.h"

namespace CamSdk {
namespace transport {

class Connection {
 public:
  using Nanoseconds = std::chrono::nanoseconds;

  enum class Event {
    Message,       // `message` holds what arrived
    Connected,     // the service answers (again); greet it
    Disconnected,  // the connection closed
    Refused,       // the service refused this client's key
    Timeout,       // nothing by the deadline, or the service ran its due work
  };

  virtual ~Connection() = default;
  // False when the request cannot go now (no service connected).
  virtual bool send(const std::vector<std::uint8_t>& request) = 0;
  // A message that has already arrived, without waiting and without running anything.
  virtual bool tryReceive(protocol::FrameList* message) = 0;
  // The next message or event; `deadline` is a time on now().
  virtual Event wait(Nanoseconds deadline, protocol::FrameList* message) = 0;
  // The time the connection's deadlines are on: since the connection was made for a service in
  // another process; for a service in this process, that service's own time.
  virtual Nanoseconds now() const = 0;
  // True when the connection's time moves only while a client waits (a service in this process
  // on a virtual clock): a wait takes no real time, and one without a deadline runs the
  // service's next due work.
  virtual bool virtualTime() const = 0;
  // True when nothing will arrive unless the client sends something.
  virtual bool idle() const = 0;
};

}  // namespace transport
}  // namespace CamSdk
