// The context's event loop.
//
// Contract of Context::run():
// - Single thread: run() delivers every event on the thread that called it, one at a time;
//   the SDK starts no thread that calls into the caller.
// - The service decides when things happen and sends them: hot-plug notices and samples
//   arrive in the order the service made them, and are delivered in that order. At one
//   instant the service runs its timed actions first (in the order they were scheduled; their
//   notices go out at once), then produces the samples that are due, in the order their
//   streams started; so for one context, hot-plug before samples, and samples in the order
//   their nodes were registered.
// - A registered node streams to this context while the nodes are started and this context
//   enabled one of its maps (audio needs none): at the start of each turn the loop tells the
//   service what each registered node should send. A stream's first sample is due when it
//   starts; sample k at start + k * 1 s / rate, computed in integers (no drift). A stream
//   nobody watches stops, and starts again from sample 0.
// - Between events the loop waits for what the service sends. A stream that falls behind, or
//   samples this context could not take in time, are skipped and counted in the next record's
//   droppedSampleCount; at most kMaxWaitingSamples of one node wait for a slow loop, and a
//   notice is never dropped.
// - quit() (from a handler) makes run() return as soon as the running handler has returned;
//   an event with several handlers still reaches all of them first. Events already received
//   stay queued for a later run(). A quit() made while run() is not running makes the next
//   run() return before it delivers anything.
// - An event is taken off its queue before its handlers run. An exception that escapes a
//   handler (or a scenario action) stops the loop; run() rethrows it unchanged. The loop stays
//   usable: a later run() goes on with the next event.
// - On a virtual clock (tests), a loop with nothing left to deliver ever raises
//   TimeoutException instead of waiting forever; on the real clock it waits.
// - run() from inside a handler raises InvalidOperationException.
#include "camsdk/Exceptions.h"
#include "client/ContextCore.h"
#include "client/HandleAccess.h"
#include "common/EventAccess.h"

namespace CamSdk {
namespace detail {

namespace {

// Clears the loop's flags however run() ends.
class RunningScope {
 public:
  RunningScope(bool& running, bool& quitRequested)
      : running_(running), quitRequested_(quitRequested) {
    running_ = true;
  }
  ~RunningScope() {
    running_ = false;
    quitRequested_ = false;
  }
  RunningScope(const RunningScope&) = delete;
  RunningScope& operator=(const RunningScope&) = delete;

 private:
  bool& running_;
  bool& quitRequested_;
};

}  // namespace

void ContextCore::run() {
  if (running_) throw InvalidOperationException("run() is already running on this context");
  // A handler may drop the last outside handle to this context; the loop keeps it alive.
  const std::shared_ptr<ContextCore> self = shared_from_this();
  RunningScope scope(running_, quitRequested_);
  while (!quitRequested_) {
    service_->poll();
    refreshSubscriptions();
    Next next{};
    if (findNext(&next)) {
      deliver(next);
      continue;
    }
    if (service_->idle()) throw TimeoutException("the event loop has nothing left to deliver");
    service_->waitForMore();
  }
}

void ContextCore::refreshSubscriptions() {
  for (const auto& node : registrations_) {
    service_->subscribe(id_, node->id(), started_ ? node->wantedMaps() : 0);
  }
}

bool ContextCore::findNext(Next* next) const {
  if (notices_.empty() && injected_.empty()) return false;
  const bool notice =
      !notices_.empty() && (injected_.empty() || notices_.front().at <= injected_.front().at);
  *next = notice ? Next::Notification : Next::Sample;
  return true;
}

void ContextCore::deliver(Next next) {
  if (next == Next::Notification) {
    const Notice notice = std::move(notices_.front());
    notices_.pop_front();
    deliverNotice(notice);
    return;
  }
  const PendingSample pending = std::move(injected_.front());
  injected_.pop_front();
  pending.node->deliver(pending.sample);
}

void ContextCore::deliverNotice(const Notice& notice) {
  switch (notice.type) {
    case TopologyChange::Type::NodeRemoved:
      EventAccess::deliver(notice.device->nodeRemovedEvent(), HandleAccess::device(notice.device),
                           Device::NodeRemovedData{HandleAccess::node(notice.node)});
      return;
    case TopologyChange::Type::DeviceRemoved:
      EventAccess::deliver(deviceRemoved_, HandleAccess::context(shared_from_this()),
                           Context::DeviceRemovedData{HandleAccess::device(notice.device)});
      return;
    case TopologyChange::Type::DeviceAdded:
      EventAccess::deliver(deviceAdded_, HandleAccess::context(shared_from_this()),
                           Context::DeviceAddedData{HandleAccess::device(notice.device)});
      return;
    case TopologyChange::Type::NodeAdded:
      EventAccess::deliver(notice.device->nodeAddedEvent(), HandleAccess::device(notice.device),
                           Device::NodeAddedData{HandleAccess::node(notice.node)});
      return;
  }
}

}  // namespace detail
}  // namespace CamSdk
