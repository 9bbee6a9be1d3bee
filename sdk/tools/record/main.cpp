// camsdk-record: records the first camera's depth, colour and audio, as they stream now, to a
// Matroska file. A client of the service like any other: it needs no control of the nodes, so
// it records whatever configuration another client (a viewer) has set.
#include <pthread.h>
#include <unistd.h>

extern "C" {
#include <libavutil/log.h>
}

#include <atomic>
#include <chrono>
#include <csignal>
#include <iostream>
#include <memory>
#include <optional>
#include <thread>

#include "RecordOptions.h"
#include "Recorder.h"
#include "camsdk/CamSdk.h"

namespace CamSdk {

// The SDK leaves the making of handlers from plain functions to the program.
namespace {
template <class T, class Data>
class FunctionAdapter final : public EventHandler<T, Data> {
 public:
  explicit FunctionAdapter(void (*function)(T, Data)) : function_(function) {}
  bool isSameHandler(EventHandlerBase* other) const override {
    const auto* same = dynamic_cast<const FunctionAdapter*>(other);
    return same != nullptr && same->function_ == function_;
  }
  void deliver(T source, Data data) override { function_(source, data); }

 private:
  void (*const function_)(T, Data);
};
}  // namespace

template <class T, class Data>
void Event<T, Data>::connectFunction(Function function) {
  connect(new FunctionAdapter<T, Data>(function));
}

}  // namespace CamSdk

namespace {

using namespace CamSdk;
using record_program::Recorder;
using Clock = std::chrono::steady_clock;

// Set by the signal thread; the event loop looks at it with every sample.
std::atomic<bool> interrupted{false};

// SIGINT and SIGTERM are taken by a thread of their own, so that no other thread (the SDK's
// socket waits among them) is ever interrupted by them. The first asks the recording to end
// properly; a second ends the program at once, and what was written so far still plays.
void takeSignalsOnAThreadOfTheirOwn() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread([signals] {
    int received = 0;
    while (sigwait(&signals, &received) == 0) {
      if (interrupted.exchange(true)) std::_Exit(128 + received);
    }
  }).detach();
}

// What the handlers (plain functions) work with.
struct Session {
  Context context;
  Recorder* recorder = nullptr;
  std::optional<Clock::time_point> deadline;
  bool showProgress = false;
  Clock::time_point lastProgress{};
  std::string stopReason;
  std::size_t depthTrack = 0, colorTrack = 0, audioTrack = 0;
};
Session* session = nullptr;

// Runs after every sample: stops the loop when it is time, and shows progress on a terminal.
void afterSample() {
  if (session->stopReason.empty()) {
    if (interrupted) session->stopReason = "interrupted";
    if (session->deadline && Clock::now() >= *session->deadline) session->stopReason = "time is up";
    if (session->recorder->failed()) session->stopReason = "the file cannot be written";
    if (!session->stopReason.empty()) session->context.quit();
  }
  const auto now = Clock::now();
  if (session->showProgress && now - session->lastProgress >= std::chrono::milliseconds(500)) {
    session->lastProgress = now;
    std::cerr << "\r" << session->recorder->progressLine() << "\x1b[K" << std::flush;
  }
}

void onDepth(DepthNode, DepthNode::NewSampleReceivedData data) {
  const Pointer<short>& map = data.depthMap;
  session->recorder->take(session->depthTrack, data.timeOfCapture, map.owner(),
                          reinterpret_cast<const std::uint8_t*>(map.data()), map.byteSize(),
                          data.droppedSampleCount);
  afterSample();
}
void onColor(ColorNode, ColorNode::NewSampleReceivedData data) {
  session->recorder->take(session->colorTrack, data.timeOfCapture, data.colorMap.owner(),
                          data.colorMap.data(), data.colorMap.byteSize(), data.droppedSampleCount);
  afterSample();
}
void onAudio(AudioNode, AudioNode::NewSampleReceivedData data) {
  session->recorder->take(session->audioTrack, data.timeOfCapture, data.audioData.owner(),
                          data.audioData.data(), data.audioData.byteSize(),
                          data.droppedSampleCount);
  afterSample();
}
void onDeviceRemoved(Context context, Context::DeviceRemovedData) {
  if (session->stopReason.empty()) session->stopReason = "the camera went away";
  context.quit();
}

int record(const record_program::RecordOptions& options) {
  Session state;
  session = &state;
  state.context = Context::create(options.host);
  List<Device> devices = state.context._p_getDevices();
  if (devices.size() == 0) {
    std::cerr << "camsdk-record: no camera on " << options.host << "\n";
    return 1;
  }
  Device device = devices[0];
  List<Node> nodes = device._p_getNodes();
  std::vector<recording::TrackDescription> tracks;
  DepthNode depth;
  ColorNode color;
  AudioNode audio;
  for (int i = 0; i < nodes.size(); ++i) {
    Node node = nodes[i];
    recording::TrackDescription track;
    track.nodeName = node.name();
    if (node.is<DepthNode>() && !depth.isSet()) {
      depth = node.as<DepthNode>();
      track.configuration = depth.getConfiguration();
      state.depthTrack = tracks.size();
    } else if (node.is<ColorNode>() && !color.isSet()) {
      color = node.as<ColorNode>();
      track.configuration = color.getConfiguration();
      state.colorTrack = tracks.size();
    } else if (node.is<AudioNode>() && !audio.isSet()) {
      audio = node.as<AudioNode>();
      track.configuration = audio.getConfiguration();
      state.audioTrack = tracks.size();
    } else {
      continue;
    }
    tracks.push_back(track);
  }
  if (tracks.empty()) {
    std::cerr << "camsdk-record: " << device.name() << " has no depth, colour or audio node\n";
    return 1;
  }

  Recorder recorder(options.output, tracks, options.colour);
  state.recorder = &recorder;
  state.showProgress = isatty(STDERR_FILENO) != 0;
  state.context.deviceRemovedEvent().connectFunction(&onDeviceRemoved);
  if (depth.isSet()) {
    depth.newSampleReceivedEvent().connectFunction(&onDepth);
    state.context.registerNode(depth);
    depth.setEnableDepthMap(true);
  }
  if (color.isSet()) {
    color.newSampleReceivedEvent().connectFunction(&onColor);
    state.context.registerNode(color);
    color.setEnableColorMap(true);
  }
  if (audio.isSet()) {
    audio.newSampleReceivedEvent().connectFunction(&onAudio);
    state.context.registerNode(audio);
  }
  if (options.seconds > 0) {
    state.deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::duration<double>(options.seconds));
  }
  state.context.startNodes();
  std::string loopError;
  try {
    state.context.run();
  } catch (const Exception& error) {
    loopError = error.what();  // the service went away, for one: what was written stays
  }
  try {
    state.context.stopNodes();
  } catch (const Exception&) {
    // The camera or the service is already gone; nothing streams either way.
  }

  const std::string writeError = recorder.finish();
  if (state.showProgress) std::cerr << "\r" << recorder.progressLine() << "\x1b[K\n";
  if (!writeError.empty()) {
    std::cerr << "camsdk-record: " << writeError << "\n";
    return 1;
  }
  std::cerr << "camsdk-record: wrote " << options.output << " ("
            << (loopError.empty() ? state.stopReason : loopError) << "):" << recorder.progressLine()
            << "\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  av_log_set_level(AV_LOG_ERROR);
  takeSignalsOnAThreadOfTheirOwn();
  try {
    const auto options =
        record_program::parseRecordOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (options.help) {
      std::cout << record_program::recordUsage();
      return 0;
    }
    return record(options);
  } catch (const recording::WriteError& error) {
    std::cerr << "camsdk-record: " << error.what() << "\n";
  } catch (const Exception& error) {
    std::cerr << "camsdk-record: " << error.what() << "\n";
  } catch (const std::exception& error) {
    std::cerr << "camsdk-record: " << error.what() << "\n";
  }
  return 1;
}
