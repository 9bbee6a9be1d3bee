// The camera service as its clients meet it, whatever carries the messages: a session per
// client, the answer to each request, and the samples pushed to the clients that asked.
//
// Contract of one turn (runDue): first the service's timed actions that are due, in the order
// they were scheduled (their hot-plug notices go out at once, in the order raised); then each
// stream whose next sample is due, in the order the streams started: its newest due sample is
// produced once and sent to every subscribed client, with the maps that client asked for. A
// stream that fell behind skips to its newest due sample; a client whose queue is full misses
// that sample alone. Either way the next sample a client gets counts what it missed in
// droppedSampleCount. A stream that nobody watches any more stops and starts again at sample 0.
// A live node (a capture device) is not paced by the clock: its live source is pumped at the
// start of the turn, and the newest frame it captured goes out like a due sample, stamped with
// its capture time and counting the frames the camera lost.
//
// A client that breaks the protocol (a malformed or oversized request, an unknown type, a
// length that lies), floods the host with requests, or makes a request fail in a way no
// client should, is dropped: it is told why in a Goodbye, its nodes are given back, and its
// messages are ignored until its connection closes. The other clients go on as before.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "protocol/Messages.h"
#include "server/BufferLedger.h"
#include "server/ConnectionNumbers.h"
#include "server/DropSummary.h"
#include "server/PeerLink.h"
#include "server/RequestBudget.h"
#include "server/SharedSlots.h"
#include "service/Service.h"
#include "service/StreamCursor.h"

namespace CamSdk {
namespace server {

using LogFunction = std::function<void(int level, const std::string& line)>;

class ServiceHost {
 public:
  // A client may make this many requests a second on average (twice as many in a burst)
  // before it counts as flooding.
  static constexpr int kRequestsPerSecond = 2000;

  ServiceHost(detail::Service& service, PeerLink& link, LogFunction log = {});
  ~ServiceHost();
  ServiceHost(const ServiceHost&) = delete;
  ServiceHost& operator=(const ServiceHost&) = delete;

  detail::Service& service() { return service_; }
  // Offers these slots to every client that greets from now on: a client that says it mapped
  // them gets its samples' larger maps there instead of in the message.
  void shareMaps(std::unique_ptr<SharedSlots> slots) { shared_ = std::move(slots); }
  const SharedSlots* sharedSlots() const { return shared_.get(); }

  // One request from `peer` on `connection` (a number unique to that connection, or
  // kNoConnection when the transport has no connections to tell apart).
  void receive(const std::string& peer, ConnectionId connection, const std::uint8_t* data,
               std::size_t size);
  // The peer broke the protocol in a way the transport saw (a request in several frames).
  void refuse(const std::string& peer, ConnectionId connection, const std::string& why);
  bool ignored(const std::string& peer) const { return banned_.count(peer) > 0; }
  bool hasSession(const std::string& peer) const { return sessions_.count(peer) > 0; }
  // Peers without a session whose budget is kept (a test's view of its bound).
  std::size_t peersWithoutSession() const { return sessionless_.size(); }
  // The connection closed, or `peer` went away.
  void connectionClosed(ConnectionId connection);
  void peerGone(const std::string& peer, const std::string& why);
  // The peer has been silent too long: its session ends and it is told why; on the same
  // connection it is heard again only when it says hello.
  void peerSilent(const std::string& peer, const std::string& why);

  // The service-clock time of the next timed action or sample; Nanoseconds::max() for none.
  detail::Nanoseconds nextDue() const;
  // The same, counting only the streams that `peer` watches.
  detail::Nanoseconds nextDueFor(const std::string& peer) const;
  // Runs what is due at the service clock's now (see the contract above).
  void runDue();
  // Tells every client the service is going.
  void sayGoodbye(const std::string& reason);
  std::size_t sessionCount() const { return sessions_.size(); }

 private:
  class Session;
  struct Stream {
    detail::NodeId node;
    detail::StreamCursor cursor;  // unused for a live node, which the camera paces
    std::int64_t captured = 0;    // a live node's samples sent so far
  };

  protocol::ServerMessage answer(Session& session, const protocol::DecodedRequest& request);
  void reply(const std::string& peer, std::uint32_t correlation,
             const protocol::ServerMessage& message);
  // Ends the peer's session; a banned peer is told why and ignored until its connection closes.
  void drop(const std::string& peer, ConnectionId connection, const std::string& why, bool ban);
  std::vector<Session*> subscribersOf(detail::NodeId node) const;
  std::uint8_t wantedMaps(detail::NodeId node) const;  // every subscriber's maps together
  // Arms, retimes or ends the node's stream to match its subscribers and rate now.
  void refreshStream(detail::NodeId node);
  void produce(const Stream& stream, std::int64_t index, std::int32_t skipped);
  void sendCaptured(Stream& stream, const detail::CapturedSample& captured);
  // Sends a record of the node's kind, with what `sample` says already, to its subscribers.
  void deliver(protocol::SamplePush sample, const detail::SampleRecord& record,
               std::int32_t skipped);
  // A goodbye, heartbeat or give-back from a peer without a session, which is otherwise ignored.
  void spendWithoutSession(const std::string& peer, ConnectionId connection);
  // A client's Mapped or GiveBack; says why when the client broke the rules doing so.
  std::string sharedRequest(Session& session, const protocol::Request& request);
  void log(int level, const std::string& line) const;

  detail::Service& service_;
  PeerLink& link_;
  LogFunction log_;
  std::unique_ptr<SharedSlots> shared_;  // outlives the sessions, which hold its slots
  // Lines about clients coming and going, bounded in a flood of them.
  DropSummary drops_{log_};
  DropSummary connects_{log_};
  std::map<std::string, std::unique_ptr<Session>> sessions_;  // by peer
  std::vector<std::string> sessionOrder_;                     // peers, in the order they came
  struct Ban {
    ConnectionId connection;
    bool mayGreet;  // a peer dropped for silence may start a new session on the same connection
  };
  std::map<std::string, Ban> banned_;
  // Peers without a session that sent what is ignored without one (a late goodbye, heartbeats
  // while greeting): their budget, until they greet or their connection closes.
  struct Sessionless {
    ConnectionId connection;
    RequestBudget budget;
  };
  std::map<std::string, Sessionless> sessionless_;
  // A goodbye read after its connection's close notice leaves an entry no notice will clear:
  // past this size, entries whose budget has filled again are forgotten (it grows with the map,
  // so that the sweep costs each message a constant share).
  std::size_t sessionlessSweepAt_ = 256;
  std::vector<Stream> streams_;  // in the order they started
  std::vector<std::uint8_t> scratch_;
};

}  // namespace server
}  // namespace CamSdk
