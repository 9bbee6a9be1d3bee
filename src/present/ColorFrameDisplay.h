// The colour stream's frame handler: converts each sample's colour map to blue-green-red,
// shows it in the colour window and polls the keyboard, asking the context to quit on q or when
// the person has closed the colour window. The entry function creates that window first.
#pragma once

#include <cstddef>

#include "camera/CameraSdk.h"

constexpr char kColorWindowName[] = "Color Camera";

void showColorFrame(CamSdk::ColorNode node, CamSdk::ColorNode::NewSampleReceivedData data);

namespace colorFrameDisplay {

// Where the per-frame work buffer comes from; std::malloc unless a test installs a failing
// one. The buffer is always given back with std::free.
using WorkBufferAllocator = void* (*)(std::size_t bytes);
void setWorkBufferAllocator(WorkBufferAllocator allocator);  // nullptr: back to std::malloc

// True when `key` (as cv::waitKey returns it) asks the viewer to quit: its low byte is 'q'.
bool isQuitKey(int key);

// True when the colour window was closed by the person (the window manager's close button).
bool colorWindowWasClosed();

}  // namespace colorFrameDisplay
