// A connection to a camera service in another process, over a ZeroMQ DEALER socket.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "transport/ClientSocket.h"
#include "transport/Connection.h"

namespace CamSdk {
namespace transport {

class ZmqConnection final : public Connection {
 public:
  ZmqConnection(const std::string& endpoint, const std::optional<ClientKeys>& keys);
  bool send(const std::vector<std::uint8_t>& request) override { return socket_.send(request); }
  // A connection event seen here is kept for the next wait(), which reports it.
  bool tryReceive(protocol::FrameList* message) override;
  Event wait(Nanoseconds deadline, protocol::FrameList* message) override;
  Nanoseconds now() const override { return std::chrono::steady_clock::now() - start_; }
  bool virtualTime() const override { return false; }
  bool idle() const override { return false; }

 private:
  Event receive(ClientSocket::Deadline until, protocol::FrameList* message);

  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  ClientSocket socket_;
  std::optional<Event> pending_;
};

}  // namespace transport
}  // namespace CamSdk
