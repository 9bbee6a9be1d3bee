// A client's connection to one camera service: a ZeroMQ DEALER socket that sends requests and
// receives replies and pushed messages, and a monitor of that socket that tells when the
// service is reached, lost, or refuses this client's key. ZeroMQ reconnects by itself; the
// owner learns of it through Event::Connected.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>
#include <zmq.hpp>

#include "transport/Endpoints.h"

namespace CamSdk {
namespace transport {

class ClientSocket {
 public:
  using Deadline = std::chrono::steady_clock::time_point;
  enum class Event { Message, Connected, Disconnected, Refused, Timeout };

  ClientSocket(const std::string& endpoint, const std::optional<ClientKeys>& keys);
  ~ClientSocket();
  ClientSocket(const ClientSocket&) = delete;
  ClientSocket& operator=(const ClientSocket&) = delete;

  // False when the message cannot be queued now (no connection).
  bool send(const std::vector<std::uint8_t>& bytes);
  // The next message (all its parts) or connection event, or Timeout at `deadline`.
  Event wait(Deadline deadline, std::vector<zmq::message_t>* parts);

 private:
  std::optional<Event> readMonitor();

  zmq::socket_t socket_;
  zmq::socket_t monitor_;
};

}  // namespace transport
}  // namespace CamSdk
