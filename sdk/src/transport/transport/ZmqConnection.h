// A connection to a camera service in another process, over a ZeroMQ DEALER socket. It keeps
// the connection alive by the protocol's own heartbeats (protocol/Liveness.h): it sends a
// Heartbeat whenever it has sent nothing for a while, takes the service's Alive answers out of
// the message stream, and reports the connection closed when the service falls silent. On an
// ipc:// endpoint it reads maps from the service's shared memory when offered
// (SharedMapReader), and gives their buffers back from the thread that holds the socket.
//
// The heartbeats say that the process lives, not that its loop is waiting: while the owner's
// thread is away from the socket (a handler that takes seconds, a window being dragged on a
// desktop that holds the thread in its own loop), a keeper thread sends them, so only a process
// that is stopped or gone falls silent. The socket is used under `socketMutex_` by one thread
// at a time, which is how ZeroMQ lets a socket change threads.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "transport/ClientSocket.h"
#include "transport/Connection.h"
#include "transport/ServiceLiveness.h"
#include "transport/SharedMapReader.h"

namespace CamSdk {
namespace transport {

class ZmqConnection final : public Connection {
 public:
  ZmqConnection(const std::string& endpoint, const std::optional<ClientKeys>& keys);
  ~ZmqConnection() override;
  ZmqConnection(const ZmqConnection&) = delete;
  ZmqConnection& operator=(const ZmqConnection&) = delete;
  bool send(const std::vector<std::uint8_t>& request) override;
  // A connection event seen here is kept for the next wait(), which reports it.
  bool tryReceive(protocol::FrameList* message) override;
  Event wait(Nanoseconds deadline, protocol::FrameList* message) override;
  Nanoseconds now() const override { return std::chrono::steady_clock::now() - start_; }
  bool virtualTime() const override { return false; }
  bool idle() const override { return false; }

 private:
  Event receive(ClientSocket::Deadline until, protocol::FrameList* message);
  void keepAlive(ServiceLiveness::Clock::time_point now);
  void giveBack(ServiceLiveness::Clock::time_point now);
  void keepWhileAway();

  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::mutex socketMutex_;  // guards socket_ and liveness_
  ClientSocket socket_;
  std::optional<Event> pending_;
  ServiceLiveness liveness_;
  std::vector<std::uint8_t> heartbeat_;
  SharedMapReader shared_;  // under socketMutex_ too
  std::vector<std::uint8_t> scratch_;

  std::mutex keeperMutex_;
  std::condition_variable keeperWake_;
  bool stopping_ = false;
  std::thread keeper_;  // last: it starts once everything it uses is made
};

}  // namespace transport
}  // namespace CamSdk
