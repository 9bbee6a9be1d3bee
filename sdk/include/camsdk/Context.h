// The context: one client's connection to a camera service, and its event loop.
//
// Event loop contract (run()):
// - Single thread: run() delivers every event on the thread that called it, one at a time;
//   the SDK starts no thread that calls into the caller.
// - Each turn takes the earliest due event. Ties at the same instant are broken in this order:
//   1. scheduled scenario actions (in the order they were scheduled),
//   2. hot-plug notifications (in the order the service raised them),
//   3. samples, by the order in which their nodes were registered.
// - Between events the loop waits for the next due time on the service clock. A sample
//   stream that falls behind skips to its newest due sample and counts the skipped ones in
//   the record's droppedSampleCount; it never bursts.
// - quit() (from a handler) makes run() return as soon as the running handler has returned;
//   an event with several handlers still reaches all of them first, so none loses it. Events
//   still due stay queued for a later run(). A quit() made while run() is not running makes
//   the next run() return before it delivers anything.
// - run() from inside a handler raises InvalidOperationException.
// - An exception that escapes a handler stops the loop; run() rethrows it unchanged. The
//   loop stays usable: a later run() goes on with the next event.
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
