// The capture-device source inside the service, as clients meet it through protocol messages,
// with a fake driver in place of the kernel.
#include <gtest/gtest.h>

#include <deque>

#include "FakeV4l2System.h"
#include "common/ConfigurationRules.h"
#include "server/ServiceHost.h"
#include "service/Vertices.h"
#include "sources/SimulatedCamera.h"
#include "sources/v4l2/CaptureDevices.h"

namespace CamSdk {
namespace {

using protocol::MessageType;
using v4l2test::FakeV4l2System;

class RecordingLink final : public server::PeerLink {
 public:
  bool send(const std::string&, const protocol::FrameList& message, bool) override {
    sent.push_back(message);
    return true;
  }
  std::deque<protocol::FrameList> sent;
};

struct Pushed {
  protocol::ServerMessage message;
  protocol::FrameList frames;  // keeps the maps' bytes alive
};

std::vector<std::uint8_t> pattern(std::size_t size, int seed) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + seed);
  return bytes;
}

class CaptureDevicesTest : public ::testing::Test {
 protected:
  void start() {
    fake->readDeviceEvents();  // plugged before the service started: found, not announced
    cameras = std::make_shared<v4l2::CaptureDevices>(
        fake, service, [this](int, const std::string& line) { logged += line + "\n"; });
    cameras->findCameras();
    service.addLiveSource(cameras);
    call(MessageType::Hello, protocol::Hello{"test"});
  }

  protocol::ServerMessage call(MessageType type, const protocol::Request& request) {
    std::vector<std::uint8_t> bytes;
    protocol::encodeRequest(bytes, type, ++correlation, request);
    host.receive("client", -1, bytes.data(), bytes.size());
    return drain();
  }

  // Sorts what the service sent into the reply to the last request and the pushes.
  protocol::ServerMessage drain() {
    protocol::ServerMessage reply;
    while (!link.sent.empty()) {
      protocol::FrameList frames = std::move(link.sent.front());
      link.sent.pop_front();
      protocol::DecodedServerMessage decoded = protocol::decodeServerMessage(frames);
      if (decoded.header.correlation == correlation && correlation != 0 &&
          !std::holds_alternative<protocol::SamplePush>(decoded.message) &&
          !std::holds_alternative<protocol::TopologyPush>(decoded.message)) {
        reply = decoded.message;
      } else {
        pushes.push_back(Pushed{decoded.message, std::move(frames)});
      }
    }
    return reply;
  }

  void turn() {
    host.runDue();
    drain();
  }

  std::vector<Pushed> takeSamples() {
    std::vector<Pushed> samples;
    for (Pushed& each : pushes) {
      if (std::holds_alternative<protocol::SamplePush>(each.message)) samples.push_back(each);
    }
    pushes.clear();
    return samples;
  }

  static const protocol::SamplePush& sample(const Pushed& pushed) {
    return std::get<protocol::SamplePush>(pushed.message);
  }
  static std::vector<std::uint8_t> mapBytes(const Pushed& pushed, std::size_t map) {
    const protocol::OwnedFrame& frame = pushed.frames.at(map + 1);
    return std::vector<std::uint8_t>(frame.data, frame.data + frame.size);
  }

  void expectDone(const protocol::ServerMessage& reply) {
    if (const auto* failed = std::get_if<protocol::Failed>(&reply)) {
      ADD_FAILURE() << failed->message;
    }
    EXPECT_TRUE(std::holds_alternative<protocol::Done>(reply));
  }

  protocol::Failed expectFailed(const protocol::ServerMessage& reply) {
    EXPECT_TRUE(std::holds_alternative<protocol::Failed>(reply));
    return std::holds_alternative<protocol::Failed>(reply) ? std::get<protocol::Failed>(reply)
                                                           : protocol::Failed{};
  }

  protocol::ServerMessage configure(detail::NodeId node, FrameFormat format, std::int32_t rate) {
    ColorNode::Configuration configuration = detail::defaultConfiguration<ColorNode>();
    configuration.frameFormat = format;
    configuration.framerate = rate;
    return call(MessageType::SetConfiguration,
                protocol::SetConfiguration{node, NodeKind::Color,
                                           detail::NodeConfiguration(configuration).bytes()});
  }

  // Control of the first node of the first camera, streaming `maps`.
  detail::NodeId stream(std::uint8_t maps) {
    const detail::NodeId node = service.devices().at(0).nodes.at(0).id;
    expectDone(call(MessageType::RequestControl, protocol::NodeRequest{node}));
    expectDone(call(MessageType::Subscribe, protocol::Subscribe{node, maps}));
    return node;
  }

  std::shared_ptr<FakeV4l2System> fake = std::make_shared<FakeV4l2System>();
  detail::Service service{"localhost", detail::makeVirtualClock(),
                          std::make_shared<detail::SimulatedCamera>()};
  RecordingLink link;
  server::ServiceHost host{service, link};
  std::shared_ptr<v4l2::CaptureDevices> cameras;
  std::string logged;
  std::uint32_t correlation = 0;
  std::vector<Pushed> pushes;
};

TEST_F(CaptureDevicesTest, FilesOfOneCameraBecomeOneDeviceAndUnusableCamerasAreSkipped) {
  fake->plug(v4l2test::webcamFile("/dev/video0", "usb-1"));
  fake->plug(v4l2test::metadataFile("/dev/video1", "usb-1"));
  fake->plug(v4l2test::depthFile("/dev/video2", "usb-2"));
  fake->plug(v4l2test::webcamFile("/dev/video3", "usb-2"));
  fake->plug(v4l2test::mjpegOnlyFile("/dev/video10", "usb-3"));
  start();

  const std::vector<detail::DeviceInfo> devices = service.devices();
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_EQ(devices[0].name, "Desk Webcam (usb-1)");
  ASSERT_EQ(devices[0].nodes.size(), 1u);
  EXPECT_EQ(devices[0].nodes[0].kind, NodeKind::Color);
  EXPECT_EQ(devices[1].name, "Depth Module (usb-2)");
  ASSERT_EQ(devices[1].nodes.size(), 2u);
  EXPECT_EQ(devices[1].nodes[0].kind, NodeKind::Depth);
  EXPECT_EQ(devices[1].nodes[1].kind, NodeKind::Color);
  EXPECT_NE(logged.find("/dev/video10 streams nothing the SDK carries"), std::string::npos)
      << logged;
  EXPECT_NE(logged.find("it offers MJPG"), std::string::npos) << logged;

  // Each node starts at what its camera does: the webcam at 640x480, 30 frames a second; the
  // depth camera at the SDK's default 320x240, at the fastest rate the SDK allows.
  const ColorNode::Configuration color =
      service.configuration(devices[0].nodes[0].id).as<ColorNode>();
  EXPECT_EQ(color.frameFormat, FRAME_FORMAT_VGA);
  EXPECT_EQ(color.framerate, 30);
  const DepthNode::Configuration depth =
      service.configuration(devices[1].nodes[0].id).as<DepthNode>();
  EXPECT_EQ(depth.frameFormat, FRAME_FORMAT_QVGA);
  EXPECT_EQ(depth.framerate, 60);
  EXPECT_EQ(fake->openDescriptors(), 0);  // probing leaves no file open
}

TEST_F(CaptureDevicesTest, ColourFramesArriveExactlyWithDriverTimesAndBadFramesAreDropped) {
  fake->plug(v4l2test::webcamFile("/dev/video0", "usb-1"));
  start();
  const detail::NodeId node = stream(detail::kColorMap);
  EXPECT_TRUE(fake->streaming("/dev/video0"));

  service.clock().waitUntil(std::chrono::seconds(1));
  const std::size_t size = 640 * 480 * 2;
  const std::vector<std::uint8_t> first = pattern(size, 1);
  // Stamped 10 ms before the driver's clock reads now.
  fake->capture("/dev/video0", {first, fake->monotonicMicroseconds() - 10'000, 0});
  turn();
  std::vector<Pushed> samples = takeSamples();
  ASSERT_EQ(samples.size(), 1u);
  EXPECT_EQ(sample(samples[0]).frameFormat, FRAME_FORMAT_VGA);
  EXPECT_EQ(sample(samples[0]).index, 0);
  EXPECT_EQ(sample(samples[0]).timeOfCapture, 990'000);
  EXPECT_EQ(sample(samples[0]).droppedSampleCount, 0);
  EXPECT_EQ(mapBytes(samples[0], 0), first);

  // A frame the driver flags, then one cut short (its tail would be the buffer's old bytes).
  fake->capture("/dev/video0", {pattern(size, 2), 0, V4L2_BUF_FLAG_ERROR});
  fake->capture("/dev/video0", {pattern(size / 2, 3), 0, 0});
  turn();
  EXPECT_TRUE(takeSamples().empty());
  const std::vector<std::uint8_t> good = pattern(size, 4);
  fake->capture("/dev/video0", {good, 0, 0});
  turn();
  samples = takeSamples();
  ASSERT_EQ(samples.size(), 1u);
  EXPECT_EQ(sample(samples[0]).index, 1);
  EXPECT_EQ(sample(samples[0]).droppedSampleCount, 2);
  EXPECT_EQ(mapBytes(samples[0], 0), good);

  // Nobody watching: the stream stops and gives its buffers back; released: the file closes.
  expectDone(call(MessageType::Subscribe, protocol::Subscribe{node, 0}));
  turn();
  EXPECT_FALSE(fake->streaming("/dev/video0"));
  EXPECT_EQ(fake->mappedBuffers(), 0);
  expectDone(call(MessageType::ReleaseControl, protocol::NodeRequest{node}));
  EXPECT_EQ(fake->openDescriptors(), 0);
}

TEST_F(CaptureDevicesTest, FramesTheDriverHadNoBufferForCountAsDropped) {
  fake->plug(v4l2test::webcamFile("/dev/video0", "usb-1"));
  start();
  stream(detail::kColorMap);
  const std::size_t size = 640 * 480 * 2;
  // Six frames while the service is busy: the four buffers fill, two frames find none.
  for (int seed = 0; seed < 6; ++seed) fake->capture("/dev/video0", {pattern(size, seed), 0, 0});
  turn();
  std::vector<Pushed> samples = takeSamples();
  ASSERT_EQ(samples.size(), 1u);
  EXPECT_EQ(sample(samples[0]).droppedSampleCount, 3);  // the newest goes, three older do not
  EXPECT_EQ(mapBytes(samples[0], 0), pattern(size, 3));
  // The two lost frames show as a gap in the driver's numbering when the next frame comes.
  fake->capture("/dev/video0", {pattern(size, 6), 0, 0});
  turn();
  samples = takeSamples();
  ASSERT_EQ(samples.size(), 1u);
  EXPECT_EQ(sample(samples[0]).droppedSampleCount, 2);
}

TEST_F(CaptureDevicesTest, DepthIsInMillimetresWithVerticesAsTheSimulatedCameraMakesThem) {
  fake->plug(v4l2test::depthFile("/dev/video0", "usb-1"));
  start();
  stream(detail::kDepthMap | detail::kVertices);
  std::vector<std::uint16_t> raw(320 * 240, 1500);
  raw[0] = 0;
  raw[1] = 1000;
  raw[2] = 40000;  // beyond the map's range: no data
  std::vector<std::uint8_t> bytes(raw.size() * 2);
  std::memcpy(bytes.data(), raw.data(), bytes.size());
  fake->capture("/dev/video0", {bytes, 0, 0});
  turn();
  const std::vector<Pushed> samples = takeSamples();
  ASSERT_EQ(samples.size(), 1u);
  EXPECT_EQ(sample(samples[0]).frameFormat, FRAME_FORMAT_QVGA);

  std::vector<short> expected(raw.begin(), raw.end());
  expected[2] = 0;
  std::vector<std::uint8_t> depthBytes(expected.size() * sizeof(short));
  std::memcpy(depthBytes.data(), expected.data(), depthBytes.size());
  EXPECT_EQ(mapBytes(samples[0], 0), depthBytes);
  std::vector<Vertex> vertices(expected.size());
  detail::computeVertices(expected.data(), 320, 240, vertices.data());
  std::vector<std::uint8_t> vertexBytes(vertices.size() * sizeof(Vertex));
  std::memcpy(vertexBytes.data(), vertices.data(), vertexBytes.size());
  EXPECT_EQ(mapBytes(samples[0], 1), vertexBytes);
}

TEST_F(CaptureDevicesTest, WhatTheCameraCannotDoIsRefusedWithItsReasonAndSlowerRatesAreThinned) {
  fake->plug(v4l2test::webcamFile("/dev/video0", "usb-1"));
  start();
  const detail::NodeId node = service.devices().at(0).nodes.at(0).id;
  expectDone(call(MessageType::RequestControl, protocol::NodeRequest{node}));

  protocol::Failed failed = expectFailed(configure(node, FRAME_FORMAT_HD, 30));
  EXPECT_EQ(failed.kind, ExceptionKind::Configuration);
  EXPECT_EQ(failed.message,
            "color0: /dev/video0 does not capture 1280x720 in YUYV (it captures 320x240, 640x480)");
  failed = expectFailed(configure(node, FRAME_FORMAT_QVGA, 30));
  EXPECT_EQ(failed.message, "color0: /dev/video0 captures 320x240 at 15 frames a second, not 30");
  EXPECT_EQ(service.configuration(node).as<ColorNode>().frameFormat, FRAME_FORMAT_VGA);

  // 25 a second from a camera at 30: five frames of every six go out.
  expectDone(configure(node, FRAME_FORMAT_VGA, 25));
  expectDone(call(MessageType::Subscribe, protocol::Subscribe{node, detail::kColorMap}));
  for (int frame = 0; frame < 12; ++frame) {
    fake->capture("/dev/video0", {pattern(640 * 480 * 2, frame), 0, 0});
    turn();
  }
  const std::vector<Pushed> samples = takeSamples();
  EXPECT_EQ(samples.size(), 10u);
  for (const Pushed& each : samples) EXPECT_EQ(sample(each).droppedSampleCount, 0);
}

TEST_F(CaptureDevicesTest, ACameraInUseElsewhereIsRefusedClearlyAtClaim) {
  fake->plug(v4l2test::webcamFile("/dev/video0", "usb-1"));
  start();
  const detail::NodeId node = service.devices().at(0).nodes.at(0).id;
  fake->holdElsewhere("/dev/video0", true);
  const protocol::Failed failed =
      expectFailed(call(MessageType::RequestControl, protocol::NodeRequest{node}));
  EXPECT_EQ(failed.kind, ExceptionKind::UnauthorizedAccess);
  EXPECT_EQ(failed.message.rfind("/dev/video0 (Desk Webcam) is in use by another program", 0), 0u)
      << failed.message;
  EXPECT_EQ(fake->openDescriptors(), 0);

  fake->holdElsewhere("/dev/video0", false);
  expectDone(call(MessageType::RequestControl, protocol::NodeRequest{node}));
}

TEST_F(CaptureDevicesTest, DriverRefusalsWhileSettingUpAreReportedAndNeverFatal) {
  fake->plug(v4l2test::webcamFile("/dev/video0", "usb-1"));
  start();
  const detail::NodeId node = service.devices().at(0).nodes.at(0).id;
  expectDone(call(MessageType::RequestControl, protocol::NodeRequest{node}));
  fake->failNext(VIDIOC_S_FMT, EINVAL);
  const protocol::Failed failed = expectFailed(configure(node, FRAME_FORMAT_VGA, 15));
  EXPECT_EQ(failed.kind, ExceptionKind::Configuration);
  EXPECT_NE(failed.message.find("VIDIOC_S_FMT on /dev/video0: EINVAL"), std::string::npos)
      << failed.message;

  // Not enough USB bandwidth: the stream gives nothing and says why; the camera stays.
  fake->failNext(VIDIOC_STREAMON, ENOSPC);
  expectDone(call(MessageType::Subscribe, protocol::Subscribe{node, detail::kColorMap}));
  turn();
  EXPECT_NE(logged.find("/dev/video0 does not stream: VIDIOC_STREAMON on /dev/video0: ENOSPC"),
            std::string::npos)
      << logged;
  EXPECT_EQ(service.devices().size(), 1u);
  EXPECT_EQ(fake->mappedBuffers(), 0);
  // Watching again tries again.
  expectDone(call(MessageType::Subscribe, protocol::Subscribe{node, 0}));
  turn();
  expectDone(call(MessageType::Subscribe, protocol::Subscribe{node, detail::kColorMap}));
  EXPECT_TRUE(fake->streaming("/dev/video0"));
}

// ENODEV (unplugged) or EIO (the driver gave up) from a dequeue mid-stream.
class CameraFailsMidStream : public CaptureDevicesTest,
                             public ::testing::WithParamInterface<int> {};

TEST_P(CameraFailsMidStream, NodeAndDeviceAreRemovedWithNothingLeaked) {
  fake->plug(v4l2test::webcamFile("/dev/video0", "usb-1"));
  start();
  const detail::NodeId node = stream(detail::kColorMap);
  fake->capture("/dev/video0", {pattern(640 * 480 * 2, 0), 0, 0});
  fake->failNext(VIDIOC_DQBUF, GetParam());
  turn();

  std::vector<protocol::TopologyPush> notices;
  for (const Pushed& each : pushes) {
    if (const auto* notice = std::get_if<protocol::TopologyPush>(&each.message)) {
      notices.push_back(*notice);
    }
  }
  ASSERT_EQ(notices.size(), 2u);
  EXPECT_EQ(notices[0].change.type, detail::TopologyChange::Type::NodeRemoved);
  EXPECT_EQ(notices[0].change.node.id, node);
  EXPECT_EQ(notices[1].change.type, detail::TopologyChange::Type::DeviceRemoved);
  EXPECT_TRUE(service.devices().empty());
  EXPECT_EQ(fake->openDescriptors(), 0);
  EXPECT_EQ(fake->mappedBuffers(), 0);
  EXPECT_NE(logged.find("VIDIOC_DQBUF on /dev/video0"), std::string::npos) << logged;
  // Claims of the node that went are refused as for any node that is gone.
  EXPECT_EQ(expectFailed(call(MessageType::RequestControl, protocol::NodeRequest{node})).kind,
            ExceptionKind::Streaming);
}

INSTANTIATE_TEST_SUITE_P(Errors, CameraFailsMidStream, ::testing::Values(ENODEV, EIO));

TEST_F(CaptureDevicesTest, CamerasPluggedAndUnpluggedWhileServingComeAndGo) {
  start();
  EXPECT_TRUE(service.devices().empty());
  fake->plug(v4l2test::webcamFile("/dev/video0", "usb-1"));
  fake->plug(v4l2test::metadataFile("/dev/video1", "usb-1"));
  turn();
  fake->plug(v4l2test::depthFile("/dev/video2", "usb-1"));  // a late file of the same camera
  turn();
  auto types = [this] {
    std::vector<detail::TopologyChange::Type> seen;
    for (const Pushed& each : pushes) {
      if (const auto* notice = std::get_if<protocol::TopologyPush>(&each.message)) {
        seen.push_back(notice->change.type);
      }
    }
    pushes.clear();
    return seen;
  };
  using Type = detail::TopologyChange::Type;
  EXPECT_EQ(types(), (std::vector<Type>{Type::DeviceAdded, Type::NodeAdded, Type::NodeAdded}));
  ASSERT_EQ(service.devices().size(), 1u);
  EXPECT_EQ(service.devices()[0].nodes.size(), 2u);

  stream(detail::kColorMap);
  fake->unplug("/dev/video0");
  fake->unplug("/dev/video1");
  fake->unplug("/dev/video2");
  turn();
  EXPECT_EQ(types(),
            (std::vector<Type>{Type::NodeRemoved, Type::NodeRemoved, Type::DeviceRemoved}));
  EXPECT_TRUE(service.devices().empty());
  EXPECT_EQ(fake->openDescriptors(), 0);
  EXPECT_EQ(fake->mappedBuffers(), 0);
}

}  // namespace
}  // namespace CamSdk
