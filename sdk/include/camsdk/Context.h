// The context: one client's connection to a camera service, and its event loop.
//
// Event loop contract (run()):
// - Single thread: run() delivers every event on the thread that called it, one at a time;
//   the SDK starts no thread that calls into the caller.
// - The service decides when things happen and sends them: hot-plug notices and samples are
//   delivered in the order they arrived. At one instant the service runs its scheduled
//   scenario actions first (in the order they were scheduled; their notices go out at once),
//   then produces the samples that are due, in the order their streams started. So for one
//   context: hot-plug before samples, and samples in the order their nodes were registered.
//   A notice that arrives at the same instant as samples still waiting is delivered first.
// - A registered node streams to this context while the nodes are started and this context
//   enabled one of its maps (audio needs none): at the start of each turn the loop tells the
//   service what each registered node should send. A stream's first sample is due when it
//   starts; sample k at start + k * 1 s / rate, computed in integers (no drift). A stream
//   nobody watches stops, and starts again from sample 0.
// - Between events the loop waits for what the service sends. A stream that falls behind in the
//   service skips to its newest due sample; it never bursts. A recording's stream is the exception:
//   it sends every sample in turn, catching up at twice its recorded pace. For a loop that falls
//   behind, the connection holds at most its high-water mark of samples (16) and the service drops
//   the others for this context alone; the loop itself keeps at most 8 waiting samples of each
//   node, and when a ninth arrives the oldest is dropped. 8 lets a loop that was held up once (a
//   slow handler, a window being moved) catch up without a gap, while one that is always too slow
//   holds a bounded number of buffers. Every sample skipped or dropped on the way is counted in the
//   droppedSampleCount of the next one the node delivers. A notice is never dropped.
// - quit() (from a handler) makes run() return as soon as the running handler has returned;
//   an event with several handlers still reaches all of them first, so none loses it. Events
//   already received stay queued for a later run(). A quit() made while run() is not running
//   makes the next run() return before it delivers anything.
// - An event is taken off its queue before its handlers run. An exception that escapes a
//   handler (or a scenario action) stops the loop; run() rethrows it unchanged. The loop stays
//   usable: a later run() goes on with the next event.
// - run() from inside a handler raises InvalidOperationException.
// - On a virtual clock (tests), a loop with nothing left to deliver ever raises
//   TimeoutException instead of waiting forever; on the real clock it waits.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "camsdk/Device.h"
#include "camsdk/Events.h"
#include "camsdk/List.h"
#include "camsdk/Node.h"

namespace CamSdk {

namespace detail {
class ContextCore;
struct HandleAccess;
}  // namespace detail

class Context {
 public:
  struct DeviceAddedData {
    Device device;
  };
  struct DeviceRemovedData {
    Device device;
  };
  class DeviceAddedEvent : public Event<Context, DeviceAddedData> {};
  class DeviceRemovedEvent : public Event<Context, DeviceRemovedData> {};

  // Opens a context on the camera service of `host` ("localhost": this machine's service).
  // Raises IOException naming the host when no service answers there.
  static Context create(const std::string& host);

  Context() = default;
  bool isSet() const noexcept { return core_ != nullptr; }

  DeviceAddedEvent& deviceAddedEvent();
  DeviceRemovedEvent& deviceRemovedEvent();

  List<Device> _p_getDevices() const;
  // The same as a standard vector. Defined by the program, not by the SDK.
  std::vector<Device> listDevices() const;

  // A registered node streams samples to this context while the nodes are started.
  void registerNode(Node node);
  void unregisterNode(Node node);
  // Exclusive control of a node's configuration. Raises UnauthorizedAccessException while
  // another context holds it. `timeoutMs` 0: do not wait.
  void requestControl(Node node, std::int32_t timeoutMs);
  void releaseControl(Node node);

  void startNodes();
  void stopNodes();
  void run();
  void quit();

  bool operator==(const Context& other) const noexcept { return core_ == other.core_; }
  bool operator!=(const Context& other) const noexcept { return !(*this == other); }

 private:
  friend struct detail::HandleAccess;
  explicit Context(std::shared_ptr<detail::ContextCore> core) : core_(std::move(core)) {}
  detail::ContextCore& core() const;

  std::shared_ptr<detail::ContextCore> core_;
};

}  // namespace CamSdk
