// How the service host reaches its clients: a transport implements it (ZeroMQ in the service
// program, a queue per client for a service in the same process).
#pragma once

#include <string>

#include "protocol/Messages.h"

namespace CamSdk {
namespace server {

class PeerLink {
 public:
  // Queues `message` for `peer`. A sample (`droppable`) is refused, and false returned, when
  // the peer's queue is full; anything else is always queued, behind what already waits, so a
  // client never misses a reply or a hot-plug notice.
  virtual bool send(const std::string& peer, const protocol::FrameList& message,
                    bool droppable) = 0;

 protected:
  ~PeerLink() = default;
};

}  // namespace server
}  // namespace CamSdk
