#include "viewer/ViewerLifecycle.h"

#include <opencv2/highgui/highgui_c.h>

#include <cstdio>
#include <vector>

#include "camera/CameraSdk.h"
#include "present/ColorFrameDisplay.h"
#include "viewer/HotPlugHandlers.h"
#include "viewer/NodeDispatch.h"
#include "viewer/StopSignals.h"
#include "viewer/ViewerState.h"

namespace {

// Attaches the first device: its node events are wired and its nodes offered in list order.
void attachFirstDevice(CamSdk::Device& device) {
  ViewerState.deviceAttached = true;
  connectNodeHandlers(device);
  std::vector<CamSdk::Node> nodes = device.listNodes();
  std::printf("Found %u nodes\n", static_cast<unsigned>(nodes.size()));
  for (std::size_t index = 0; index < nodes.size(); ++index) claimNode(nodes[index]);
}

// A stream removed while the loop ran was unset by the hot-plug handler and is skipped.
template <class N>
void giveBackIfHeld(const N& stream) {
  if (stream.isSet()) ViewerState.context.unregisterNode(CamSdk::Node(stream));
}

}  // namespace

int runViewer(const std::string& host) {
  // Auto-size: the window takes the size of the picture shown in it. The depth window is
  // opened by the display library on the first depth picture.
  cvNamedWindow(kColorWindowName, CV_WINDOW_AUTOSIZE);

  ViewerState.context = CamSdk::Context::create(host);
  ViewerState.context.deviceAddedEvent().connectFunction(handleDeviceAdded);
  ViewerState.context.deviceRemovedEvent().connectFunction(handleDeviceRemoved);

  std::vector<CamSdk::Device> devices = ViewerState.context.listDevices();
  if (!devices.empty()) attachFirstDevice(devices[0]);

  ViewerState.context.startNodes();
  // A stop signal received during start-up makes the loop return before it delivers anything.
  leaveLoopOnStopSignal();
  ViewerState.context.run();
  stopSignals::loopLeft();
  ViewerState.context.stopNodes();

  giveBackIfHeld(ViewerState.colorStream);
  giveBackIfHeld(ViewerState.depthStream);
  giveBackIfHeld(ViewerState.audioStream);
  return 0;
}
