// How long a recording takes to open and deliver its first sample, on the real clock: from the
// moment the service is asked to add it as a device to the first depth sample in a context's
// handler, as `camsdk-service --play` and a viewer would see it, minus the process start-up.
//
//   recording_open FILE.mkv [REPEATS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "camsdk/CamSdk.h"
#include "camsdk/testing/Scenario.h"
#include "common/EventAccess.h"

namespace {

using Clock = std::chrono::steady_clock;

class QuitOnFirst final
    : public CamSdk::EventHandler<CamSdk::DepthNode, CamSdk::DepthNode::NewSampleReceivedData> {
 public:
  explicit QuitOnFirst(CamSdk::Context& context) : context_(context) {}
  bool isSameHandler(CamSdk::EventHandlerBase* other) const override { return other == this; }
  void deliver(CamSdk::DepthNode, CamSdk::DepthNode::NewSampleReceivedData data) override {
    if (data.depthMap.size() > 0) context_.quit();
  }

 private:
  CamSdk::Context& context_;
};

double openOnce(const char* path) {
  const Clock::time_point start = Clock::now();
  CamSdk::testing::Scenario scenario =
      CamSdk::testing::Scenario::fresh(CamSdk::testing::Topology::Empty, false);
  scenario.addRecording("recording", path);
  CamSdk::Context context = CamSdk::Context::create("localhost");
  CamSdk::Node node = context._p_getDevices()[0]._p_getNodes()[0];
  auto depth = node.as<CamSdk::DepthNode>();
  CamSdk::detail::EventAccess::connect(depth.newSampleReceivedEvent(), new QuitOnFirst(context));
  context.registerNode(depth);
  depth.setEnableDepthMap(true);
  context.startNodes();
  context.run();
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE.mkv [REPEATS]\n", argv[0]);
    return 2;
  }
  const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  std::vector<double> times;
  for (int i = 0; i < repeats; ++i) times.push_back(openOnce(argv[1]));
  std::sort(times.begin(), times.end());
  std::printf("open to first depth sample over %d runs: median %.1f ms, worst %.1f ms\n", repeats,
              times[times.size() / 2], times.back());
  return 0;
}
