// Definitions of the OpenCV display functions with the exact signatures of the installed
// headers, so that the linker takes them in place of the real highgui library.
#include "DisplayStandIn.h"

#include <opencv2/core/core_c.h>
#include <opencv2/highgui/highgui_c.h>

#include <deque>
#include <map>
#include <mutex>
#include <opencv2/core.hpp>
#include <opencv2/highgui.hpp>
#include <utility>

#include "viewer/DisplayCheck.h"

namespace displayStandIn {
namespace {

struct WindowRecord {
  int shows = 0;
  std::optional<ShownImage> last;
  bool closed = false;
};

struct Recorder {
  std::mutex mutex;
  std::deque<int> keys;
  int waitKeyCalls = 0;
  int lastDelay = 0;
  std::vector<CreatedWindow> windows;
  std::map<std::string, WindowRecord> shown;
  int totalShows = 0;
  std::deque<std::string> events;
  std::vector<std::string> closeAtNextPoll;

  void log(std::string entry) {
    events.push_back(std::move(entry));
    while (events.size() > kEventLogLimit) events.pop_front();
  }
};

Recorder& recorder() {
  static Recorder instance;
  return instance;
}

ShownImage copyOf(const std::string& window, const cv::Mat& mat) {
  ShownImage image;
  image.window = window;
  image.width = mat.cols;
  image.height = mat.rows;
  image.channels = mat.channels();
  image.depth = mat.depth();
  image.type = mat.type();
  const std::size_t rowBytes = static_cast<std::size_t>(mat.cols) * mat.elemSize();
  image.bytes.reserve(rowBytes * static_cast<std::size_t>(mat.rows));
  for (int row = 0; row < mat.rows; ++row) {
    const std::uint8_t* begin = mat.ptr<std::uint8_t>(row);
    image.bytes.insert(image.bytes.end(), begin, begin + rowBytes);
  }
  return image;
}

void recordShow(const std::string& window, const cv::Mat& mat) {
  ShownImage image = copyOf(window, mat);
  Recorder& r = recorder();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.log("show " + window + " " + std::to_string(image.width) + "x" + std::to_string(image.height) +
        "x" + std::to_string(image.channels));
  WindowRecord& record = r.shown[window];
  ++record.shows;
  ++r.totalShows;
  record.last = std::move(image);
  record.closed = false;
}

void recordWindow(const std::string& name, int flags) {
  Recorder& r = recorder();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.windows.push_back({name, flags});
  r.shown[name].closed = false;
  r.log("namedWindow " + name);
}

}  // namespace

void reset() {
  Recorder& r = recorder();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.keys.clear();
  r.waitKeyCalls = 0;
  r.lastDelay = 0;
  r.windows.clear();
  r.shown.clear();
  r.totalShows = 0;
  r.events.clear();
  r.closeAtNextPoll.clear();
}

void scriptKeys(std::vector<int> keys) {
  Recorder& r = recorder();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.keys.assign(keys.begin(), keys.end());
}

std::size_t pendingKeys() {
  Recorder& r = recorder();
  std::lock_guard<std::mutex> lock(r.mutex);
  return r.keys.size();
}

void closeWindowAtNextPoll(const std::string& window) {
  Recorder& r = recorder();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.closeAtNextPoll.push_back(window);
}

int waitKeyCalls() {
  Recorder& r = recorder();
  std::lock_guard<std::mutex> lock(r.mutex);
  return r.waitKeyCalls;
}

int lastWaitKeyDelay() {
  Recorder& r = recorder();
  std::lock_guard<std::mutex> lock(r.mutex);
  return r.lastDelay;
}

std::vector<CreatedWindow> createdWindows() {
  Recorder& r = recorder();
  std::lock_guard<std::mutex> lock(r.mutex);
  return r.windows;
}

int showCount(const std::string& window) {
  Recorder& r = recorder();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto found = r.shown.find(window);
  return found == r.shown.end() ? 0 : found->second.shows;
}

int totalShowCount() {
  Recorder& r = recorder();
  std::lock_guard<std::mutex> lock(r.mutex);
  return r.totalShows;
}

std::optional<ShownImage> lastShown(const std::string& window) {
  Recorder& r = recorder();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto found = r.shown.find(window);
  if (found == r.shown.end()) return std::nullopt;
  return found->second.last;
}

std::vector<std::string> events() {
  Recorder& r = recorder();
  std::lock_guard<std::mutex> lock(r.mutex);
  return {r.events.begin(), r.events.end()};
}

}  // namespace displayStandIn

// The display the stand-in stands for can always be opened.
std::string whyNoDisplay() { return {}; }

// The C interface, as highgui_c.h declares it.
CV_IMPL int cvNamedWindow(const char* name, int flags) {
  displayStandIn::recordWindow(name ? name : "", flags);
  return 1;
}

CV_IMPL void cvShowImage(const char* name, const CvArr* image) {
  // Like the real function, a null image is an error raised by the library.
  if (image == nullptr) CV_Error(cv::Error::StsNullPtr, "NULL image");
  displayStandIn::recordShow(name ? name : "", cv::cvarrToMat(image));
}

namespace cv {

void imshow(const String& winname, InputArray mat) {
  displayStandIn::recordShow(winname, mat.getMat());
}

int waitKey(int delay) {
  displayStandIn::Recorder& r = displayStandIn::recorder();
  std::lock_guard<std::mutex> lock(r.mutex);
  ++r.waitKeyCalls;
  r.lastDelay = delay;
  int key = -1;
  if (!r.keys.empty()) {
    key = r.keys.front();
    r.keys.pop_front();
  }
  r.log("waitKey " + std::to_string(delay) + " -> " + std::to_string(key));
  for (const std::string& window : r.closeAtNextPoll) {
    auto found = r.shown.find(window);
    if (found != r.shown.end()) found->second.closed = true;
  }
  r.closeAtNextPoll.clear();
  return key;
}

// Only visibility is answered, as the real library (Qt) answers it: 1 for an open window, 0 for
// one that was closed or never created.
double getWindowProperty(const String& winname, int prop_id) {
  if (prop_id != WND_PROP_VISIBLE) return -1;
  displayStandIn::Recorder& r = displayStandIn::recorder();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto found = r.shown.find(winname);
  return found == r.shown.end() || found->second.closed ? 0 : 1;
}

}  // namespace cv
