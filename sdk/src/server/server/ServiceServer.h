// The service host served over ZeroMQ, in one thread: requests and replies on a ROUTER socket
// (a session per client), samples and hot-plug notices pushed on the same connections.
//
// A client costs bounded memory: a sample its connection cannot take now (transport::
// kHighWaterMark messages wait there) is dropped for that client alone. Replies and notices
// are never dropped: what the connection cannot take waits in the client's backlog, and a
// client whose backlog passes kMaxBacklog has stopped reading and is dropped. A client whose
// connection closes (its process ended or crashed) is dropped at once, and one the service has
// not heard from for protocol::kSilenceLimit (stopped, or its machine or network gone) soon
// after. A frame larger than protocol::kMaxRequestSize closes the connection it came on.
#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <zmq.hpp>

#include "server/ConnectionNumbers.h"
#include "server/DropSummary.h"
#include "server/PeerLink.h"
#include "server/PeerLiveness.h"
#include "server/ServiceHost.h"
#include "service/Service.h"

namespace CamSdk {
namespace server {

struct ServerOptions {
  std::string endpoint;
  // CURVE: the service's key pair and the public keys of the clients it accepts. Without
  // them only a local endpoint may be served (isLocalEndpoint).
  std::string publicKey;
  std::string secretKey;
  std::set<std::string> clientKeys;
  LogFunction log;  // level 0 error, 1 info, 2 debug
  // Offer clients on an ipc:// endpoint their samples' maps in shared memory.
  bool sharedMemory = true;
};

class ServiceServer final : private PeerLink {
 public:
  static constexpr int kRequestsPerTurn = 64;
  static constexpr std::size_t kMaxBacklog = 1024;

  // Binds the endpoint; raises std::runtime_error saying why it cannot serve there.
  ServiceServer(detail::Service& service, ServerOptions options);
  ~ServiceServer();
  ServiceServer(const ServiceServer&) = delete;
  ServiceServer& operator=(const ServiceServer&) = delete;

  // Serves until `stop` becomes true (checked at least every 50 ms).
  void run(const std::atomic<bool>& stop);
  // One turn: waits until something arrives or is due, at most `maxWait`, then handles it.
  void turn(std::chrono::milliseconds maxWait);
  // Tells every client the service is going.
  void sayGoodbye(const std::string& reason) { host_.sayGoodbye(reason); }
  std::size_t sessionCount() const { return host_.sessionCount(); }
  // Whether clients that map it get their maps in shared memory.
  bool sharesMaps() const { return host_.sharedSlots() != nullptr; }
  const ServiceHost& host() const { return host_; }
  // Where clients reach it; with a wildcard port ("tcp://127.0.0.1:*"), the port it was given.
  std::string boundEndpoint() const { return router_.get(zmq::sockopt::last_endpoint); }

 private:
  bool send(const std::string& peer, const protocol::FrameList& message, bool droppable) override;
  // False when the connection cannot take it now.
  bool trySend(const std::string& peer, const protocol::FrameList& message);
  void flushBacklogs();
  void readRequests();
  void readMonitor();
  void connectionGone(ConnectionId connection);
  void dropSilentPeers();
  void answerZap();
  void log(int level, const std::string& line) const;

  ServerOptions options_;
  zmq::socket_t router_;
  zmq::socket_t monitor_;
  std::unique_ptr<zmq::socket_t> zap_;
  ServiceHost host_;
  ConnectionNumbers connections_;
  std::map<std::string, ConnectionId> peers_;  // every peer heard, by the connection it is on
  PeerLiveness liveness_;
  std::map<std::string, std::deque<protocol::FrameList>> backlogs_;
  // Refused keys are logged as dropped clients are: a few lines a second, the rest counted.
  DropSummary refusedKeys_;
  // Map frames already made into ZeroMQ messages this turn, so that a sample sent to several
  // clients is copied into ZeroMQ once and shared.
  std::map<const void*, zmq::message_t> shared_;
};

// Whether an endpoint stays on this machine (ipc, inproc, or TCP on 127.0.0.1 or ::1, or a name
// that resolves to those only), so that it may be served without keys (server/BindAddress.h).
bool isLocalEndpoint(const std::string& endpoint);

}  // namespace server
}  // namespace CamSdk
