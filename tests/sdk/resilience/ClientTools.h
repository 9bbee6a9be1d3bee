// What the resilience tests and the attack figures use to play clients: a DEALER socket with
// the SDK's own options that speaks the protocol by hand, and SDK events forwarded to lambdas.
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>
#include <zmq.hpp>

#include "camsdk/CamSdk.h"
#include "common/EventAccess.h"
#include "protocol/Messages.h"
#include "transport/SocketOptions.h"
#include "transport/ZmqContext.h"

namespace CamSdk {
namespace resilience {

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

inline std::vector<std::uint8_t> request(protocol::MessageType type, const protocol::Request& body,
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

// A client that says hello, then sends ListDevices as fast as it can for `span` and reads
// nothing; with `zmtpHeartbeats`, with ZeroMQ's heartbeats on as well.
inline void flood(const std::string& endpoint, milliseconds span, bool zmtpHeartbeats) {
  RawClient hostile(endpoint, zmtpHeartbeats);
  hostile.send(request(protocol::MessageType::Hello, protocol::Hello{"flood"}, 1));
  const auto list = request(protocol::MessageType::ListDevices, protocol::ListDevices{}, 2);
  const auto until = Steady::now() + span;
  while (Steady::now() < until) hostile.send(list);
}

// A well-behaved client: it streams colour (no control needed) and counts what arrives. Its
// loop runs only inside pump(), which is also when it is heard by the service.
class Watcher {
 public:
  Watcher() : context_(Context::create("localhost")) {
    List<Device> devices = context_._p_getDevices();
    for (int d = 0; d < devices.size() && !color_.isSet(); ++d) {
      List<Node> nodes = devices[d]._p_getNodes();
      for (int n = 0; n < nodes.size(); ++n) {
        if (nodes[n].is<ColorNode>()) color_ = nodes[n].as<ColorNode>();
      }
    }
    if (!color_.isSet()) throw std::runtime_error("the service offers no colour node");
    on<ColorNode, ColorNode::NewSampleReceivedData>(
        color_.newSampleReceivedEvent(), [this](ColorNode, ColorNode::NewSampleReceivedData) {
          const auto now = Steady::now();
          if (samples_ > 0) largestGap_ = std::max(largestGap_, now - lastSample_);
          lastSample_ = now;
          ++samples_;
          if (now >= pumpUntil_) context_.quit();
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

  // Runs the loop for `span` (to the first colour sample after it); false when the camera went.
  bool pump(milliseconds span) {
    pumpUntil_ = Steady::now() + span;
    context_.run();
    return !lost_;
  }
  bool tryControl() {
    try {
      context_.requestControl(Node(color_), 0);
      return true;
    } catch (const UnauthorizedAccessException&) {
      return false;
    }
  }
  void releaseControl() { context_.releaseControl(Node(color_)); }
  long samples() const { return samples_; }
  // The longest time between two colour samples since the last call.
  Steady::duration takeLargestGap() {
    const auto gap = largestGap_;
    largestGap_ = {};
    return gap;
  }

 private:
  Context context_;
  ColorNode color_;
  long samples_ = 0;
  bool lost_ = false;
  Steady::time_point pumpUntil_;
  Steady::time_point lastSample_;
  Steady::duration largestGap_{};
};

}  // namespace resilience
}  // namespace CamSdk
