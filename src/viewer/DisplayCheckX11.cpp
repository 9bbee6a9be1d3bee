#include <X11/Xlib.h>

#include <cstdlib>
#include <string>

#include "viewer/DisplayCheck.h"

namespace {

// The window library can be told to draw elsewhere than on X (its toolkit's platform
// variable); then X is not the display to check.
bool windowLibraryDrawsOnX() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  return platform == nullptr || *platform == '\0' || std::string(platform).rfind("xcb", 0) == 0;
}

}  // namespace

std::string whyNoDisplay() {
  if (!windowLibraryDrawsOnX()) return {};
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') return "DISPLAY is not set";
  Display* display = XOpenDisplay(name);
  if (display == nullptr) return std::string("no X server answers at DISPLAY=") + name;
  XCloseDisplay(display);
  return {};
}
