// Options both ends of a service connection share.
#pragma once

#include <zmq.hpp>

namespace CamSdk {
namespace transport {

// How many messages may wait in one direction of one connection before the sender drops
// (service) or stops reading (client): with samples of at most a few megabytes, this bounds
// what a slow peer can cost the other side.
constexpr int kHighWaterMark = 16;

inline void applyCommonOptions(zmq::socket_t& socket) {
  socket.set(zmq::sockopt::linger, 0);
  socket.set(zmq::sockopt::sndhwm, kHighWaterMark);
  socket.set(zmq::sockopt::rcvhwm, kHighWaterMark);
  // ZeroMQ's own heartbeats, answered by its I/O thread: a peer whose machine or network
  // vanished is dropped after the time-out even when the application is busy.
  socket.set(zmq::sockopt::heartbeat_ivl, 250);
  socket.set(zmq::sockopt::heartbeat_timeout, 1000);
  socket.set(zmq::sockopt::heartbeat_ttl, 2000);
}

}  // namespace transport
}  // namespace CamSdk
