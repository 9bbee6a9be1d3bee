// Whether the windows can be opened at all, asked before anything else, so that a viewer
// started without a display says so in one line and claims no camera stream. Without the check
// the window library aborts the process with its own lines of text.
//
// Platform code: DisplayCheckX11.cpp where the window library draws through X,
// DisplayCheckWindows.cpp on Windows, or
// DisplayCheckUnknown.cpp where the viewer cannot tell and leaves it to the window library.
#pragma once

#include <string>

// Empty when a display can be opened (or the viewer cannot tell); otherwise why it cannot,
// such as "DISPLAY is not set".
std::string whyNoDisplay();
