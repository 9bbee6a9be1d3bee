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
  // No ZeroMQ heartbeats (ZMQ_HEARTBEAT_*): libzmq 4.3 aborts the process when one arrives on a
  // connection whose queue is full. Liveness is the protocol's own (protocol/Liveness.h).
}

}  // namespace transport
}  // namespace CamSdk
