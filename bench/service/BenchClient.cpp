#include "BenchClient.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "camera/FunctionHandler.h"
#include "camsdk/CamSdk.h"
#include "viewer/FrameSizedBlocks.h"

namespace {

using namespace CamSdk;
using Steady = std::chrono::steady_clock;

// One client per process: its handlers, plain functions, share this.
struct ClientRun {
  Context context;
  std::int64_t originNs = 0;
  Steady::time_point countFrom;
  Steady::time_point end;
  bool quitting = false;
  std::vector<std::pair<char, std::int64_t>> latencies;
  std::int64_t received = 0;
  std::int64_t dropped = 0;
  Steady::time_point lastReceived;
  Steady::duration longestPause{0};  // between two samples handed to the handler
};
ClientRun run;

// Whether the sample falls in the measured span; ends the loop once the span is over.
bool measured(Steady::time_point now) {
  if (now >= run.end) {
    if (!run.quitting) run.context.quit();
    run.quitting = true;
    return false;
  }
  return now >= run.countFrom;
}

void noteLatency(char kind, std::int64_t timeOfCapture, std::int32_t dropped) {
  const Steady::time_point now = Steady::now();
  if (!measured(now)) return;
  const std::int64_t nowNs =
      std::chrono::duration_cast<std::chrono::nanoseconds>(now.time_since_epoch()).count();
  run.latencies.emplace_back(kind, nowNs - (run.originNs + timeOfCapture * 1000));
  run.dropped += dropped;
}

void onDepth(DepthNode, DepthNode::NewSampleReceivedData data) {
  noteLatency('d', data.timeOfCapture, data.droppedSampleCount);
}
void onColour(ColorNode, ColorNode::NewSampleReceivedData data) {
  noteLatency('c', data.timeOfCapture, data.droppedSampleCount);
}
void onAudio(AudioNode, AudioNode::NewSampleReceivedData data) {
  noteLatency('a', data.timeOfCapture, data.droppedSampleCount);
}
void countColour(ColorNode, ColorNode::NewSampleReceivedData data) {
  const Steady::time_point now = Steady::now();
  if (!measured(now)) return;
  if (run.received > 0) run.longestPause = std::max(run.longestPause, now - run.lastReceived);
  run.lastReceived = now;
  ++run.received;
  run.dropped += data.droppedSampleCount;
}

void claimForLatency(Node node, bool configure) {
  run.context.registerNode(node);
  if (node.is<DepthNode>()) {
    DepthNode depth = node.as<DepthNode>();
    depth.newSampleReceivedEvent().connectFunction(onDepth);
    if (configure) {
      run.context.requestControl(node, 0);
      depth.setConfiguration({FRAME_FORMAT_QVGA, 25, DepthNode::CameraMode::Close, true});
    }
    depth.setEnableDepthMap(true);
    depth.setEnableVertices(true);
  } else if (node.is<ColorNode>()) {
    ColorNode colour = node.as<ColorNode>();
    colour.newSampleReceivedEvent().connectFunction(onColour);
    if (configure) {
      run.context.requestControl(node, 0);
      colour.setConfiguration({FRAME_FORMAT_VGA, 25, ColorNode::PowerLineFrequency::Hz50,
                               ColorNode::Compression::Yuy2});
    }
    colour.setEnableColorMap(true);
  } else if (node.is<AudioNode>()) {
    node.as<AudioNode>().newSampleReceivedEvent().connectFunction(onAudio);
    if (configure) run.context.requestControl(node, 0);
  }
}

void claimForColourRate(Node node) {
  if (!node.is<ColorNode>()) return;
  run.context.registerNode(node);
  ColorNode colour = node.as<ColorNode>();
  colour.newSampleReceivedEvent().connectFunction(countColour);
  colour.setEnableColorMap(true);
}

// No service: sleeps until each of 100 instants a second and notes how late it woke, which is
// what the machine's scheduler alone adds to any sample's way.
int measureWakeUps(long warmupMs, long measureMs) {
  const auto period = std::chrono::milliseconds(10);
  const Steady::time_point start = Steady::now();
  const Steady::time_point countFrom = start + std::chrono::milliseconds(warmupMs);
  const Steady::time_point end = countFrom + std::chrono::milliseconds(measureMs);
  for (Steady::time_point due = start + period; due < end; due += period) {
    std::this_thread::sleep_until(due);
    const Steady::time_point woke = Steady::now();
    if (due >= countFrom) {
      std::printf("w %lld\n", static_cast<long long>((woke - due).count()));
    }
  }
  std::printf("dropped 0\n");
  return 0;
}

}  // namespace

bool isBenchClient(int argc, char** argv) {
  return argc > 1 && std::strcmp(argv[1], "--client") == 0;
}

int runBenchClient(int argc, char** argv) {
  if (argc != 8) {
    std::fprintf(stderr, "service_bench --client: expected 6 arguments, got %d\n", argc - 2);
    return 2;
  }
  // The heap as the viewer sets it up at start-up.
  keepFrameSizedBlocksInHeap();
  const std::string mode = argv[2];
  const long warmupMs = std::atol(argv[5]);
  const long measureMs = std::atol(argv[6]);
  if (mode == "wakeup") return measureWakeUps(warmupMs, measureMs);
  if (mode != "latency" && mode != "colour") {
    std::fprintf(stderr, "service_bench --client: unknown mode \"%s\"\n", mode.c_str());
    return 2;
  }
  // A client that never sees the end of its span (a service that stopped sending) still ends.
  alarm(static_cast<unsigned>((warmupMs + measureMs) / 1000 + 30));
  setenv("CAMSDK_ENDPOINT", argv[3], 1);
  run.originNs = std::atoll(argv[4]);
  try {
    run.context = Context::create("localhost");
    List<Device> devices = run.context._p_getDevices();
    if (devices.size() == 0) throw std::runtime_error("the service has no device");
    List<Node> nodes = devices[0]._p_getNodes();
    for (int i = 0; i < nodes.size(); ++i) {
      Node node = nodes[i];
      if (mode == "latency") {
        claimForLatency(node, std::strcmp(argv[7], "1") == 0);
      } else {
        claimForColourRate(node);
      }
    }
    run.countFrom = Steady::now() + std::chrono::milliseconds(warmupMs);
    run.end = run.countFrom + std::chrono::milliseconds(measureMs);
    run.context.startNodes();
    run.context.run();
    run.context.stopNodes();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "service_bench --client %s: %s\n", mode.c_str(), error.what());
    return 1;
  }
  for (const auto& [kind, latency] : run.latencies) {
    std::printf("%c %lld\n", kind, static_cast<long long>(latency));
  }
  if (mode == "latency") {
    std::printf("dropped %lld\n", static_cast<long long>(run.dropped));
  } else {
    std::printf(
        "received %lld dropped %lld pause_us %lld\n", static_cast<long long>(run.received),
        static_cast<long long>(run.dropped),
        static_cast<long long>(
            std::chrono::duration_cast<std::chrono::microseconds>(run.longestPause).count()));
  }
  run = ClientRun{};
  return 0;
}
