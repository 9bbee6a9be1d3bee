// What one capture device file can stream that the SDK can carry: a node kind, the driver's
// pixel format for it, and for each SDK frame format the frame intervals the driver offers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "camsdk/FrameFormat.h"
#include "camsdk/Node.h"

namespace CamSdk {
namespace v4l2 {

class DeviceSystem;

// Seconds per frame, as the driver gives it.
struct Interval {
  std::uint32_t numerator = 0;
  std::uint32_t denominator = 0;
  double perSecond() const { return numerator == 0 ? 0.0 : double(denominator) / numerator; }
};

struct SizeOffer {
  FrameFormat format = FRAME_FORMAT_UNKNOWN;
  std::vector<Interval> intervals;  // discrete choices, fastest first
  // A stepwise or continuous range instead: any rate between these.
  bool anyRate = false;
  Interval fastest;
  Interval slowest;
};

struct CaptureProfile {
  NodeKind kind = NodeKind::Other;  // Depth or Color when the file offers something usable
  std::uint32_t pixelFormat = 0;
  std::vector<SizeOffer> sizes;
};

// One device file as its driver describes it.
struct ProbedFile {
  std::string path;
  std::string card;
  std::string busInfo;        // the same for every file of one physical camera
  bool capture = false;       // a video capture file that can stream (not metadata, not output)
  bool timePerFrame = false;  // the driver lets the frame interval be set
  CaptureProfile profile;
  std::string problem;  // why it cannot be used, when it cannot
  std::string offered;  // what it offers, for the log when nothing is usable
};

// Opens `path`, asks the driver what it is and what it streams (formats, sizes, intervals),
// and closes it again.
ProbedFile probeFile(DeviceSystem& system, const std::string& path);

// The interval to ask for so the camera serves `rate` frames a second at `format`: the slowest
// offered that is at least as fast (the source thins it to `rate`). Empty, or the reason.
std::string chooseInterval(const ProbedFile& file, FrameFormat format, std::int32_t rate,
                           Interval* chosen);

std::string fourccName(std::uint32_t pixelFormat);
std::string errorName(int error);  // "EBUSY (Device or resource busy)"

}  // namespace v4l2
}  // namespace CamSdk
