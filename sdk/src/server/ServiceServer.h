// The camera service's side of the ZeroMQ transport: it serves one Service to any number of
// clients on one endpoint, in one thread.
//
// Requests and replies travel on a ROUTER socket, so each client has its own session; samples
// and hot-plug notices are pushed on the same connection. Each turn of run() answers what has
// arrived (at most kRequestsPerTurn), runs the service's timed actions that are due, and
// produces every sample that is due, once per node, sending it to each client that asked for
// one of its maps.
//
// A client costs bounded memory: a sample that its connection cannot take now (its queue
// holds transport::kHighWaterMark messages) is dropped for that client alone, which sees the
// gap in the sample indices. A client that sends what the protocol does not allow, or floods
// the service with requests, is dropped and its messages ignored from then on; the others are
// served on. A client whose connection closes (its process ended, crashed or lost the network)
// is dropped at once, and control of its nodes is given back.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>
#include <zmq.hpp>

#include "protocol/Messages.h"
#include "service/Service.h"
#include "service/StreamCursor.h"

namespace CamSdk {
namespace server {

struct ServerOptions {
  std::string endpoint;
  // CURVE: the service's key pair and the public keys of the clients it accepts. Without
  // them only a local endpoint (ipc, or TCP on 127.0.0.1) may be served.
  std::string publicKey;
  std::string secretKey;
  std::set<std::string> clientKeys;
  std::function<void(int level, const std::string& line)> log;  // level 0 error, 1 info, 2 debug
};

class ServiceServer {
 public:
  static constexpr int kRequestsPerTurn = 64;
  // A client may make this many requests a second on average (with twice as many in a burst)
  // before it counts as flooding.
  static constexpr int kRequestsPerSecond = 2000;

  // Binds the endpoint; raises std::runtime_error saying why it cannot serve there.
  ServiceServer(detail::Service& service, ServerOptions options);
  ~ServiceServer();
  ServiceServer(const ServiceServer&) = delete;
  ServiceServer& operator=(const ServiceServer&) = delete;

  // Serves until `stop` becomes true (checked at least every 50 ms), then says goodbye.
  void run(const std::atomic<bool>& stop);
  // One turn: waits until something arrives or is due, at most `maxWait`.
  void turn(std::chrono::milliseconds maxWait);
  // Tells every client the service is going.
  void sayGoodbye(const std::string& reason);

  std::size_t sessionCount() const { return sessions_.size(); }
  // Where clients reach it; with a wildcard port ("tcp://127.0.0.1:*"), the port it was given.
  std::string boundEndpoint() const { return router_.get(zmq::sockopt::last_endpoint); }

 private:
  class Session;
  struct Stream {
    detail::StreamCursor cursor;
    std::vector<detail::ClientId> order;  // subscribers in the order they subscribed
  };

  void readRequests();
  void readMonitor();
  void answerZap();
  void handle(const std::string& peer, int fd, const std::uint8_t* data, std::size_t size);
  protocol::ServerMessage answer(Session& session, const protocol::DecodedRequest& request);
  void drop(const std::string& peer, const std::string& why);
  void produceDue();
  void produce(detail::NodeId node, Stream& stream, std::int64_t index, detail::Nanoseconds due);
  detail::Nanoseconds nextDue() const;
  bool send(const std::string& peer, const std::vector<std::uint8_t>& bytes);
  void sendShared(const std::string& peer, zmq::message_t& shared);
  void log(int level, const std::string& line) const;

  detail::Service& service_;
  ServerOptions options_;
  zmq::socket_t router_;
  zmq::socket_t monitor_;
  std::unique_ptr<zmq::socket_t> zap_;
  std::map<std::string, std::unique_ptr<Session>> sessions_;  // by ZeroMQ routing id
  std::set<std::string> banned_;
  std::map<detail::NodeId, Stream> streams_;
  std::vector<std::uint8_t> scratch_;
};

// Whether an endpoint stays on this machine (ipc, inproc, or TCP on 127.0.0.1 / localhost /
// ::1), so that it may be served without keys.
bool isLocalEndpoint(const std::string& endpoint);

}  // namespace server
}  // namespace CamSdk
