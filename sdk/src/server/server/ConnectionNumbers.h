// A number for each connection a ROUTER socket accepts, unique for the life of the server.
//
// ZeroMQ names a connection two ways: its routing id in messages, and its descriptor in the
// socket monitor's notices. A descriptor is reused as soon as its connection closes, and the
// notice that it closed comes through another pipe than the messages, so it can be read after
// the first request of the next connection on that descriptor. Numbering each accepted
// descriptor afresh, in the monitor's own order, tells the two connections apart: a close
// notice ends the connection it was raised for and no other.
#pragma once

#include <cstdint>
#include <map>

namespace CamSdk {
namespace server {

using ConnectionId = std::int64_t;
constexpr ConnectionId kNoConnection = -1;

class ConnectionNumbers {
 public:
  // The monitor's ZMQ_EVENT_ACCEPTED for `fd`. Returns the connection that had `fd` before and
  // was never seen to close (it has closed: its descriptor was given out again), or
  // kNoConnection.
  ConnectionId accepted(int fd);
  // The monitor's ZMQ_EVENT_DISCONNECTED for `fd`: the connection that closed, or kNoConnection.
  ConnectionId closed(int fd);
  // The connection a message read now with descriptor `fd` (ZMQ_SRCFD) came on. The caller
  // reads the monitor first: ZeroMQ raises a connection's ACCEPTED before any of its messages.
  ConnectionId of(int fd);
  std::size_t open() const { return byDescriptor_.size(); }

 private:
  struct Entry {
    ConnectionId id;
    bool announced;  // its ACCEPTED was read (false: known from a message first)
  };
  ConnectionId next_ = 0;
  std::map<int, Entry> byDescriptor_;
};

}  // namespace server
}  // namespace CamSdk
