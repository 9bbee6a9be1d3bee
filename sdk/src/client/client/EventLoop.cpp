// The context's event loop. Its contract, which this code keeps, is written once, in
// camsdk/Context.h; kMaxWaitingSamples (ContextCore.h) is the bound it names for a loop that
// falls behind.
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
