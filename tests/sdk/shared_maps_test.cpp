// Maps in shared memory: placed once for every client that reads them there, never rewritten
// while a client holds them, held at most a bounded number per client, and all taken back when
// a client goes. The service host runs on a virtual clock behind a recording link; the last
// test is a real client over an ipc endpoint.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "SdkTestSupport.h"
#include "server/ServiceHost.h"
#include "server/ServiceServer.h"
#include "service/Service.h"
#include "testing/ScenarioAccess.h"
#include "testing/ServiceFactory.h"
#include "transport/SharedMapping.h"

namespace CamSdk {
namespace {

using protocol::MessageType;
using server::BufferLedger;

// A host that offers shared memory, with the default camera's colour node streaming.
class SharedHost : public ::testing::Test, public server::PeerLink {
 protected:
  SharedHost() {
    std::string why;
    auto slots = server::SharedSlots::create(1, &why);
    if (!slots) throw std::runtime_error(why);
    host_.shareMaps(std::move(slots));
    for (const auto& device : service_->devices()) {
      for (const auto& node : device.nodes) {
        if (node.kind == NodeKind::Color) color_ = node.id;
      }
    }
    mapping_ = transport::SharedMapping::open(host_.sharedSlots()->offer().name,
                                              host_.sharedSlots()->offer().size, &why);
    if (!mapping_) throw std::runtime_error(why);
  }

  bool send(const std::string& peer, const protocol::FrameList& message, bool) override {
    const auto decoded = protocol::decodeServerMessage(message);
    if (const auto* sample = std::get_if<protocol::SamplePush>(&decoded.message)) {
      samples_[peer].push_back({*sample, message});
    } else if (std::holds_alternative<protocol::Goodbye>(decoded.message)) {
      goodbyes_.push_back(peer);
    }
    return true;
  }

  void request(const std::string& peer, MessageType type, const protocol::Request& request) {
    std::vector<std::uint8_t> bytes;
    protocol::encodeRequest(bytes, type, type == MessageType::GiveBack ? 0 : 1, request);
    host_.receive(peer, connections_.emplace(peer, connections_.size() + 1).first->second,
                  bytes.data(), bytes.size());
  }
  // A client that greets, maps the region (or not) and watches colour.
  void join(const std::string& peer, bool mapped) {
    request(peer, MessageType::Hello, protocol::Hello{peer});
    if (mapped) request(peer, MessageType::Mapped, protocol::Mapped{1});
    request(peer, MessageType::Subscribe, protocol::Subscribe{color_, detail::kColorMap});
  }
  void giveBack(const std::string& peer, const protocol::SamplePush& sample) {
    request(
        peer, MessageType::GiveBack,
        protocol::GiveBack{{{sample.maps.at(0).place.slot, sample.maps.at(0).place.generation}}});
  }
  // Runs the stream on to its next sample.
  void next() {
    service_->clock().waitUntil(host_.nextDue());
    host_.runDue();
  }
  const protocol::SamplePush& last(const std::string& peer) { return samples_[peer].back().head; }
  std::vector<std::uint8_t> bytesAt(const protocol::SamplePush& sample) {
    const std::uint8_t* at = mapping_->data() + sample.maps.at(0).place.offset;
    return std::vector<std::uint8_t>(at, at + sample.maps.at(0).length);
  }
  std::uint32_t inUse() const { return host_.sharedSlots()->slotsInUse(); }

  struct Sent {
    protocol::SamplePush head;
    protocol::FrameList frames;
  };
  std::shared_ptr<detail::Service> service_ =
      detail::makeService("shared", testing::Topology::OneCamera, true);
  server::ServiceHost host_{*service_, *this};
  std::shared_ptr<const transport::SharedMapping> mapping_;
  detail::NodeId color_ = -1;
  std::map<std::string, server::ConnectionId> connections_;
  std::map<std::string, std::vector<Sent>> samples_;
  std::vector<std::string> goodbyes_;
};

TEST_F(SharedHost, AMapIsPlacedOnceForItsReadersAndFreedWhenTheLastGivesItBack) {
  join("a", true);
  join("b", true);
  join("copy", false);
  next();
  const protocol::SamplePush a = last("a");
  const protocol::SamplePush b = last("b");
  ASSERT_TRUE(a.maps.at(0).shared);
  EXPECT_EQ(b.maps.at(0).place.offset, a.maps.at(0).place.offset);
  EXPECT_EQ(b.maps.at(0).place.generation, a.maps.at(0).place.generation);
  // A client that did not map the region gets the same bytes in the message.
  const Sent& copy = samples_["copy"].back();
  ASSERT_FALSE(copy.head.maps.at(0).shared);
  ASSERT_EQ(copy.frames.size(), 2u);
  EXPECT_EQ(bytesAt(a), std::vector<std::uint8_t>(copy.frames[1].data,
                                                  copy.frames[1].data + copy.frames[1].size));
  EXPECT_EQ(inUse(), 1u);

  // Giving back twice, or what another client holds, frees nothing early.
  giveBack("a", a);
  giveBack("a", a);
  giveBack("copy", a);
  protocol::SamplePush stale = b;
  stale.maps[0].place.generation += 1;
  giveBack("b", stale);
  EXPECT_EQ(inUse(), 1u);
  giveBack("b", b);
  EXPECT_EQ(inUse(), 0u);
  EXPECT_TRUE(goodbyes_.empty()) << "a give-back that frees nothing is not a fault";
}

TEST_F(SharedHost, AKeptBufferKeepsItsBytesWhileTheStreamGoesOn) {
  join("keeper", true);
  join("reader", true);
  next();
  const protocol::SamplePush kept = last("keeper");
  const std::vector<std::uint8_t> before = bytesAt(kept);
  for (int i = 0; i < 50; ++i) {
    giveBack("reader", last("reader"));
    next();
    if (i > 0) giveBack("keeper", last("keeper"));
  }
  ASSERT_EQ(samples_["reader"].size(), 51u);
  EXPECT_NE(bytesAt(last("reader")), before) << "the picture should move, or this shows nothing";
  EXPECT_EQ(bytesAt(kept), before);
  EXPECT_LE(inUse(), 3u) << "a steady stream reuses the slots given back";
}

TEST_F(SharedHost, AClientThatNeverGivesBackHoldsABoundedShareAndMissesTheRest) {
  join("hoarder", true);
  join("reader", true);
  for (int i = 0; i < 100; ++i) {
    next();
    giveBack("reader", last("reader"));
  }
  EXPECT_EQ(samples_["reader"].size(), 100u);
  EXPECT_EQ(samples_["hoarder"].size(), BufferLedger::kMaxHeld);
  EXPECT_EQ(inUse(), BufferLedger::kMaxHeld);

  for (const Sent& sent : samples_["hoarder"]) giveBack("hoarder", sent.head);
  next();
  EXPECT_EQ(last("hoarder").droppedSampleCount, static_cast<int>(100 - BufferLedger::kMaxHeld));
}

TEST_F(SharedHost, AClientThatGoesGivesBackAllItHeld) {
  join("closed", true);
  join("silent", true);
  for (int i = 0; i < 10; ++i) next();
  EXPECT_EQ(inUse(), 10u);
  host_.connectionClosed(connections_["closed"]);
  EXPECT_EQ(inUse(), 10u) << "the silent one still holds them";
  host_.peerSilent("silent", "it sent nothing");
  EXPECT_EQ(inUse(), 0u);
  EXPECT_EQ(host_.sessionCount(), 0u);
}

TEST_F(SharedHost, AClaimToHaveMappedAnotherRegionDropsTheClient) {
  request("liar", MessageType::Hello, protocol::Hello{"liar"});
  request("liar", MessageType::Mapped, protocol::Mapped{2});
  EXPECT_EQ(goodbyes_, std::vector<std::string>{"liar"});
  EXPECT_FALSE(host_.hasSession("liar"));
}

TEST(SharedRegion, ARegionLeftByAServiceThatWasKilledIsRemovedByTheNext) {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  ASSERT_GT(child, 0);
  waitpid(child, nullptr, 0);
  const std::string orphan = "/camsdk-service-" + std::to_string(child) + "-0-orphan";
  const std::string ours = "/camsdk-service-" + std::to_string(getpid()) + "-99-alive";
  for (const std::string& name : {orphan, ours}) {
    const int made = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(made, 0) << name;
    close(made);
  }
  std::string why;
  ASSERT_TRUE(server::SharedSlots::create(1, &why)) << why;
  EXPECT_LT(shm_open(orphan.c_str(), O_RDONLY, 0), 0) << "the dead service's region is still there";
  const int alive = shm_open(ours.c_str(), O_RDONLY, 0);
  EXPECT_GE(alive, 0) << "a running service's region was removed";
  close(alive);
  shm_unlink(ours.c_str());
}

// Whether `address` lies in this process's mapping of a service's shared region.
bool inSharedRegion(const void* address) {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  const auto at = reinterpret_cast<std::uintptr_t>(address);
  while (std::getline(maps, line)) {
    if (line.find("/dev/shm/camsdk-service-") == std::string::npos) continue;
    std::uintptr_t start = 0;
    std::uintptr_t end = 0;
    char dash = 0;
    std::istringstream(line) >> std::hex >> start >> dash >> end;
    if (at >= start && at < end) return true;
  }
  return false;
}

// Colour sample `index` (every stream has the same pictures), kept by its handler while a
// second of samples goes by, and a copy of its bytes taken when it came.
struct Kept {
  ColorNode::NewSampleReceivedData sample;
  std::vector<std::uint8_t> bytes;
  int later = 0;
};

Kept keepASecond(std::int64_t index) {
  Context context = Context::create("localhost");
  ColorNode color = sdktest::typedNode<ColorNode>(context, "color0");
  Kept kept;
  sdktest::listen<ColorNode, ColorNode::NewSampleReceivedData>(
      color.newSampleReceivedEvent(), [&](ColorNode, ColorNode::NewSampleReceivedData data) {
        if (data.sampleIndex < index) return;
        if (kept.bytes.empty()) {
          kept.sample = data;
          kept.bytes.assign(data.colorMap.data(), data.colorMap.data() + data.colorMap.size());
          return;
        }
        ++kept.later;
        if (data.timeOfCapture - kept.sample.timeOfCapture >= 1000000) context.quit();
      });
  color.setEnableColorMap(true);
  context.registerNode(color);
  context.startNodes();
  context.run();
  context.stopNodes();
  return kept;
}

TEST(SharedMapsOverIpc, AKeptSampleKeepsItsBytesPastItsContextAndTheSwitchTurnsItOff) {
  testing::Scenario scenario =
      testing::Scenario::fresh(testing::Topology::OneCamera, false, "sharedmaps");
  server::ServerOptions options;
  options.endpoint = "ipc:///tmp/camsdk-shared-maps-test-" + std::to_string(getpid()) + ".sock";
  server::ServiceServer server(detail::ScenarioAccess::serviceOf(scenario), options);
  ASSERT_TRUE(server.sharesMaps());
  std::atomic<bool> stop{false};
  std::thread serving([&] { server.run(stop); });
  setenv("CAMSDK_ENDPOINT", options.endpoint.c_str(), 1);

  const Kept shared = keepASecond(5);
  // A second context streams through the slots the first one's session held: the first
  // context's kept sample must not change with them.
  const Kept next = keepASecond(12);
  setenv("CAMSDK_NO_SHARED_MEMORY", "1", 1);
  const Kept copied = keepASecond(5);
  unsetenv("CAMSDK_NO_SHARED_MEMORY");
  unsetenv("CAMSDK_ENDPOINT");
  stop = true;
  serving.join();

  EXPECT_GE(shared.later, 20);
  EXPECT_TRUE(inSharedRegion(shared.sample.colorMap.data()));
  EXPECT_TRUE(inSharedRegion(next.sample.colorMap.data()));
  ASSERT_EQ(shared.sample.colorMap.size(), shared.bytes.size());
  EXPECT_EQ(std::memcmp(shared.sample.colorMap.data(), shared.bytes.data(), shared.bytes.size()),
            0);
  EXPECT_GE(copied.later, 20);
  EXPECT_FALSE(inSharedRegion(copied.sample.colorMap.data()));
}

}  // namespace
}  // namespace CamSdk
