// A service in this process, reached through the same messages as one in another process:
// the hub runs a service host for a service that a test (or a tool) made, and each connection
// is one client's session on it, with a queue for what the host sends that client. Nothing
// goes through a socket; map bytes are passed on without being copied.
//
// While a connection waits and nothing is queued for it, it runs the host's next due work
// (timed actions, samples) on the service's clock: on a virtual clock the clock jumps there,
// so a test of many simulated minutes runs in a fraction of a real second.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <string>

#include "server/PeerLink.h"
#include "server/ServiceHost.h"
#include "service/Service.h"
#include "transport/Connection.h"

namespace CamSdk {
namespace transport {

class InProcessHub final : private server::PeerLink,
                           public std::enable_shared_from_this<InProcessHub> {
 public:
  // The hub of `service`, made on first use and shared while any connection holds it.
  static std::shared_ptr<InProcessHub> of(const std::shared_ptr<detail::Service>& service);
  explicit InProcessHub(std::shared_ptr<detail::Service> service);
  ~InProcessHub();

  std::unique_ptr<Connection> connect();

 private:
  friend class InProcessConnection;
  struct Queued {
    protocol::FrameList message;
    bool sample;
  };
  struct Queue {
    std::deque<Queued> messages;
    std::size_t samples = 0;
  };

  bool send(const std::string& peer, const protocol::FrameList& message, bool droppable) override;

  std::shared_ptr<detail::Service> service_;
  server::ServiceHost host_;
  std::map<std::string, Queue> queues_;
  int nextPeer_ = 0;
};

}  // namespace transport
}  // namespace CamSdk
