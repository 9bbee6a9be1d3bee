// The colour display: converts each sample's colour map to blue-green-red, shows it in the
// colour window at the size its own frame format names, and polls the keyboard, asking the loop
// to stop on q or when the person has closed the colour window. The entry function creates that
// window first.
#pragma once

#include <cstddef>

#include "camera/CameraSdk.h"
#include "camera/LoopStop.h"

constexpr char kColorWindowName[] = "Color Camera";

namespace colorFrameDisplay {

// One colour sample. A sample whose map does not hold a whole picture of its frame format (or
// whose format names no size) is not shown: the first such sample of each format says so in
// one line on standard output.
void show(const CamSdk::ColorNode::NewSampleReceivedData& data, LoopStop stopLoop);

// Where the per-frame work buffer comes from; std::malloc unless a test installs a failing
// one. The buffer is always given back with std::free.
using WorkBufferAllocator = void* (*)(std::size_t bytes);
void setWorkBufferAllocator(WorkBufferAllocator allocator);  // nullptr: back to std::malloc

// True when `key` (as cv::waitKey returns it) asks the viewer to quit: its low byte is 'q'.
bool isQuitKey(int key);

// True when the colour window was closed by the person (the window manager's close button).
bool colorWindowWasClosed();

}  // namespace colorFrameDisplay
