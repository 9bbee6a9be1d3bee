// A client that sends garbage, lies about lengths, names unknown types, sends too much at once
// or floods the service is dropped on its own: another client on the same service keeps
// receiving samples throughout, and the service never reads outside what it was sent. Nor does
// a client believe everything a service sends.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>
#include <zmq.hpp>

#include "SdkTestSupport.h"
#include "common/NodeConfiguration.h"
#include "protocol/Messages.h"
#include "server/ServiceServer.h"
#include "service/Service.h"
#include "testing/ServiceFactory.h"
#include "transport/ZmqContext.h"

namespace CamSdk {
namespace {

using protocol::MessageType;
using std::chrono::milliseconds;

std::vector<std::uint8_t> request(MessageType type, const protocol::Request& body,
                                  std::uint32_t correlation = 1) {
  std::vector<std::uint8_t> bytes;
  protocol::encodeRequest(bytes, type, correlation, body);
  return bytes;
}

// A raw DEALER socket on the service's endpoint: it sends whatever it is given.
class RawClient {
 public:
  explicit RawClient(const std::string& endpoint)
      : socket_(transport::zmqContext(), zmq::socket_type::dealer),
        monitor_(transport::zmqContext(), zmq::socket_type::pair) {
    socket_.set(zmq::sockopt::linger, 0);
    const std::string address = "inproc://hostile-monitor-" + std::to_string(next_++);
    zmq_socket_monitor(socket_.handle(), address.c_str(), ZMQ_EVENT_DISCONNECTED);
    monitor_.connect(address);
    socket_.connect(endpoint);
  }
  ~RawClient() { zmq_socket_monitor(socket_.handle(), nullptr, 0); }

  void send(const std::vector<std::uint8_t>& bytes, bool more = false) {
    socket_.send(zmq::buffer(bytes), more ? zmq::send_flags::sndmore : zmq::send_flags::none);
  }
  bool trySend(const std::vector<std::uint8_t>& bytes) {
    return socket_.send(zmq::buffer(bytes), zmq::send_flags::dontwait).has_value();
  }

  // The next message the service sends, if one comes in time.
  std::optional<protocol::DecodedServerMessage> next(milliseconds within) {
    zmq::message_t message;
    if (!socket_.recv(message, zmq::recv_flags::dontwait)) {
      zmq::pollitem_t item{socket_.handle(), 0, ZMQ_POLLIN, 0};
      zmq::poll(&item, 1, within);
      if (!socket_.recv(message, zmq::recv_flags::dontwait)) return std::nullopt;
    }
    EXPECT_FALSE(message.more()) << "this client subscribes to nothing";
    const protocol::Frame frame{message.data<std::uint8_t>(), message.size()};
    return protocol::decodeServerMessage(&frame, 1);
  }
  // The reason of the Goodbye the service sends a client it drops; empty if none comes in
  // time. What comes before it is passed over.
  std::string goodbye(milliseconds within = milliseconds(3000)) {
    const auto until = std::chrono::steady_clock::now() + within;
    for (;;) {
      const auto left =
          std::chrono::duration_cast<milliseconds>(until - std::chrono::steady_clock::now());
      auto message = next(std::max(left, milliseconds(0)));
      if (!message) return std::string();
      if (const auto* bye = std::get_if<protocol::Goodbye>(&message->message)) return bye->reason;
    }
  }
  // Drains what arrived; true if the service sent anything.
  bool heardAnything(milliseconds within) {
    zmq::pollitem_t item{socket_.handle(), 0, ZMQ_POLLIN, 0};
    zmq::poll(&item, 1, within);
    bool heard = false;
    zmq::message_t message;
    while (socket_.recv(message, zmq::recv_flags::dontwait)) heard = true;
    return heard;
  }
  bool disconnected(milliseconds within) {
    zmq::message_t event;
    monitor_.set(zmq::sockopt::rcvtimeo, static_cast<int>(within.count()));
    return monitor_.recv(event).has_value();
  }

 private:
  static inline std::atomic<int> next_{0};
  zmq::socket_t socket_;
  zmq::socket_t monitor_;
};

class HostileClients : public ::testing::Test {
 protected:
  void SetUp() override {
    service_ = detail::makeService("hostile", testing::Topology::OneCamera, false);
    server::ServerOptions options;
    options.endpoint = "tcp://127.0.0.1:*";
    server_ = std::make_unique<server::ServiceServer>(*service_, options);
    endpoint_ = server_->boundEndpoint();
    thread_ = std::thread([this] { server_->run(stop_); });

    viewer_ = Context::create(endpoint_.substr(std::string("tcp://").size()));
    ColorNode color = sdktest::typedNode<ColorNode>(viewer_, "color0");
    sdktest::listen<ColorNode, ColorNode::NewSampleReceivedData>(
        color.newSampleReceivedEvent(), [this](ColorNode, ColorNode::NewSampleReceivedData data) {
          if (data.colorMap.data() != nullptr) ++samples_;
          if (samples_ >= wanted_) viewer_.quit();
        });
    sdktest::listen<Context, Context::DeviceRemovedData>(
        viewer_.deviceRemovedEvent(), [this](Context, Context::DeviceRemovedData) {
          lost_ = true;
          viewer_.quit();
        });
    color.setEnableColorMap(true);
    viewer_.registerNode(color);
    viewer_.startNodes();
  }
  void TearDown() override {
    viewer_ = Context();
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    server_.reset();
  }

  // The well-behaved client gets three more colour maps, and never loses its device.
  void viewerStillServed() {
    wanted_ = samples_ + 3;
    viewer_.run();
    EXPECT_FALSE(lost_);
    EXPECT_GE(samples_, wanted_);
  }

  std::shared_ptr<detail::Service> service_;
  std::unique_ptr<server::ServiceServer> server_;
  std::string endpoint_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  Context viewer_;
  int samples_ = 0;
  int wanted_ = 0;
  bool lost_ = false;
};

TEST_F(HostileClients, MalformedRequestsDropTheirSenderOnly) {
  const auto hello = request(MessageType::Hello, protocol::Hello{"hostile"});
  std::vector<std::uint8_t> unknownType =
      request(MessageType::ListDevices, protocol::ListDevices{});
  unknownType[6] = 99;
  // A configuration record announced as a megabyte long, in a message of a few bytes.
  std::vector<std::uint8_t> lyingLength =
      request(MessageType::SetConfiguration, protocol::SetConfiguration{2, NodeKind::Color, {}});
  const std::uint32_t huge = 1u << 20;
  std::memcpy(lyingLength.data() + 17, &huge, sizeof huge);
  std::vector<std::uint8_t> cutShort = request(MessageType::IsPlugged, protocol::NodeRequest{1});
  cutShort.resize(cutShort.size() - 2);
  std::vector<std::uint8_t> leftOver = request(MessageType::IsPlugged, protocol::NodeRequest{1});
  leftOver.push_back(0);
  std::vector<std::uint8_t> otherVersion =
      request(MessageType::ListDevices, protocol::ListDevices{});
  otherVersion[4] = 7;

  struct Case {
    const char* what;
    std::vector<std::vector<std::uint8_t>> sent;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"garbage first",
       {{'n', 'o', 't', ' ', 'a', ' ', 'm', 'e', 's', 's', 'a', 'g', 'e'}},
       "bad magic"},
      {"no hello", {request(MessageType::ListDevices, protocol::ListDevices{})}, "hello first"},
      {"unknown type", {hello, unknownType}, "unknown request type 99"},
      {"lying length", {hello, lyingLength}, "more needed"},
      {"cut short", {hello, cutShort}, "more needed"},
      {"bytes left over", {hello, leftOver}, "left over"},
      {"other version", {hello, otherVersion}, "protocol version 7"},
      {"empty", {hello, {}}, "more needed"},
  };
  for (const Case& each : cases) {
    SCOPED_TRACE(each.what);
    RawClient hostile(endpoint_);
    for (const auto& bytes : each.sent) hostile.send(bytes);
    const std::string reason = hostile.goodbye();
    EXPECT_NE(reason.find(each.reason), std::string::npos) << reason;
    // From then on it is not heard: even a proper hello gets no answer.
    hostile.send(hello);
    EXPECT_FALSE(hostile.heardAnything(milliseconds(200)));
    viewerStillServed();
  }

  RawClient severalParts(endpoint_);
  severalParts.send(hello);
  severalParts.send(request(MessageType::IsPlugged, protocol::NodeRequest{1}), true);
  severalParts.send({1, 2, 3});
  EXPECT_NE(severalParts.goodbye().find("several parts"), std::string::npos);
  viewerStillServed();
}

TEST_F(HostileClients, AnOversizedRequestClosesItsConnection) {
  RawClient hostile(endpoint_);
  hostile.send(request(MessageType::Hello, protocol::Hello{"hostile"}));
  ASSERT_TRUE(hostile.heardAnything(milliseconds(2000)));  // its Welcome
  std::vector<std::uint8_t> oversized = request(MessageType::Hello, protocol::Hello{"big"});
  oversized.resize(protocol::kMaxRequestSize + 1);
  hostile.send(oversized);
  EXPECT_TRUE(hostile.disconnected(milliseconds(3000)));
  viewerStillServed();
}

TEST_F(HostileClients, AClientOfAnotherVersionIsToldWhyAndHeardNoMore) {
  RawClient other(endpoint_);
  // A client of version 2, from before maps in shared memory: its Welcome would not decode.
  std::vector<std::uint8_t> hello = request(MessageType::Hello, protocol::Hello{"old"}, 5);
  hello[4] = 2;
  other.send(hello);
  const auto reply = other.next(milliseconds(3000));
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->header.correlation, 5u);
  const auto* failed = std::get_if<protocol::Failed>(&reply->message);
  ASSERT_NE(failed, nullptr);
  EXPECT_EQ(failed->kind, ExceptionKind::IO);
  EXPECT_NE(failed->message.find("speaks protocol version 3, the client 2"), std::string::npos)
      << failed->message;
  other.send(hello);
  EXPECT_FALSE(other.heardAnything(milliseconds(200)));
}

// A client's goodbye can reach the service after its connection was seen to close; it must not
// count as a broken rule, or the service would keep a ban for every such client.
TEST_F(HostileClients, AGoodbyeWithoutASessionIsNoOffence) {
  RawClient late(endpoint_);
  late.send(request(MessageType::Bye, protocol::Bye{}, 3));
  EXPECT_FALSE(late.heardAnything(milliseconds(200)));
  late.send(request(MessageType::Hello, protocol::Hello{"late"}, 4));
  const auto reply = late.next(milliseconds(3000));
  ASSERT_TRUE(reply);
  EXPECT_TRUE(std::holds_alternative<protocol::Welcome>(reply->message));
}

TEST_F(HostileClients, AFloodOfRequestsIsCutOff) {
  RawClient hostile(endpoint_);
  hostile.send(request(MessageType::Hello, protocol::Hello{"flood"}));
  const auto listDevices = request(MessageType::ListDevices, protocol::ListDevices{}, 2);
  // Well past the burst a client may make. It reads the replies and keeps at most 200
  // requests unanswered, so that it is the rate that drops it and not a backlog it left unread.
  std::string reason;
  int sent = 0;
  int answered = -1;  // the Welcome is not an answer to the flood
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (reason.empty() && sent < 4 * server::ServiceHost::kRequestsPerSecond &&
         std::chrono::steady_clock::now() < until) {
    if (sent - answered < 200 && hostile.trySend(listDevices)) ++sent;
    while (auto message = hostile.next(milliseconds(0))) {
      if (const auto* bye = std::get_if<protocol::Goodbye>(&message->message)) {
        reason = bye->reason;
        break;
      }
      ++answered;
    }
  }
  if (reason.empty()) reason = hostile.goodbye();
  EXPECT_NE(reason.find("faster than"), std::string::npos) << reason;
  viewerStillServed();
}

// A service that answers like the real one but pushes a sample of the wrong kind for the colour
// node, and a depth record no SDK could have written.
class UntrustworthyService {
 public:
  UntrustworthyService() : router_(transport::zmqContext(), zmq::socket_type::router) {
    router_.set(zmq::sockopt::linger, 0);
    router_.bind("tcp://127.0.0.1:*");
    thread_ = std::thread([this] { serve(); });
  }
  ~UntrustworthyService() {
    stop_ = true;
    thread_.join();
  }
  std::string host() const {
    return router_.get(zmq::sockopt::last_endpoint).substr(std::string("tcp://").size());
  }

 private:
  void send(const zmq::message_t& peer, const std::vector<std::vector<std::uint8_t>>& frames) {
    router_.send(zmq::buffer(peer.data(), peer.size()), zmq::send_flags::sndmore);
    for (std::size_t i = 0; i < frames.size(); ++i) {
      router_.send(zmq::buffer(frames[i]),
                   i + 1 < frames.size() ? zmq::send_flags::sndmore : zmq::send_flags::none);
    }
  }
  void push(const zmq::message_t& peer, NodeKind kind, std::int64_t index) {
    protocol::SamplePush sample;
    sample.node = 1;  // color0
    sample.kind = kind;
    sample.index = index;
    sample.frameFormat = FRAME_FORMAT_QQVGA;
    const std::uint8_t map = kind == NodeKind::Color ? detail::kColorMap : detail::kDepthMap;
    const std::vector<std::uint8_t> bytes(160 * 120 * 2, 0x80);
    sample.maps = {protocol::MapView{map, bytes.size(), false, {}}};
    std::vector<std::uint8_t> head;
    protocol::encodeSample(head, sample);
    send(peer, {head, bytes});
  }
  void serve() {
    while (!stop_) {
      zmq::pollitem_t item{router_.handle(), 0, ZMQ_POLLIN, 0};
      zmq::poll(&item, 1, milliseconds(20));
      zmq::message_t peer;
      zmq::message_t body;
      if (!router_.recv(peer, zmq::recv_flags::dontwait)) continue;
      if (!router_.recv(body)) continue;
      const auto request = protocol::decodeRequest(body.data<std::uint8_t>(), body.size());
      protocol::ServerMessage reply = protocol::Done{};
      switch (request.header.type) {
        case MessageType::Hello:
          reply = protocol::Welcome{1, {}};
          break;
        case MessageType::ListDevices:
          reply = protocol::DeviceList{{{0,
                                         "camera0",
                                         {{0, NodeKind::Depth, "depth0"},
                                          {1, NodeKind::Color, "color0"},
                                          {2, NodeKind::Audio, "audio0"}}}}};
          break;
        case MessageType::GetConfiguration: {
          DepthNode::Configuration record{FRAME_FORMAT_QQVGA, 25, DepthNode::CameraMode::Close,
                                          false};
          std::vector<std::uint8_t> bytes = detail::NodeConfiguration(record).bytes();
          bytes[offsetof(DepthNode::Configuration, saturation)] = 2;
          reply = protocol::ConfigurationRecord{bytes};
          break;
        }
        default:
          break;
      }
      if (request.header.type == MessageType::Bye) continue;
      std::vector<std::uint8_t> bytes;
      protocol::encodeReply(bytes, request.header.correlation, reply);
      send(peer, {bytes});
      if (request.header.type == MessageType::Subscribe) {
        push(peer, NodeKind::Depth, 1);
        push(peer, NodeKind::Color, 2);
      }
    }
  }

  zmq::socket_t router_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST(UntrustworthyServices, ASampleOfAnotherKindOrABoolOfAnotherValueNeverReachesTheProgram) {
  UntrustworthyService service;
  Context context = Context::create(service.host());
  ColorNode color = sdktest::typedNode<ColorNode>(context, "color0");
  std::vector<std::int64_t> seen;
  sdktest::listen<ColorNode, ColorNode::NewSampleReceivedData>(
      color.newSampleReceivedEvent(), [&](ColorNode, ColorNode::NewSampleReceivedData data) {
        seen.push_back(data.sampleIndex);
        context.quit();
      });
  color.setEnableColorMap(true);
  context.registerNode(color);
  context.startNodes();
  context.run();
  EXPECT_EQ(seen, std::vector<std::int64_t>{2});

  DepthNode depth = sdktest::typedNode<DepthNode>(context, "depth0");
  try {
    depth.getConfiguration();
    ADD_FAILURE() << "a depth record with saturation byte 2 was handed out";
  } catch (const IOException& error) {
    EXPECT_NE(std::string(error.what()).find("saturation byte is 2"), std::string::npos)
        << error.what();
  }
}

}  // namespace
}  // namespace CamSdk
