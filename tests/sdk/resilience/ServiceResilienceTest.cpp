// camsdk-service in a process of its own against clients that misbehave: a flood of requests
// that reads nothing, a holder of a node that is stopped (SIGSTOP) and continued, connections
// that come and go under load. Throughout, a well-behaved client (the watcher) streams colour
// and never loses its camera. Each test has a service and an ipc endpoint of its own.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>
#include <zmq.hpp>

#include "ChildProcess.h"
#include "camsdk/CamSdk.h"
#include "common/EventAccess.h"
#include "protocol/Messages.h"
#include "transport/SocketOptions.h"
#include "transport/ZmqContext.h"

namespace CamSdk {
namespace {

using std::chrono::milliseconds;
using Steady = std::chrono::steady_clock;

// Calls a lambda for each event.
template <class T, class Data>
class Forward final : public EventHandler<T, Data> {
 public:
  explicit Forward(std::function<void(T, Data)> function) : function_(std::move(function)) {}
  bool isSameHandler(EventHandlerBase* other) const override { return other == this; }
  void deliver(T source, Data data) override { function_(source, data); }

 private:
  std::function<void(T, Data)> function_;
};

template <class T, class Data>
void on(Event<T, Data>& event, std::function<void(T, Data)> function) {
  detail::EventAccess::connect(event, new Forward<T, Data>(std::move(function)));
}

std::vector<std::uint8_t> request(protocol::MessageType type, const protocol::Request& body,
                                  std::uint32_t correlation) {
  std::vector<std::uint8_t> bytes;
  protocol::encodeRequest(bytes, type, correlation, body);
  return bytes;
}

// A DEALER socket with the SDK's own options, speaking the protocol by hand.
class RawClient {
 public:
  RawClient(const std::string& endpoint, bool zmtpHeartbeats = false)
      : socket_(transport::zmqContext(), zmq::socket_type::dealer) {
    transport::applyCommonOptions(socket_);
    if (zmtpHeartbeats) {  // as the SDK's clients of protocol version 1 set them
      socket_.set(zmq::sockopt::heartbeat_ivl, 250);
      socket_.set(zmq::sockopt::heartbeat_timeout, 1000);
      socket_.set(zmq::sockopt::heartbeat_ttl, 2000);
    }
    socket_.connect(endpoint);
  }
  bool send(const std::vector<std::uint8_t>& bytes) {
    return socket_.send(zmq::buffer(bytes), zmq::send_flags::dontwait).has_value();
  }
  // The next message, if one comes in time.
  std::optional<protocol::DecodedServerMessage> next(milliseconds within) {
    zmq::pollitem_t item{socket_.handle(), 0, ZMQ_POLLIN, 0};
    zmq::poll(&item, 1, within);
    zmq::message_t message;
    if (!socket_.recv(message, zmq::recv_flags::dontwait)) return std::nullopt;
    const protocol::Frame frame{message.data<std::uint8_t>(), message.size()};
    return protocol::decodeServerMessage(&frame, 1);
  }
  // Sends `bytes` and waits for the reply to `correlation`; a Goodbye or silence is a failure.
  std::string call(const std::vector<std::uint8_t>& bytes, std::uint32_t correlation) {
    if (!send(bytes)) return "could not send";
    const auto until = Steady::now() + milliseconds(2000);
    while (Steady::now() < until) {
      auto reply = next(milliseconds(100));
      if (!reply) continue;
      if (const auto* bye = std::get_if<protocol::Goodbye>(&reply->message)) return bye->reason;
      if (reply->header.correlation == correlation) return {};
    }
    return "no reply within 2 s";
  }

 private:
  zmq::socket_t socket_;
};

class ServiceResilience : public ::testing::Test {
 protected:
  void SetUp() override {
    static int count = 0;
    const std::string name = "/tmp/camsdk-resilience-" + std::to_string(getpid()) + "-" +
                             std::to_string(count++);
    endpoint_ = "ipc://" + name + ".sock";
    setenv("CAMSDK_ENDPOINT", endpoint_.c_str(), 1);
    const char* path = getenv("DV_SERVICE");
    service_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{path ? path : DV_SERVICE_PATH, "--no-v4l2", "--endpoint",
                                 endpoint_, "--log-level", "info"},
        name + ".log");
    for (int attempt = 0; attempt < 5 && !context_.isSet(); ++attempt) {
      try {
        context_ = Context::create("localhost");
      } catch (const IOException&) {
      }
    }
    ASSERT_TRUE(context_.isSet()) << "no service answered on " << endpoint_;
    List<Device> devices = context_._p_getDevices();
    ASSERT_EQ(devices.size(), 1);
    List<Node> nodes = devices[0]._p_getNodes();
    for (int i = 0; i < nodes.size(); ++i) {
      if (nodes[i].is<ColorNode>()) color_ = nodes[i].as<ColorNode>();
    }
    ASSERT_TRUE(color_.isSet());
    on<ColorNode, ColorNode::NewSampleReceivedData>(
        color_.newSampleReceivedEvent(), [this](ColorNode, ColorNode::NewSampleReceivedData) {
          ++samples_;
          if (Steady::now() >= pumpUntil_) context_.quit();
        });
    on<Context, Context::DeviceRemovedData>(context_.deviceRemovedEvent(),
                                            [this](Context, Context::DeviceRemovedData) {
                                              lost_ = true;
                                              context_.quit();
                                            });
    color_.setEnableColorMap(true);
    context_.registerNode(Node(color_));
    context_.startNodes();
  }
  void TearDown() override {
    color_ = ColorNode();
    context_ = Context();
    if (service_) {
      const int status = service_->stop();
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "service status " << status;
    }
    unsetenv("CAMSDK_ENDPOINT");
  }

  // Runs the watcher's loop for `span` (to the first colour sample after it). It stays
  // served: its camera never goes.
  void pump(milliseconds span) {
    pumpUntil_ = Steady::now() + span;
    context_.run();
    ASSERT_FALSE(lost_) << "the well-behaved client lost its camera";
  }
  bool tryControl() {
    try {
      context_.requestControl(Node(color_), 0);
      return true;
    } catch (const UnauthorizedAccessException&) {
      return false;
    }
  }
  std::string client() const { return DV_RESILIENCE_CLIENT_PATH; }

  std::string endpoint_;
  std::unique_ptr<ChildProcess> service_;
  Context context_;
  ColorNode color_;
  long samples_ = 0;
  bool lost_ = false;
  Steady::time_point pumpUntil_;
};

// A flood of requests that reads nothing, again and again, with the SDK's socket options and
// with ZeroMQ's heartbeats on as well (a client of the previous version): each flooder is
// dropped alone, the service stays up and the watcher streams on.
TEST_F(ServiceResilience, RepeatedFloodsLeaveTheServiceUp) {
  constexpr int kFloods = 8;
  for (int flood = 0; flood < kFloods; ++flood) {
    SCOPED_TRACE("flood " + std::to_string(flood));
    std::atomic<bool> done{false};
    std::thread flooder([&] {
      RawClient hostile(endpoint_, flood % 2 == 1);
      hostile.send(request(protocol::MessageType::Hello, protocol::Hello{"flood"}, 1));
      const auto list = request(protocol::MessageType::ListDevices, protocol::ListDevices{}, 2);
      const auto until = Steady::now() + milliseconds(1500);
      while (Steady::now() < until) hostile.send(list);
      done = true;
    });
    const long before = samples_;
    while (!done) pump(milliseconds(100));
    flooder.join();
    pump(milliseconds(200));
    ASSERT_TRUE(service_->running()) << "the service ended";
    EXPECT_GT(samples_, before + 20) << "the watcher's colour stalled during the flood";
  }
}

// A holder stopped outright keeps its node no longer than the silence limit allows, whether
// or not it streams; continued, it hears that it lost the camera, and takes it again.
TEST_F(ServiceResilience, AStoppedHolderIsFreedWithinTwoSeconds) {
  for (const char* streams : {"0", "1"}) {
    SCOPED_TRACE(std::string("streaming: ") + streams);
    ChildProcess holder({client(), "hold", streams});
    ASSERT_TRUE(holder.waitFor("held", milliseconds(5000)));
    if (streams[0] == '1') {
      ASSERT_TRUE(holder.waitFor("streaming", milliseconds(5000)));
    }
    pump(milliseconds(300));
    ASSERT_FALSE(tryControl());

    holder.signal(SIGSTOP);
    const auto stopped = Steady::now();
    while (!tryControl() && Steady::now() - stopped < milliseconds(5000)) pump(milliseconds(20));
    const auto freed = std::chrono::duration_cast<milliseconds>(Steady::now() - stopped);
    EXPECT_LT(freed.count(), 2000) << "control was freed after " << freed.count() << " ms";
    context_.releaseControl(Node(color_));

    holder.signal(SIGCONT);
    EXPECT_TRUE(holder.waitFor("lost", milliseconds(5000)));
    EXPECT_TRUE(holder.waitFor("held", milliseconds(5000)));
    EXPECT_TRUE(holder.running());
    pump(milliseconds(100));
  }
}

// A streaming client stopped for 10 s, while its queue fills, and continued: it does not
// abort, it hears the camera go and come back, and streams again.
TEST_F(ServiceResilience, AClientStoppedForTenSecondsCarriesOn) {
  ChildProcess holder({client(), "hold", "1"});
  ASSERT_TRUE(holder.waitFor("streaming", milliseconds(5000)));
  holder.signal(SIGSTOP);
  pump(milliseconds(10000));
  holder.signal(SIGCONT);
  EXPECT_TRUE(holder.waitFor("lost", milliseconds(5000)));
  EXPECT_TRUE(holder.waitFor("held", milliseconds(5000)));
  EXPECT_TRUE(holder.waitFor("streaming", milliseconds(5000)));
  int status = 0;
  EXPECT_TRUE(holder.running(&status)) << "the client ended, status " << status;
}

// Four clients make about a thousand requests a second each while others connect, greet,
// make one request and leave (some saying goodbye, some not): no request goes unanswered and
// no session is ended for another connection's close.
TEST_F(ServiceResilience, ConnectionChurnUnderLoadLosesNoSession) {
  std::atomic<bool> stop{false};
  std::atomic<int> failures{0};
  std::atomic<long> answered{0};
  std::atomic<long> sessions{0};
  std::vector<std::string> reasons(6);
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&, i] {
      RawClient load(endpoint_);
      std::uint32_t correlation = 1;
      std::string failed =
          load.call(request(protocol::MessageType::Hello, protocol::Hello{"load"}, correlation),
                    correlation);
      auto next = Steady::now();
      while (failed.empty() && !stop) {
        ++correlation;
        failed = load.call(
            request(protocol::MessageType::ListDevices, protocol::ListDevices{}, correlation),
            correlation);
        ++answered;
        next += milliseconds(1);
        std::this_thread::sleep_until(next);
      }
      if (!failed.empty()) {
        ++failures;
        reasons[i] = failed;
      }
    });
  }
  for (int i = 4; i < 6; ++i) {
    threads.emplace_back([&, i] {
      for (int round = 0; !stop; ++round) {
        RawClient brief(endpoint_);
        std::string failed =
            brief.call(request(protocol::MessageType::Hello, protocol::Hello{"brief"}, 1), 1);
        if (failed.empty()) {
          failed = brief.call(
              request(protocol::MessageType::ListDevices, protocol::ListDevices{}, 2), 2);
        }
        if (!failed.empty()) {
          ++failures;
          reasons[i] = failed;
          return;
        }
        ++sessions;
        if (round % 2 == 0) brief.send(request(protocol::MessageType::Bye, protocol::Bye{}, 0));
      }
    });
  }
  pump(milliseconds(4000));
  stop = true;
  for (std::thread& thread : threads) thread.join();
  for (const std::string& reason : reasons) EXPECT_EQ(reason, "");
  EXPECT_EQ(failures.load(), 0);
  EXPECT_GT(sessions.load(), 100);
  EXPECT_GT(answered.load(), 4000);
}

}  // namespace
}  // namespace CamSdk
