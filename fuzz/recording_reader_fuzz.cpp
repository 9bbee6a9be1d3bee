// Arbitrary bytes as a recording: first through the reader alone, then played as a device of a
// service on the virtual clock for at most 5 simulated seconds with every node streaming. The
// reader may refuse the file, but only with one line naming it; whatever it yields fits its
// track; playback ends, and leaves nothing behind.
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "camera/CameraSdk.h"
#include "camsdk/testing/Scenario.h"
#include "common/EventAccess.h"
#include "recording/RecordingReader.h"

namespace {

using CamSdk::testing::Scenario;

constexpr const char* kHost = "recording-fuzz";

// The bytes as a file with a path, without touching the disk.
class MemoryFile {
 public:
  MemoryFile(const std::uint8_t* bytes, std::size_t length) : fd_(memfd_create("recording", 0)) {
    FUZZ_CHECK(fd_ >= 0);
    std::size_t written = 0;
    while (written < length) {
      const ssize_t step = write(fd_, bytes + written, length - written);
      FUZZ_CHECK(step > 0);
      written += static_cast<std::size_t>(step);
    }
  }
  ~MemoryFile() { close(fd_); }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;
  std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }

 private:
  int fd_;
};

bool readAll(const std::string& path) {
  try {
    CamSdk::recording::RecordingReader reader(path);
    CamSdk::recording::RecordedSample sample;
    while (reader.next(&sample)) {
      const CamSdk::recording::RecordedTrack& track = reader.tracks().at(sample.track);
      if (track.kind == CamSdk::NodeKind::Audio) {
        FUZZ_CHECK(sample.size % (2 * static_cast<std::size_t>(track.audio.channels)) == 0);
      } else {
        FUZZ_CHECK(sample.size == static_cast<std::size_t>(track.width) * track.height * 2);
      }
    }
    return true;
  } catch (const CamSdk::recording::ReadError& refused) {
    const std::string message = refused.what();
    FUZZ_CHECK(message.rfind(path + ": ", 0) == 0 && message.find('\n') == std::string::npos);
    return false;
  }
}

template <class TypedNode, class Data>
void stream(CamSdk::Context& context, TypedNode node) {
  node.newSampleReceivedEvent().connectFunction([](TypedNode, Data) {});
  context.registerNode(node);
}

void play(const std::string& path) {
  Scenario scenario = Scenario::fresh(CamSdk::testing::Topology::Empty, true, kHost);
  const CamSdk::testing::DeviceId device = scenario.addRecording("fuzz", path, true);
  scenario.at(std::chrono::seconds(5), [device](Scenario& s) { s.unplugDevice(device); });
  {
    CamSdk::Context context = CamSdk::Context::create(kHost);
    context.deviceRemovedEvent().connectFunction(
        [](CamSdk::Context c, CamSdk::Context::DeviceRemovedData) { c.quit(); });
    for (CamSdk::Node node : context.listDevices().at(0).listNodes()) {
      if (node.is<CamSdk::DepthNode>()) {
        auto depth = node.as<CamSdk::DepthNode>();
        stream<CamSdk::DepthNode, CamSdk::DepthNode::NewSampleReceivedData>(context, depth);
        depth.setEnableDepthMap(true);
        depth.setEnableVertices(true);
      } else if (node.is<CamSdk::ColorNode>()) {
        auto color = node.as<CamSdk::ColorNode>();
        stream<CamSdk::ColorNode, CamSdk::ColorNode::NewSampleReceivedData>(context, color);
        color.setEnableColorMap(true);
      } else if (node.is<CamSdk::AudioNode>()) {
        stream<CamSdk::AudioNode, CamSdk::AudioNode::NewSampleReceivedData>(
            context, node.as<CamSdk::AudioNode>());
      }
    }
    context.startNodes();
    context.run();
  }
  FUZZ_CHECK(scenario.liveBuffers() == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t length) {
  const long handlersBefore = CamSdk::detail::EventAccess::liveHandlers();
  MemoryFile file(bytes, length);
  if (readAll(file.path())) play(file.path());
  FUZZ_CHECK(CamSdk::detail::EventAccess::liveHandlers() == handlersBefore);
  return 0;
}
