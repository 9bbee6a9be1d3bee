#include "server/ServiceHost.h"

#include <algorithm>
#include <cstring>

#include "camsdk/Exceptions.h"
#include "common/Overloaded.h"
#include "common/PrintableText.h"
#include "protocol/SampleFields.h"

namespace CamSdk {
namespace server {

using detail::ClientId;
using detail::Nanoseconds;
using detail::NodeId;
using protocol::MessageType;

namespace {

std::int64_t microseconds(Nanoseconds time) { return time.count() / 1000; }

bool isHello(const std::uint8_t* data, std::size_t size) {
  try {
    return protocol::readHeader(data, size).type == MessageType::Hello;
  } catch (const protocol::ProtocolError&) {
    return false;
  }
}

using protocol::SampleMaps;
// The maps of one sample placed in shared memory, by map flag.
using SharedMaps = std::vector<std::pair<std::uint8_t, protocol::SharedPlace>>;

const protocol::SharedPlace* placeOf(const SharedMaps& shared, std::uint8_t flag) {
  for (const auto& [map, place] : shared) {
    if (map == flag) return &place;
  }
  return nullptr;
}

// The message for one client: the sample's first frame, then the maps it asked for, each in
// a frame of its own unless `shared` has it.
protocol::FrameList sampleMessage(protocol::SamplePush sample, const SampleMaps& maps,
                                  std::uint8_t wanted, const SharedMaps& shared = {}) {
  protocol::FrameList message(1);
  sample.maps.clear();
  for (const auto& [flag, frame] : maps) {
    if ((wanted & flag) == 0) continue;
    if (const protocol::SharedPlace* place = placeOf(shared, flag)) {
      sample.maps.push_back(protocol::MapView{flag, frame.size, true, *place});
      continue;
    }
    sample.maps.push_back(protocol::MapView{flag, frame.size, false, {}});
    message.push_back(frame);
  }
  std::vector<std::uint8_t> head;
  protocol::encodeSample(head, sample);
  message[0] = protocol::ownedCopy(head);
  return message;
}

std::string tooManyRequests() {
  return "it sent requests faster than " + std::to_string(ServiceHost::kRequestsPerSecond) +
         " a second";
}

// Erases the entries, by peer, that belong to `connection`.
template <class ByPeer>
void forgetConnection(ByPeer* byPeer, ConnectionId connection) {
  for (auto entry = byPeer->begin(); entry != byPeer->end();) {
    entry = entry->second.connection == connection ? byPeer->erase(entry) : std::next(entry);
  }
}

std::string ignoredGiveBacks(const BufferLedger& ledger) {
  if (ledger.ignored() == 0) return {};
  return ", " + std::to_string(ledger.ignored()) + " buffers given back that it did not hold";
}

}  // namespace

// One client: its place in the service, what it subscribed to, what it missed, and its
// request budget.
class ServiceHost::Session final : private detail::ServiceListener {
 public:
  Session(ServiceHost& host, std::string peer, ConnectionId connection)
      : budget(kRequestsPerSecond, host.service_.clock().now()),
        host_(host),
        peer_(std::move(peer)),
        connection_(connection) {
    client_ = host.service_.attach(*this);
  }
  ~Session() {
    host_.service_.detach(client_);
    // Whatever it still holds is free for the others, whether it ended well or not.
    for (std::uint32_t slot : ledger.takeAll()) host_.shared_->release(slot);
  }

  ClientId client() const { return client_; }
  const std::string& peer() const { return peer_; }
  ConnectionId connection() const { return connection_; }
  std::uint8_t maps(NodeId node) const {
    auto found = subscriptions_.find(node);
    return found == subscriptions_.end() ? 0 : found->second;
  }
  void subscribe(NodeId node, std::uint8_t maps) {
    if (maps == 0) {
      subscriptions_.erase(node);
      missed_.erase(node);
    } else {
      subscriptions_[node] = maps;
    }
  }
  // Sends a produced sample; counts it as missed when the client's queue is full, or when it
  // would hold more shared buffers than it may.
  void sendSample(protocol::SamplePush sample, const SampleMaps& maps, const SharedMaps& shared,
                  std::int32_t skipped) {
    std::int32_t& missed = missed_[sample.node];
    sample.droppedSampleCount = missed + skipped;
    const std::uint8_t wanted = this->maps(sample.node);
    SharedMaps mine;
    for (const auto& [flag, place] : shared) {
      if (mapped && (wanted & flag) != 0) mine.emplace_back(flag, place);
    }
    if (ledger.room(mine.size()) &&
        host_.link_.send(peer_, sampleMessage(sample, maps, wanted, mine), true)) {
      missed = 0;
      for (const auto& [flag, place] : mine) {
        ledger.take(place);
        host_.shared_->hold(place.slot);
      }
    } else {
      missed += skipped + 1;
      ++refused;
    }
  }
  long refused = 0;
  bool mapped = false;  // it reads maps from the shared region
  BufferLedger ledger;  // the shared buffers it holds
  RequestBudget budget;

 private:
  void topologyChanged(const detail::TopologyChange& change) override {
    // A node that comes back is a new stream: the client subscribes to it again.
    if (change.type == detail::TopologyChange::Type::NodeRemoved) subscribe(change.node.id, 0);
    std::vector<std::uint8_t> bytes;
    protocol::encodeReply(bytes, 0, protocol::TopologyPush{change});
    host_.link_.send(peer_, {protocol::ownedCopy(bytes)}, false);
  }

  // A sample made by hand in a test reaches every client as it was made.
  void sampleInjected(NodeId node, const detail::SampleRecord& injected) override {
    protocol::SamplePush sample;
    sample.node = node;
    std::visit(
        [&](const auto& record) {
          sample.index = record.sampleIndex;
          sample.timeOfCapture = record.timeOfCapture;
          sample.droppedSampleCount = record.droppedSampleCount;
        },
        injected);
    sample.position = sample.index;
    SampleMaps maps;
    protocol::writeSample(injected, sample, maps);
    host_.link_.send(peer_, sampleMessage(sample, maps, 0xff), false);
  }

  ServiceHost& host_;
  std::string peer_;
  ConnectionId connection_;
  ClientId client_ = 0;
  std::map<NodeId, std::uint8_t> subscriptions_;
  std::map<NodeId, std::int32_t> missed_;
};

ServiceHost::ServiceHost(detail::Service& service, PeerLink& link, LogFunction log)
    : service_(service), link_(link), log_(std::move(log)) {}

ServiceHost::~ServiceHost() {
  sessionOrder_.clear();
  sessions_.clear();
}

void ServiceHost::log(int level, const std::string& line) const {
  if (log_) log_(level, line);
}

void ServiceHost::reply(const std::string& peer, std::uint32_t correlation,
                        const protocol::ServerMessage& message) {
  protocol::encodeReply(scratch_, correlation, message);
  link_.send(peer, {protocol::ownedCopy(scratch_)}, false);
}

void ServiceHost::refuse(const std::string& peer, ConnectionId connection, const std::string& why) {
  drop(peer, connection, why, true);
}

void ServiceHost::receive(const std::string& peer, ConnectionId connection,
                          const std::uint8_t* data, std::size_t size) {
  // A routing id is never on two open connections at once: one seen on a new connection
  // means the connection it had before has closed, whatever the monitor has said so far.
  if (auto ban = banned_.find(peer); ban != banned_.end()) {
    if (connection != kNoConnection && ban->second.connection != connection) {
      banned_.erase(ban);
    } else if (ban->second.mayGreet && isHello(data, size)) {
      banned_.erase(ban);
    } else {
      return;
    }
  }
  if (auto found = sessions_.find(peer); found != sessions_.end() && connection != kNoConnection &&
                                         found->second->connection() != connection) {
    drop(peer, found->second->connection(), "its connection closed", false);
  }
  if (size > protocol::kMaxRequestSize) {
    drop(peer, connection,
         "it sent a request of " + std::to_string(size) + " bytes, more than " +
             std::to_string(protocol::kMaxRequestSize),
         true);
    return;
  }
  protocol::DecodedRequest request;
  try {
    const protocol::Header header = protocol::readHeader(data, size);
    if (header.version != protocol::kVersion && header.type == MessageType::Hello) {
      // A client of another version learns why, in the one reply whose layout never changes.
      reply(peer, header.correlation,
            protocol::Failed{ExceptionKind::IO, "this camera service speaks protocol version " +
                                                    std::to_string(protocol::kVersion) +
                                                    ", the client " +
                                                    std::to_string(header.version)});
      // That answer is all it gets: nothing else it sends could be read.
      banned_[peer] = Ban{connection, false};
      return;
    }
    request = protocol::decodeRequest(data, size);
  } catch (const protocol::ProtocolError& error) {
    drop(peer, connection, std::string("it sent a malformed message: ") + error.what(), true);
    return;
  }
  auto found = sessions_.find(peer);
  if (found != sessions_.end() && std::holds_alternative<protocol::Hello>(request.request)) {
    // A client greets again when it has taken the service for gone (a reply that came too late,
    // a service that was stopped a while): it holds nothing now, so neither may its session.
    drop(peer, found->second->connection(), "it greeted again", false);
    found = sessions_.end();
  }
  if (found == sessions_.end()) {
    // A client's goodbye may come after its connection was seen to close, and its heartbeats
    // go on while it greets: nothing to end or answer.
    // Buffers given back late belong to a session that has ended, which gave them all back.
    if (std::holds_alternative<protocol::Bye>(request.request) ||
        std::holds_alternative<protocol::Heartbeat>(request.request) ||
        std::holds_alternative<protocol::GiveBack>(request.request)) {
      spendWithoutSession(peer, connection);
      return;
    }
    if (!std::holds_alternative<protocol::Hello>(request.request)) {
      drop(peer, connection, "it did not say hello first", true);
      return;
    }
    sessionless_.erase(peer);
    found = sessions_.emplace(peer, std::make_unique<Session>(*this, peer, connection)).first;
    sessionOrder_.push_back(peer);
  }
  Session& session = *found->second;
  if (std::holds_alternative<protocol::GiveBack>(request.request) ||
      std::holds_alternative<protocol::Mapped>(request.request)) {
    const std::string broken = sharedRequest(session, request.request);
    if (!broken.empty()) drop(peer, connection, broken, true);
    return;
  }
  if (!session.budget.spend(service_.clock().now())) {
    drop(peer, connection, tooManyRequests(), true);
    return;
  }
  if (std::holds_alternative<protocol::Bye>(request.request)) {
    drop(peer, connection, "it said goodbye", false);
    return;
  }
  if (std::holds_alternative<protocol::Heartbeat>(request.request)) {
    // An answer the client's queue may refuse: then it has other messages to hear.
    std::vector<std::uint8_t> alive;
    protocol::encodeReply(alive, 0, protocol::Alive{});
    link_.send(peer, {protocol::ownedCopy(alive)}, true);
    return;
  }
  protocol::ServerMessage answered;
  try {
    answered = answer(session, request);
  } catch (const Exception& error) {
    answered = protocol::Failed{error.kind(), error.what()};
  } catch (const protocol::ProtocolError& error) {
    drop(peer, connection, std::string("it sent a malformed request: ") + error.what(), true);
    return;
  } catch (const std::exception& error) {
    // No request should get here; if one does, it ends that client, not the service.
    log(0, "a request failed unexpectedly: " + detail::printable(error.what()));
    drop(peer, connection, std::string("its request failed unexpectedly: ") + error.what(), true);
    return;
  }
  reply(peer, request.header.correlation, answered);
}

protocol::ServerMessage ServiceHost::answer(Session& session,
                                            const protocol::DecodedRequest& request) {
  const ClientId client = session.client();
  return std::visit(
      Overloaded{
          [&](const protocol::Hello& m) -> protocol::ServerMessage {
            // Other clients are told this name, and the log shows it: never as sent.
            const std::string name = detail::printable(m.clientName);
            if (!name.empty()) service_.nameClient(client, name);
            connects_.dropped(service_.clock().now(),
                              "client " + std::to_string(client) + " (" + name + ") connected");
            return protocol::Welcome{client, shared_ ? shared_->offer() : protocol::RegionOffer{}};
          },
          [&](const protocol::Enter& m) -> protocol::ServerMessage {
            if (m.operation >= detail::allOperations().size()) {
              throw protocol::ProtocolError("unknown operation " + std::to_string(m.operation));
            }
            service_.enter(static_cast<detail::SdkOperation>(m.operation), m.subject);
            return protocol::Done{};
          },
          [&](const protocol::ListDevices&) -> protocol::ServerMessage {
            return protocol::DeviceList{service_.devices()};
          },
          [&](const protocol::NodeRequest& m) -> protocol::ServerMessage {
            switch (request.header.type) {
              case MessageType::IsPlugged:
                return protocol::Flag{service_.isPlugged(m.node)};
              case MessageType::RequestControl:
                service_.requestControl(client, m.node);
                return protocol::Done{};
              case MessageType::ReleaseControl:
                service_.releaseControl(client, m.node);
                return protocol::Done{};
              default:
                break;
            }
            const detail::NodeConfiguration configuration = service_.configuration(m.node);
            if (!configuration.isSet()) {
              throw InvalidOperationException("this node has no configuration");
            }
            return protocol::ConfigurationRecord{configuration.bytes()};
          },
          [&](const protocol::SetConfiguration& m) -> protocol::ServerMessage {
            std::optional<detail::NodeConfiguration> configuration =
                detail::NodeConfiguration::fromBytes(m.kind, m.record);
            if (!configuration) {
              throw protocol::ProtocolError("a configuration record of " +
                                            std::to_string(m.record.size()) + " bytes for a " +
                                            nodeKindName(m.kind) + " node");
            }
            service_.setConfiguration(client, m.node, *configuration);
            return protocol::Done{};
          },
          [&](const protocol::SetMixerLevel& m) -> protocol::ServerMessage {
            service_.setInputMixerLevel(client, m.node, m.level);
            return protocol::Done{};
          },
          [&](const protocol::Subscribe& m) -> protocol::ServerMessage {
            if (m.maps & ~detail::kEveryMap) {
              throw protocol::ProtocolError("unknown map bits");
            }
            // A node that has gone has nothing to send; the client hears of it anyway.
            if (m.maps != 0 && !service_.isPlugged(m.node)) return protocol::Done{};
            session.subscribe(m.node, m.maps);
            refreshStream(m.node);
            return protocol::Done{};
          },
          [&](const protocol::Bye&) -> protocol::ServerMessage { return protocol::Done{}; },
          [&](const protocol::Heartbeat&) -> protocol::ServerMessage { return protocol::Done{}; },
          [&](const protocol::Mapped&) -> protocol::ServerMessage { return protocol::Done{}; },
          [&](const protocol::GiveBack&) -> protocol::ServerMessage { return protocol::Done{}; },
      },
      request.request);
}

void ServiceHost::drop(const std::string& peer, ConnectionId connection, const std::string& why,
                       bool ban) {
  auto found = sessions_.find(peer);
  if (ban) {
    banned_[peer] = Ban{found == sessions_.end() ? connection : found->second->connection(), false};
    // Told once, so that a client that broke the rules by mistake learns why its calls fail.
    reply(peer, 0, protocol::Goodbye{"this client was dropped: " + why});
  }
  if (found == sessions_.end()) {
    drops_.dropped(service_.clock().now(), "a client is ignored: " + detail::printable(why));
    return;
  }
  drops_.dropped(service_.clock().now(),
                 "client " + std::to_string(found->second->client()) + " dropped: " +
                     detail::printable(why) + " (" + std::to_string(found->second->refused) +
                     " samples it could not take" + ignoredGiveBacks(found->second->ledger) + ")");
  sessionOrder_.erase(std::remove(sessionOrder_.begin(), sessionOrder_.end(), peer),
                      sessionOrder_.end());
  std::unique_ptr<Session> gone = std::move(found->second);
  sessions_.erase(found);
  gone.reset();  // detaches from the service, which gives back its nodes
  std::vector<NodeId> nodes;
  for (const Stream& stream : streams_) nodes.push_back(stream.node);
  for (NodeId node : nodes) refreshStream(node);
}

// What is ignored without a session costs the budget a session would have, so that a peer
// cannot send it without end.
void ServiceHost::spendWithoutSession(const std::string& peer, ConnectionId connection) {
  const detail::Nanoseconds now = service_.clock().now();
  auto [idle, fresh] =
      sessionless_.try_emplace(peer, Sessionless{connection, {kRequestsPerSecond, now}});
  if (!fresh && idle->second.connection != connection) {
    idle->second = Sessionless{connection, {kRequestsPerSecond, now}};
  }
  if (!idle->second.budget.spend(now)) {
    sessionless_.erase(idle);
    drop(peer, connection, tooManyRequests(), true);
    return;
  }
  if (sessionless_.size() <= sessionlessSweepAt_) return;
  for (auto entry = sessionless_.begin(); entry != sessionless_.end();) {
    entry = entry->second.budget.refilled(now) ? sessionless_.erase(entry) : std::next(entry);
  }
  sessionlessSweepAt_ = std::max<std::size_t>(256, 2 * sessionless_.size());
}

void ServiceHost::peerGone(const std::string& peer, const std::string& why) {
  banned_.erase(peer);
  sessionless_.erase(peer);
  drop(peer, -1, why, false);
}

void ServiceHost::connectionClosed(ConnectionId connection) {
  if (connection == kNoConnection) return;
  // A ban lasts as long as the connection: the next one from that client starts afresh.
  forgetConnection(&banned_, connection);
  forgetConnection(&sessionless_, connection);
  std::vector<std::string> gone;
  for (const auto& [peer, session] : sessions_) {
    if (session->connection() == connection) gone.push_back(peer);
  }
  for (const std::string& peer : gone) drop(peer, connection, "its connection closed", false);
}

void ServiceHost::peerSilent(const std::string& peer, const std::string& why) {
  auto found = sessions_.find(peer);
  if (found == sessions_.end()) return;
  const ConnectionId connection = found->second->connection();
  reply(peer, 0, protocol::Goodbye{"this client was dropped: " + why});
  drop(peer, connection, why, false);
  banned_[peer] = Ban{connection, true};
}

void ServiceHost::sayGoodbye(const std::string& reason) {
  std::vector<std::uint8_t> bytes;
  protocol::encodeReply(bytes, 0, protocol::Goodbye{reason});
  for (const std::string& peer : sessionOrder_)
    link_.send(peer, {protocol::ownedCopy(bytes)}, false);
}

std::vector<ServiceHost::Session*> ServiceHost::subscribersOf(NodeId node) const {
  std::vector<Session*> subscribers;
  for (const std::string& peer : sessionOrder_) {
    Session* session = sessions_.at(peer).get();
    if (session->maps(node) != 0) subscribers.push_back(session);
  }
  return subscribers;
}

std::uint8_t ServiceHost::wantedMaps(NodeId node) const {
  std::uint8_t all = 0;
  for (Session* session : subscribersOf(node)) all |= session->maps(node);
  return all;
}

void ServiceHost::refreshStream(NodeId node) {
  auto stream = std::find_if(streams_.begin(), streams_.end(),
                             [node](const Stream& s) { return s.node == node; });
  const bool watched = !subscribersOf(node).empty() && service_.isPlugged(node);
  const std::int32_t perSecond = watched ? service_.samplesPerSecond(node) : 0;
  if (!watched) {
    if (stream != streams_.end()) {
      streams_.erase(stream);
      service_.stopCapture(node);
    }
    return;
  }
  if (stream == streams_.end()) {
    stream = streams_.insert(streams_.end(), Stream{node, {}});
    service_.startCapture(node);
  }
  if (service_.isLive(node)) return;
  if (perSecond <= 0) {
    stream->cursor.disarm();
  } else if (!stream->cursor.armed()) {
    if (detail::SampleTimeline* timeline = service_.timeline(node)) {
      stream->cursor.follow(*timeline, service_.clock().now());
    } else {
      stream->cursor.arm(service_.clock().now(), perSecond);
    }
  } else {
    stream->cursor.retime(perSecond);
  }
}

Nanoseconds ServiceHost::nextDue() const {
  Nanoseconds due = Nanoseconds::max();
  Nanoseconds action{};
  if (service_.nextActionTime(&action)) due = action;
  for (const Stream& stream : streams_) {
    if (stream.cursor.armed()) due = std::min(due, stream.cursor.nextDue());
  }
  return due;
}

Nanoseconds ServiceHost::nextDueFor(const std::string& peer) const {
  Nanoseconds due = Nanoseconds::max();
  Nanoseconds action{};
  if (service_.nextActionTime(&action)) due = action;
  auto session = sessions_.find(peer);
  if (session == sessions_.end()) return due;
  for (const Stream& stream : streams_) {
    if (stream.cursor.armed() && session->second->maps(stream.node) != 0) {
      due = std::min(due, stream.cursor.nextDue());
    }
  }
  return due;
}

void ServiceHost::runDue() {
  drops_.flush(service_.clock().now());
  connects_.flush(service_.clock().now());
  Nanoseconds action{};
  while (service_.nextActionTime(&action) && action <= service_.clock().now()) {
    service_.runNextAction();
  }
  service_.pumpSources();
  std::vector<NodeId> nodes;
  for (const Stream& stream : streams_) nodes.push_back(stream.node);
  const Nanoseconds now = service_.clock().now();
  for (NodeId node : nodes) {
    refreshStream(node);
    auto stream = std::find_if(streams_.begin(), streams_.end(),
                               [node](const Stream& s) { return s.node == node; });
    if (stream != streams_.end() && service_.isLive(node)) {
      const bool vertices = (wantedMaps(node) & detail::kVertices) != 0;
      if (auto captured = service_.takeCaptured(node, vertices)) sendCaptured(*stream, *captured);
      continue;
    }
    if (stream == streams_.end() || !stream->cursor.armed() || stream->cursor.nextDue() > now) {
      continue;
    }
    std::int32_t skipped = 0;
    const std::int64_t index = stream->cursor.take(now, &skipped);
    produce(*stream, index, skipped);
  }
}

void ServiceHost::produce(const Stream& stream, std::int64_t index, std::int32_t skipped) {
  protocol::SamplePush sample;
  sample.node = stream.node;
  sample.index = index;
  sample.position = index;
  sample.timeOfCapture = microseconds(stream.cursor.due(index));
  deliver(sample, service_.sample(stream.node, index, wantedMaps(stream.node)), skipped);
}

void ServiceHost::sendCaptured(Stream& stream, const detail::CapturedSample& captured) {
  protocol::SamplePush sample;
  sample.node = stream.node;
  sample.index = stream.captured++;
  sample.position = sample.index;
  sample.timeOfCapture = microseconds(captured.timeOfCapture);
  deliver(sample, captured.record, captured.dropped);
}

void ServiceHost::deliver(protocol::SamplePush sample, const detail::SampleRecord& record,
                          std::int32_t skipped) {
  // A record of another kind than its node's would reach handlers that cannot read it.
  if (detail::kindOf(record) != service_.kindOf(sample.node)) return;
  SampleMaps maps;
  protocol::writeSample(record, sample, maps);
  service_.noteDelivered(sample.node);
  const std::vector<Session*> subscribers = subscribersOf(sample.node);
  // Each larger map that a client reading shared memory wants is placed there once for all of
  // them; the host holds it while it sends, and it is free again if nobody took it. A client
  // that holds all it may would not take it: for it alone, nothing is copied.
  std::uint8_t sharedWanted = 0;
  for (Session* session : subscribers) {
    const std::uint8_t wanted = session->maps(sample.node);
    std::size_t buffers = 0;
    for (const auto& [flag, frame] : maps) {
      if ((wanted & flag) != 0 && frame.size >= SharedSlots::kShareFrom) ++buffers;
    }
    if (session->mapped && session->ledger.room(buffers)) sharedWanted |= wanted;
  }
  SharedMaps shared;
  if (shared_ && sharedWanted != 0) {
    for (const auto& [flag, frame] : maps) {
      if ((sharedWanted & flag) == 0 || frame.size < SharedSlots::kShareFrom) continue;
      if (auto place = shared_->place(frame.data, frame.size)) shared.emplace_back(flag, *place);
    }
  }
  for (Session* session : subscribers) session->sendSample(sample, maps, shared, skipped);
  for (const auto& [flag, place] : shared) shared_->release(place.slot);
}

std::string ServiceHost::sharedRequest(Session& session, const protocol::Request& request) {
  if (const auto* mapped = std::get_if<protocol::Mapped>(&request)) {
    if (!shared_ || mapped->region != shared_->id()) return "it mapped a region it was not offered";
    session.mapped = true;
    return {};
  }
  // Buffers given back cost the client nothing, since it can give back only what it was sent;
  // a give-back that frees nothing counts as a request.
  bool freed = false;
  for (const protocol::BufferId& buffer : std::get<protocol::GiveBack>(request).buffers) {
    if (!session.ledger.giveBack(buffer)) continue;
    shared_->release(buffer.slot);
    freed = true;
  }
  if (!freed && !session.budget.spend(service_.clock().now())) {
    return tooManyRequests();
  }
  return {};
}

}  // namespace server
}  // namespace CamSdk
