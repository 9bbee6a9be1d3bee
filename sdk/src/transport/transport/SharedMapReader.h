// The client's side of maps in shared memory. It maps the region a service offers in its
// Welcome (unless turned off) and says so with a Mapped request; it turns each sample whose
// maps lie in that region into one whose maps are frames pointing there, so that everything
// above the connection reads a sample as it always did. Each such frame holds its buffer: when
// the last Pointer to it goes, on whatever thread, the buffer waits in the give-back queue.
// When a session ends (a new Hello, or the connection goes) while Pointers into its buffers
// live on, those buffers are copied into this process first (SharedMapping::keepPrivately),
// since the service takes back whatever an ended session held.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "protocol/Messages.h"
#include "transport/GiveBackQueue.h"
#include "transport/SharedMapping.h"

namespace CamSdk {
namespace transport {

class SharedMapReader {
 public:
  // `enabled` false: the offer is never taken, and every map travels in its message.
  explicit SharedMapReader(bool enabled) : enabled_(enabled) {}

  // A Bye or a Hello goes out: the session ends, and what its Pointers read stays as it is.
  // The next session holds nothing.
  void sessionEnds();
  // The connection goes: likewise.
  void closing() { keepHeldBuffers(); }
  // Reads `message` as it arrived and may rewrite it (see above). After a Welcome that offered
  // a region this client mapped, `mappedRequest` holds the request to send at once. Returns
  // false for a sample to skip: its buffers were reused since it was sent, which happens only
  // to a client the service has dropped. Raises protocol::ProtocolError for a sample that names
  // a region this client has not mapped or a place outside it.
  bool read(protocol::FrameList* message, std::vector<std::uint8_t>* mappedRequest);
  GiveBackQueue& giveBacks() { return *queue_; }
  bool mapped() const { return mapping_ != nullptr; }

  class HeldBuffers;

 private:
  void accept(const protocol::Welcome& welcome, std::vector<std::uint8_t>* mappedRequest);
  void keepHeldBuffers();
  bool resolve(protocol::FrameList* message, protocol::SamplePush sample);

  bool enabled_;
  std::shared_ptr<const SharedMapping> mapping_;
  std::uint32_t region_ = 0;
  std::shared_ptr<GiveBackQueue> queue_ = std::make_shared<GiveBackQueue>();
  std::shared_ptr<HeldBuffers> held_;
};

// Whether a client connecting to `endpoint` may map the service's shared memory: only on an
// ipc:// endpoint, and not when the environment turns it off (CAMSDK_NO_SHARED_MEMORY).
bool sharedMemoryWanted(const std::string& endpoint);

}  // namespace transport
}  // namespace CamSdk
