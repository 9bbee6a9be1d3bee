// Control of the simulated camera service, for tests and demonstrations. The viewer never
// includes this header.
//
// The simulated camera: each node streams from a deterministic scene (sample n always has the
// same bytes). Depth nodes offer formats 1 to 7 at 1 to 60 fps, colour nodes formats 1 to 11
// at 1 to 30 fps in packed 4:2:2 only, audio nodes PCM16 with 1 or 2 channels at 8000, 16000,
// 22050, 32000, 44100 or 48000 Hz in blocks of 20 ms. Before anyone configures them they
// stream depth format 4 and colour format 7 at 25 fps, and mono audio at 44100 Hz. Depth
// samples carry the depth map and the vertices a context enabled, nothing else.
//
// A Scenario stands for the service of one host. Scenario::fresh() puts a new service in
// place for that host; contexts that Context::create() opens afterwards talk to it. The
// service lives while the Scenario or any context on it lives.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "camsdk/CamSdk.h"
#include "common/NodeConfiguration.h"
#include "common/NodeKinds.h"
#include "common/SdkOperation.h"

namespace CamSdk {

namespace detail {
class Service;
struct ScenarioAccess;
}  // namespace detail

namespace testing {

using Nanoseconds = std::chrono::nanoseconds;
using NodeId = std::int32_t;
using DeviceId = std::int32_t;

// Every SDK operation that can be made to fail, and their names.
using detail::allOperations;
using detail::exceptionKindFromName;
using detail::operationFromName;
using detail::operationName;
using detail::SdkOperation;

enum class Topology {
  Empty,      // no device
  OneCamera,  // one device "camera0" with depth0, color0, audio0 (the default)
};

class Scenario {
 public:
  // A new service for `host`, with the real clock or a virtual one that only moves when the
  // loop waits (so tests never sleep).
  static Scenario fresh(Topology topology = Topology::OneCamera, bool virtualClock = true,
                        const std::string& host = "localhost");
  // The service currently in place for `host`, created from the environment if needed.
  static Scenario current(const std::string& host = "localhost");

  ~Scenario();
  Scenario(Scenario&&) noexcept;
  Scenario& operator=(Scenario&&) noexcept;

  // Clock.
  Nanoseconds now() const;

  // Topology. Devices and nodes keep their ids when unplugged, so they can come back.
  DeviceId addDevice(const std::string& name, const std::vector<NodeKind>& nodes);
  NodeId addNode(DeviceId device, NodeKind kind);  // plugged at once
  // The Matroska recording at `path` as a device: from the moment a context first streams one of
  // its nodes, they stream the recorded samples at their recorded times, and the device is
  // unplugged at the end (with `loop`, the recording starts again). Raises IOException with one
  // line naming the file when it cannot be played.
  DeviceId addRecording(const std::string& name, const std::string& path, bool loop = false);
  void unplugNode(NodeId node);
  void plugNode(NodeId node);
  void unplugDevice(DeviceId device);
  void plugDevice(DeviceId device);
  std::vector<DeviceId> devices() const;               // plugged, in order
  std::vector<NodeId> nodesOf(DeviceId device) const;  // plugged, in order
  NodeId findNode(const std::string& name) const;      // -1 when none
  DeviceId findDevice(const std::string& name) const;  // -1 when none

  // Runs `action` inside the loop of whichever context is running when the service clock
  // reaches `at` (before events due at the same instant). The action gets a Scenario on the
  // same service, so it need not capture one (a captured Scenario would keep the service
  // alive forever).
  void at(Nanoseconds at, std::function<void(Scenario&)> action);

  // The next `times` calls (-1: every call) of `operation` raise `kind` with `message`.
  void failNext(SdkOperation operation, ExceptionKind kind, int times = 1,
                const std::string& message = "injected fault");
  void clearFaults();
  // Runs `action` once, as the service is entered for the call of `operation` that comes after
  // `callsToPass` others, before that call is served: to unplug a node at an exact call.
  void beforeCall(SdkOperation operation, int callsToPass, std::function<void(Scenario&)> action);

  // The configuration a node streams with before any setConfiguration.
  void setDefaultConfiguration(NodeId node, const detail::NodeConfiguration& configuration);

  // A client outside this process that holds control of `node` from now on.
  void holdControlElsewhere(NodeId node, const std::string& clientName);

  // Hand-made samples, delivered to every context that has `node` registered, as the next
  // event at the current time.
  void injectSample(NodeId node, const detail::SampleRecord& data);

  // What the service saw. Each call the program makes is logged as "Operation node-or-device"
  // (for example "Context::registerNode color0", "Node::setConfiguration audio0").
  std::vector<std::string> calls() const;
  void clearCalls();
  // The bytes of the last configuration a node accepted.
  std::vector<std::uint8_t> lastConfigurationBytes(NodeId node) const;
  float inputMixerLevel(NodeId node) const;
  int samplesDelivered(NodeId node) const;  // to all contexts
  long liveBuffers() const;                 // sample buffers still referenced

  // The frames the service streams, for tests that check what was shown.
  static std::vector<std::uint8_t> colorScene(FrameFormat format, std::int64_t sampleIndex);
  static std::vector<short> depthScene(FrameFormat format, std::int64_t sampleIndex);
  // Luma/chroma of the still band at the top of every colour frame: four blocks, left to
  // right, each {Y, U, Y, V} for a pixel pair.
  struct StillBlock {
    std::uint8_t y, u, v;
    int firstColumn, lastColumn;  // inclusive, in pixels
  };
  static std::vector<StillBlock> stillBand();
  static int stillBandRows();

 private:
  friend struct detail::ScenarioAccess;
  explicit Scenario(std::shared_ptr<detail::Service> service);
  std::shared_ptr<detail::Service> service_;
};

// Parses a scenario file (see sdk/SCENARIO.md) and applies it to `scenario`. Raises
// ArgumentException "file:line: reason" for a malformed file.
void applyScenarioFile(Scenario& scenario, const std::string& path);
void applyScenarioText(Scenario& scenario, const std::string& text, const std::string& fileName);

}  // namespace testing
}  // namespace CamSdk
