// The context's event loop.
//
// Contract of Context::run():
// - Single thread: run() delivers every event on the thread that called it, one at a time;
//   the SDK starts no thread that calls into the caller.
// - Each turn takes the earliest due event. Ties at the same instant are broken in this order:
//   1. scheduled scenario actions (in the order they were scheduled),
//   2. hot-plug notifications (in the order the service raised them),
//   3. hand-made samples from the scenario control (in the order they were injected),
//   4. samples, by the order in which their nodes were registered.
// - A registered node streams while the nodes are started and this context enabled one of its
//   maps (audio needs none). Its first sample is due on the loop's first turn that sees it
//   streaming; sample k is then due at start + k * 1 s / rate, computed in integers from the
//   start (StreamCursor), so pacing never drifts.
// - Between events the loop waits for the next due time on the service clock. A sample
//   stream that falls behind skips to its newest due sample and counts the skipped ones in
//   the record's droppedSampleCount; it never bursts.
// - quit() (from a handler) makes run() return as soon as the running handler has returned;
//   an event with several handlers still reaches all of them first. Events still due stay
//   queued for a later run(). A quit() made while run() is not running makes the next run()
//   return before it delivers anything.
// - An event is taken off its queue before its handlers run. An exception that escapes a
//   handler (or a scenario action) stops the loop; run() rethrows it unchanged. The loop stays
//   usable: a later run() goes on with the next event.
// - On a virtual clock (tests), a loop with nothing left to deliver ever raises
//   TimeoutException instead of waiting forever; on the real clock it waits.
// - run() from inside a handler raises InvalidOperationException.
#include <chrono>

#include "camsdk/Exceptions.h"
#include "client/ContextCore.h"
#include "client/HandleAccess.h"

namespace CamSdk {
namespace detail {

namespace {

// How long the real-clock loop sleeps between looks when nothing at all is due.
constexpr Nanoseconds kIdleWait = std::chrono::milliseconds(10);

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
  Clock& clock = service_->clock();
  while (!quitRequested_) {
    service_->poll();
    const Nanoseconds now = clock.now();
    refreshStreams(now);
    Next next{};
    if (!findNext(&next)) {
      if (clock.isVirtual()) {
        throw TimeoutException("the event loop has nothing left to deliver");
      }
      service_->waitUntil(now + kIdleWait);
      continue;
    }
    if (next.due > now) {
      service_->waitUntil(next.due);
      continue;
    }
    deliver(next, now);
  }
}

// Starts, pauses and retimes each registered stream to match what it should do now.
void ContextCore::refreshStreams(Nanoseconds now) {
  for (Registration& each : registrations_) {
    service_->subscribe(id_, each.node->id(), started_ ? each.node->wantedMaps() : 0);
    const std::int32_t perSecond =
        started_ && each.node->wantsSamples() ? service_->samplesPerSecond(each.node->id()) : 0;
    if (perSecond <= 0) {
      each.cursor.disarm();
    } else if (!each.cursor.armed()) {
      each.cursor.arm(now, perSecond);
    } else {
      each.cursor.retime(perSecond);
    }
  }
}

bool ContextCore::findNext(Next* next) const {
  bool found = false;
  auto consider = [&](Nanoseconds due, Next::Category category, std::size_t registration) {
    const bool earlier =
        !found || due < next->due || (due == next->due && category < next->category);
    if (earlier) {
      *next = Next{due, category, registration};
      found = true;
    }
  };
  Nanoseconds actionTime{};
  if (service_->nextActionTime(&actionTime)) consider(actionTime, Next::Action, 0);
  if (!notices_.empty()) consider(notices_.front().at, Next::Notification, 0);
  if (!injected_.empty()) consider(injected_.front().at, Next::Injected, 0);
  // Strictly earlier only, so the first registered wins a tie between streams.
  for (std::size_t i = 0; i < registrations_.size(); ++i) {
    if (registrations_[i].cursor.armed()) {
      consider(registrations_[i].cursor.nextDue(), Next::Sample, i);
    }
  }
  return found;
}

void ContextCore::deliver(const Next& next, Nanoseconds now) {
  switch (next.category) {
    case Next::Action:
      service_->runNextAction();
      return;
    case Next::Notification: {
      const Notice notice = std::move(notices_.front());
      notices_.pop_front();
      deliverNotice(notice);
      return;
    }
    case Next::Injected: {
      const PendingSample pending = std::move(injected_.front());
      injected_.pop_front();
      pending.node->deliverInjected(pending.sample);
      return;
    }
    case Next::Sample: {
      // Copy what delivery needs: a handler may register or unregister nodes.
      Registration& registration = registrations_[next.registration];
      const std::shared_ptr<NodeClient> node = registration.node;
      std::int32_t skipped = 0;
      const std::int64_t index = registration.cursor.take(now, &skipped);
      const Nanoseconds due = registration.cursor.due(index);
      node->deliverSample(index, due, skipped);
      return;
    }
  }
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
