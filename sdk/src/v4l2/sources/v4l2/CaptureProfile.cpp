#include "sources/v4l2/CaptureProfile.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/ConfigurationRules.h"
#include "sources/v4l2/DeviceSystem.h"

namespace CamSdk {
namespace v4l2 {

namespace {

constexpr std::int32_t kLastFrameFormat = FRAME_FORMAT_FULL_HD;

NodeKind kindOf(std::uint32_t pixelFormat) {
  switch (pixelFormat) {
    case V4L2_PIX_FMT_Z16:
    case V4L2_PIX_FMT_Y16:
      return NodeKind::Depth;
    case V4L2_PIX_FMT_YUYV:
      return NodeKind::Color;
    default:
      return NodeKind::Other;
  }
}

// Whether the SDK's rules let a node of `kind` stream `format` at all.
bool carried(NodeKind kind, FrameFormat format) {
  if (kind == NodeKind::Depth) {
    DepthNode::Configuration configuration = detail::defaultConfiguration<DepthNode>();
    configuration.frameFormat = format;
    return detail::checkConfiguration(configuration).empty();
  }
  ColorNode::Configuration configuration = detail::defaultConfiguration<ColorNode>();
  configuration.frameFormat = format;
  return detail::checkConfiguration(configuration).empty();
}

std::string text(const std::uint8_t* bytes, std::size_t size) {
  const auto* begin = reinterpret_cast<const char*>(bytes);
  return std::string(begin, strnlen(begin, size));
}

void readIntervals(DeviceSystem& system, int fd, std::uint32_t pixelFormat, std::int32_t width,
                   std::int32_t height, SizeOffer* offer) {
  for (std::uint32_t index = 0;; ++index) {
    v4l2_frmivalenum interval{};
    interval.index = index;
    interval.pixel_format = pixelFormat;
    interval.width = static_cast<std::uint32_t>(width);
    interval.height = static_cast<std::uint32_t>(height);
    if (system.ioctl(fd, VIDIOC_ENUM_FRAMEINTERVALS, &interval) < 0) break;  // EINVAL: the end
    if (interval.type == V4L2_FRMIVAL_TYPE_DISCRETE) {
      offer->intervals.push_back(
          Interval{interval.discrete.numerator, interval.discrete.denominator});
    } else {
      offer->anyRate = true;
      offer->fastest = Interval{interval.stepwise.min.numerator, interval.stepwise.min.denominator};
      offer->slowest = Interval{interval.stepwise.max.numerator, interval.stepwise.max.denominator};
      break;
    }
  }
  std::sort(offer->intervals.begin(), offer->intervals.end(),
            [](const Interval& a, const Interval& b) { return a.perSecond() > b.perSecond(); });
}

// The SDK frame formats a frame-size entry covers (one for a discrete size, any number in a
// stepwise range).
std::vector<FrameFormat> formatsIn(const v4l2_frmsizeenum& size) {
  std::vector<FrameFormat> formats;
  for (std::int32_t code = 1; code <= kLastFrameFormat; ++code) {
    const auto format = static_cast<FrameFormat>(code);
    std::int32_t width = 0;
    std::int32_t height = 0;
    FrameFormat_toResolution(format, &width, &height);
    const auto w = static_cast<std::uint32_t>(width);
    const auto h = static_cast<std::uint32_t>(height);
    bool fits = false;
    if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
      fits = size.discrete.width == w && size.discrete.height == h;
    } else {
      const v4l2_frmsize_stepwise& s = size.stepwise;
      const std::uint32_t stepW = std::max<std::uint32_t>(s.step_width, 1);
      const std::uint32_t stepH = std::max<std::uint32_t>(s.step_height, 1);
      fits = w >= s.min_width && w <= s.max_width && h >= s.min_height && h <= s.max_height &&
             (w - s.min_width) % stepW == 0 && (h - s.min_height) % stepH == 0;
    }
    if (fits) formats.push_back(format);
  }
  return formats;
}

// The sizes the SDK names at which the file streams `pixelFormat`.
std::vector<SizeOffer> readSizes(DeviceSystem& system, int fd, std::uint32_t pixelFormat,
                                 NodeKind kind) {
  std::vector<SizeOffer> offers;
  for (std::uint32_t index = 0;; ++index) {
    v4l2_frmsizeenum size{};
    size.index = index;
    size.pixel_format = pixelFormat;
    if (system.ioctl(fd, VIDIOC_ENUM_FRAMESIZES, &size) < 0) break;  // EINVAL: the end
    for (FrameFormat format : formatsIn(size)) {
      if (!carried(kind, format)) continue;
      SizeOffer offer;
      offer.format = format;
      std::int32_t width = 0;
      std::int32_t height = 0;
      FrameFormat_toResolution(format, &width, &height);
      readIntervals(system, fd, pixelFormat, width, height, &offer);
      if (offer.anyRate || !offer.intervals.empty()) offers.push_back(offer);
    }
    if (size.type != V4L2_FRMSIZE_TYPE_DISCRETE) break;  // one range describes them all
  }
  std::sort(offers.begin(), offers.end(),
            [](const SizeOffer& a, const SizeOffer& b) { return a.format < b.format; });
  return offers;
}

void readFormats(DeviceSystem& system, int fd, ProbedFile* file) {
  for (std::uint32_t index = 0;; ++index) {
    v4l2_fmtdesc description{};
    description.index = index;
    description.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (system.ioctl(fd, VIDIOC_ENUM_FMT, &description) < 0) break;  // EINVAL: the end
    const std::uint32_t pixelFormat = description.pixelformat;
    file->offered += (file->offered.empty() ? "" : ", ") + fourccName(pixelFormat);
    const NodeKind kind = kindOf(pixelFormat);
    if (kind == NodeKind::Other) continue;
    // One file streams one format at a time: depth is what a depth camera is for, so it wins.
    if (file->profile.kind == NodeKind::Depth) continue;
    std::vector<SizeOffer> sizes = readSizes(system, fd, pixelFormat, kind);
    if (sizes.empty()) continue;
    file->profile = CaptureProfile{kind, pixelFormat, std::move(sizes)};
  }
}

}  // namespace

std::string fourccName(std::uint32_t pixelFormat) {
  std::string name;
  for (int shift = 0; shift < 32; shift += 8) {
    const char c = static_cast<char>((pixelFormat >> shift) & 0xff);
    if (c != ' ' && c != '\0') name += c;
  }
  return name;
}

std::string errorName(int error) {
  const char* name = "error";
  switch (error) {
    case EBUSY:
      name = "EBUSY";
      break;
    case EINVAL:
      name = "EINVAL";
      break;
    case ENODEV:
      name = "ENODEV";
      break;
    case EIO:
      name = "EIO";
      break;
    case ENOENT:
      name = "ENOENT";
      break;
    case EACCES:
      name = "EACCES";
      break;
    case ENOMEM:
      name = "ENOMEM";
      break;
    case ENOSPC:
      name = "ENOSPC";
      break;
    case ENOTTY:
      name = "ENOTTY";
      break;
    case EPIPE:
      name = "EPIPE";
      break;
    default:
      break;
  }
  return std::string(name) + " (" + std::strerror(error) + ")";
}

ProbedFile probeFile(DeviceSystem& system, const std::string& path) {
  ProbedFile file;
  file.path = path;
  const int fd = system.open(path);
  if (fd < 0) {
    file.problem = "cannot open it: " + errorName(-fd);
    return file;
  }
  v4l2_capability capability{};
  const int asked = system.ioctl(fd, VIDIOC_QUERYCAP, &capability);
  if (asked < 0) {
    file.problem = "not a Video4Linux2 device: " + errorName(-asked);
  } else {
    file.card = text(capability.card, sizeof capability.card);
    file.busInfo = text(capability.bus_info, sizeof capability.bus_info);
    // The file's own capabilities, when the driver says them apart from the whole device's.
    const std::uint32_t caps = (capability.capabilities & V4L2_CAP_DEVICE_CAPS) != 0
                                   ? capability.device_caps
                                   : capability.capabilities;
    file.capture = (caps & V4L2_CAP_VIDEO_CAPTURE) != 0 && (caps & V4L2_CAP_STREAMING) != 0;
    if (file.capture) {
      v4l2_streamparm parameters{};
      parameters.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      file.timePerFrame = system.ioctl(fd, VIDIOC_G_PARM, &parameters) == 0 &&
                          (parameters.parm.capture.capability & V4L2_CAP_TIMEPERFRAME) != 0;
      readFormats(system, fd, &file);
      if (file.profile.kind == NodeKind::Other) {
        file.problem =
            "streams nothing the SDK carries (YUYV, Z16 or Y16 at an SDK frame size); "
            "it offers " +
            (file.offered.empty() ? std::string("no format") : file.offered);
      }
    }
  }
  system.close(fd);
  return file;
}

std::string chooseInterval(const ProbedFile& file, FrameFormat format, std::int32_t rate,
                           Interval* chosen) {
  std::int32_t width = 0;
  std::int32_t height = 0;
  FrameFormat_toResolution(format, &width, &height);
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  auto offer = std::find_if(file.profile.sizes.begin(), file.profile.sizes.end(),
                            [format](const SizeOffer& s) { return s.format == format; });
  if (offer == file.profile.sizes.end()) {
    std::string sizes;
    for (const SizeOffer& s : file.profile.sizes) {
      std::int32_t w = 0;
      std::int32_t h = 0;
      FrameFormat_toResolution(s.format, &w, &h);
      sizes += (sizes.empty() ? "" : ", ") + std::to_string(w) + "x" + std::to_string(h);
    }
    return file.path + " does not capture " + size + " in " + fourccName(file.profile.pixelFormat) +
           " (it captures " + sizes + ")";
  }
  // A driver's 29.97 serves 30: rates compare rounded to the nearest whole frame.
  auto atLeast = [rate](const Interval& i) { return std::lround(i.perSecond()) >= rate; };
  if (offer->anyRate) {
    if (!atLeast(offer->fastest)) {
      return file.path + " captures " + size + " at most " +
             std::to_string(std::lround(offer->fastest.perSecond())) + " frames a second, not " +
             std::to_string(rate);
    }
    *chosen =
        atLeast(offer->slowest) ? offer->slowest : Interval{1, static_cast<std::uint32_t>(rate)};
    return {};
  }
  // Fastest first: the last one fast enough is the slowest that serves the rate.
  const Interval* best = nullptr;
  std::string rates;
  for (const Interval& interval : offer->intervals) {
    if (atLeast(interval)) best = &interval;
    rates += (rates.empty() ? "" : ", ") + std::to_string(std::lround(interval.perSecond()));
  }
  if (best == nullptr) {
    return file.path + " captures " + size + " at " + rates + " frames a second, not " +
           std::to_string(rate);
  }
  *chosen = *best;
  return {};
}

}  // namespace v4l2
}  // namespace CamSdk
