// A connection to a camera service in another process, over a ZeroMQ DEALER socket.
#pragma once

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
  Event wait(detail::Nanoseconds deadline, protocol::FrameList* message) override;
  detail::Clock& clock() override { return *clock_; }
  bool idle() const override { return false; }

 private:
  Event receive(ClientSocket::Deadline until, protocol::FrameList* message);

  std::unique_ptr<detail::Clock> clock_;
  ClientSocket socket_;
  std::optional<Event> pending_;
};

}  // namespace transport
}  // namespace CamSdk
