// A link-time stand-in for the few OpenCV display functions the viewer calls (cvNamedWindow,
// cvShowImage, cv::imshow, cv::waitKey, cv::getWindowProperty) and for the viewer's check that a
// display can be opened. Tests link it instead of opencv_highgui and the real check, so they run
// without a display: it records what was shown, hands out scripted key codes and closes a
// window when a test says a person closed it.
//
// Memory stays bounded however many frames a test pushes through: per window only the last
// picture is kept, next to a count, and the event log keeps only its newest entries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace displayStandIn {

struct CreatedWindow {
  std::string name;
  int flags = 0;
};

struct ShownImage {
  std::string window;
  int width = 0;
  int height = 0;
  int channels = 0;
  int depth = 0;                    // OpenCV element depth code: CV_8U is 0, CV_16S is 3
  int type = 0;                     // OpenCV type code: depth and channels together (CV_8UC3 is 16)
  std::vector<std::uint8_t> bytes;  // rows copied one after another, without padding
};

// Forgets everything recorded and every scripted key.
void reset();

// Successive waitKey calls return these codes in order, then -1 (no key) for ever.
void scriptKeys(std::vector<int> keys);
// Scripted keys not yet handed out.
std::size_t pendingKeys();

// The next waitKey call closes `window`, as the library's poll handles a press of the window
// manager's close button: from then on the window reports itself not visible, until a picture
// shown into it opens it again. A window that was never created or shown cannot be closed.
void closeWindowAtNextPoll(const std::string& window);

int waitKeyCalls();
// The delay passed to the latest waitKey call; 0 before any call.
int lastWaitKeyDelay();

std::vector<CreatedWindow> createdWindows();

// Pictures shown in `window` since the last reset, by either display function.
int showCount(const std::string& window);
int totalShowCount();
// The newest picture shown in `window`, if any.
std::optional<ShownImage> lastShown(const std::string& window);

// The newest calls in order, such as "namedWindow Color Camera", "show Color Camera 640x480x3",
// "waitKey 1 -> 113". Only the last kEventLogLimit entries are kept.
constexpr std::size_t kEventLogLimit = 256;
std::vector<std::string> events();

}  // namespace displayStandIn
