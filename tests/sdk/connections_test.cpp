// Sessions are tied to connections exactly: a close notice ends the connection it was raised
// for, even when its descriptor already carries the next connection, and a routing id seen on
// a new connection starts afresh. The notices and messages are fed in the orders ZeroMQ can
// deliver them.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "protocol/Messages.h"
#include "server/ConnectionNumbers.h"
#include "server/ServiceHost.h"
#include "testing/ServiceFactory.h"

namespace CamSdk {
namespace {

using protocol::MessageType;
using server::ConnectionId;
using server::kNoConnection;

TEST(ConnectionNumbers, EachAcceptedDescriptorIsANewConnection) {
  server::ConnectionNumbers numbers;
  EXPECT_EQ(numbers.accepted(7), kNoConnection);
  const ConnectionId first = numbers.of(7);
  EXPECT_EQ(numbers.closed(7), first);
  EXPECT_EQ(numbers.accepted(7), kNoConnection);
  const ConnectionId second = numbers.of(7);
  EXPECT_NE(second, first);
  // Its descriptor given out again without a close notice read: the old connection has gone.
  EXPECT_EQ(numbers.accepted(7), second);
  EXPECT_NE(numbers.of(7), second);
  // A message read before its connection's notice keeps its number when the notice comes.
  const ConnectionId early = numbers.of(9);
  EXPECT_EQ(numbers.accepted(9), kNoConnection);
  EXPECT_EQ(numbers.of(9), early);
  EXPECT_EQ(numbers.closed(11), kNoConnection);
}

struct Recorder final : server::PeerLink {
  std::map<std::string, std::vector<MessageType>> sent;
  bool send(const std::string& peer, const protocol::FrameList& message, bool) override {
    sent[peer].push_back(protocol::readHeader(message[0].data, message[0].size).type);
    return true;
  }
};

class Sessions : public ::testing::Test {
 protected:
  void say(const std::string& peer, ConnectionId connection, MessageType type,
           const protocol::Request& body) {
    std::vector<std::uint8_t> bytes;
    protocol::encodeRequest(bytes, type, 1, body);
    host.receive(peer, connection, bytes.data(), bytes.size());
  }
  void hello(const std::string& peer, ConnectionId connection) {
    say(peer, connection, MessageType::Hello, protocol::Hello{peer});
  }
  std::shared_ptr<detail::Service> service =
      detail::makeService("sessions", testing::Topology::OneCamera, true);
  Recorder link;
  server::ServiceHost host{*service, link};
};

TEST_F(Sessions, ALateCloseNoticeEndsOnlyItsOwnConnection) {
  hello("a", 0);
  hello("b", 1);  // on the descriptor "a" had: the notice of "a"'s close is read after this
  host.connectionClosed(0);
  EXPECT_FALSE(host.hasSession("a"));
  EXPECT_TRUE(host.hasSession("b"));
  say("b", 1, MessageType::ListDevices, protocol::ListDevices{});
  EXPECT_EQ(link.sent["b"].back(), MessageType::DeviceList);
}

TEST_F(Sessions, ARoutingIdOnANewConnectionStartsAfresh) {
  hello("a", 0);
  say("a", 0, MessageType::RequestControl, protocol::NodeRequest{1});
  // The same id on another connection: the first has closed, and its control went with it.
  hello("a", 5);
  EXPECT_TRUE(host.hasSession("a"));
  host.connectionClosed(0);
  EXPECT_TRUE(host.hasSession("a"));
  hello("other", 6);
  say("other", 6, MessageType::RequestControl, protocol::NodeRequest{1});
  EXPECT_EQ(link.sent["other"].back(), MessageType::Done);
}

// A client that took its service for gone greets again and holds nothing: its session must not
// go on holding its nodes for it.
TEST_F(Sessions, AClientThatGreetsAgainStartsANewSession) {
  hello("a", 0);
  say("a", 0, MessageType::RequestControl, protocol::NodeRequest{1});
  hello("a", 0);
  EXPECT_EQ(link.sent["a"].back(), MessageType::Welcome);
  hello("other", 1);
  say("other", 1, MessageType::RequestControl, protocol::NodeRequest{1});
  EXPECT_EQ(link.sent["other"].back(), MessageType::Done);
}

TEST_F(Sessions, ASilentClientIsToldAndMayGreetAgainOnItsConnection) {
  hello("a", 0);
  say("a", 0, MessageType::RequestControl, protocol::NodeRequest{1});
  host.peerSilent("a", "it sent nothing");
  EXPECT_FALSE(host.hasSession("a"));
  EXPECT_EQ(link.sent["a"].back(), MessageType::Goodbye);
  // What it sent before it heard is passed over; a hello opens a new session.
  say("a", 0, MessageType::ListDevices, protocol::ListDevices{});
  say("a", 0, MessageType::Heartbeat, protocol::Heartbeat{});
  EXPECT_EQ(link.sent["a"].back(), MessageType::Goodbye);
  hello("a", 0);
  EXPECT_EQ(link.sent["a"].back(), MessageType::Welcome);
  say("a", 0, MessageType::Heartbeat, protocol::Heartbeat{});
  EXPECT_EQ(link.sent["a"].back(), MessageType::Alive);
}

// What is ignored without a session (heartbeats, goodbyes, buffers given back) is not free:
// sent without end it gets its peer dropped, and only that peer.
TEST_F(Sessions, MessagesWithoutASessionAreBoundedLikeRequests) {
  hello("other", 1);
  for (int i = 0; i < 2 * server::ServiceHost::kRequestsPerSecond; ++i) {
    say("a", 0, i % 2 == 0 ? MessageType::Heartbeat : MessageType::Bye,
        i % 2 == 0 ? protocol::Request{protocol::Heartbeat{}} : protocol::Request{protocol::Bye{}});
  }
  EXPECT_TRUE(link.sent["a"].empty());
  say("a", 0, MessageType::Heartbeat, protocol::Heartbeat{});
  EXPECT_EQ(link.sent["a"], std::vector<MessageType>{MessageType::Goodbye});
  hello("a", 0);  // ignored as long as that connection lasts
  EXPECT_FALSE(host.hasSession("a"));
  host.connectionClosed(0);
  hello("a", 2);
  EXPECT_TRUE(host.hasSession("a"));
  say("other", 1, MessageType::ListDevices, protocol::ListDevices{});
  EXPECT_EQ(link.sent["other"].back(), MessageType::DeviceList);

  // Goodbyes read after their connections' close notices: what they leave is forgotten.
  for (int i = 0; i < 2000; ++i) {
    const std::string peer = "late" + std::to_string(i);
    hello(peer, 100 + i);
    host.connectionClosed(100 + i);
    say(peer, 100 + i, MessageType::Bye, protocol::Bye{});
    if (i % 500 == 499)
      service->clock().waitUntil(service->clock().now() + std::chrono::seconds(3));
  }
  EXPECT_LE(host.peersWithoutSession(), 1000u);
}

}  // namespace
}  // namespace CamSdk
