// An SDK client for the resilience tests, in a process of its own so that a test can stop and
// continue it: it takes control of the first colour node ("hold 0"), and streams it too
// ("hold 1"), and takes it again whenever its camera comes back; "hold 2" streams and spends
// 3 s in the handler of its first colour map ("busy", then "back"). It says what happens, one
// word a line: "held" (control taken), "streaming" (the first colour map since then), "lost"
// (the camera went), "refused" (control refused). It runs until it is killed.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "camsdk/CamSdk.h"
#include "common/EventAccess.h"

namespace {

using namespace CamSdk;

// Calls a plain function for each event.
template <class T, class Data>
class Forward final : public EventHandler<T, Data> {
 public:
  explicit Forward(void (*function)(T, Data)) : function_(function) {}
  bool isSameHandler(EventHandlerBase* other) const override { return other == this; }
  void deliver(T source, Data data) override { function_(source, data); }

 private:
  void (*function_)(T, Data);
};

template <class T, class Data>
void on(Event<T, Data>& event, void (*function)(T, Data)) {
  detail::EventAccess::connect(event, new Forward<T, Data>(function));
}

Context context;
bool stream = false;
bool busyOnce = false;
bool sampleSeen = false;

void say(const char* word) {
  std::printf("%s\n", word);
  std::fflush(stdout);
}

void claim(ColorNode color) {
  try {
    context.requestControl(Node(color), 0);
    if (stream) {
      color.setEnableColorMap(true);
      context.registerNode(Node(color));
    }
    sampleSeen = false;
    say("held");
  } catch (const Exception&) {
    say("refused");
  }
}

void onSample(ColorNode, ColorNode::NewSampleReceivedData data) {
  if (!sampleSeen && data.colorMap.data() != nullptr) {
    sampleSeen = true;
    say("streaming");
    if (busyOnce) {
      busyOnce = false;
      say("busy");
      std::this_thread::sleep_for(std::chrono::seconds(3));
      say("back");
    }
  }
}

void onNodeAdded(Device, Device::NodeAddedData data) {
  if (!data.node.is<ColorNode>()) return;
  ColorNode color = data.node.as<ColorNode>();
  on(color.newSampleReceivedEvent(), onSample);
  claim(color);
}

void onDeviceAdded(Context, Context::DeviceAddedData data) {
  on(data.device.nodeAddedEvent(), onNodeAdded);
}

void onDeviceRemoved(Context, Context::DeviceRemovedData) { say("lost"); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || std::strcmp(argv[1], "hold") != 0) {
    std::fprintf(stderr, "usage: resilience-client hold 0|1|2\n");
    return 2;
  }
  stream = std::strcmp(argv[2], "0") != 0;
  busyOnce = std::strcmp(argv[2], "2") == 0;
  context = Context::create("localhost");
  on(context.deviceAddedEvent(), onDeviceAdded);
  on(context.deviceRemovedEvent(), onDeviceRemoved);
  List<Device> devices = context._p_getDevices();
  if (devices.size() == 0) return 1;
  Device device = devices[0];
  on(device.nodeAddedEvent(), onNodeAdded);
  List<Node> nodes = device._p_getNodes();
  for (int i = 0; i < nodes.size(); ++i) {
    Node node = nodes[i];
    if (!node.is<ColorNode>()) continue;
    ColorNode color = node.as<ColorNode>();
    on(color.newSampleReceivedEvent(), onSample);
    claim(color);
    break;
  }
  context.startNodes();
  context.run();
  return 0;
}
