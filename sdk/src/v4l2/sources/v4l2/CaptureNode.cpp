#include "sources/v4l2/CaptureNode.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "camsdk/Exceptions.h"
#include "common/ConfigurationRules.h"
#include "common/Overloaded.h"
#include "service/Vertices.h"
#include "sources/v4l2/DeviceSystem.h"

namespace CamSdk {
namespace v4l2 {

namespace {

bool isLost(int error) { return error == ENODEV || error == EIO || error == ENOENT; }

std::int32_t widthOf(FrameFormat format) {
  std::int32_t width = 0;
  FrameFormat_toResolution(format, &width, nullptr);
  return width;
}

std::int32_t heightOf(FrameFormat format) {
  std::int32_t height = 0;
  FrameFormat_toResolution(format, nullptr, &height);
  return height;
}

}  // namespace

CaptureNode::CaptureNode(std::shared_ptr<DeviceSystem> system, detail::Clock& clock,
                         ProbedFile file, LogFunction log)
    : system_(std::move(system)),
      clock_(clock),
      file_(std::move(file)),
      log_(std::move(log)),
      capture_(*system_, file_.path) {
  const bool depth = file_.profile.kind == NodeKind::Depth;
  const FrameFormat preferred = depth ? detail::defaultConfiguration<DepthNode>().frameFormat
                                      : detail::defaultConfiguration<ColorNode>().frameFormat;
  const std::int32_t fastestAllowed =
      depth ? detail::kDepthMaxFramerate : detail::kColorMaxFramerate;
  const SizeOffer* offer = &file_.profile.sizes.front();
  for (const SizeOffer& each : file_.profile.sizes) {
    if (each.format == preferred) offer = &each;
  }
  format_ = offer->format;
  const Interval fastest = offer->anyRate ? offer->fastest : offer->intervals.front();
  rate_ = std::clamp<std::int32_t>(static_cast<std::int32_t>(fastest.perSecond() + 0.5), 1,
                                   fastestAllowed);
  chooseInterval(file_, format_, rate_, &interval_);
}

long CaptureNode::referencedBuffers() const {
  return depthMaps_.referenced() + vertices_.referenced() + colorMaps_.referenced();
}

int CaptureNode::apply(FrameFormat format, const Interval& interval, std::string* mismatch) {
  return capture_.setFormat(file_.profile.pixelFormat, widthOf(format), heightOf(format),
                            file_.timePerFrame ? &interval : nullptr, mismatch);
}

void CaptureNode::claim() {
  const std::string camera = file_.path + " (" + file_.card + ")";
  if (gone_) throw StreamingException(camera + " is no longer connected");
  int result = capture_.open();
  // Setting the format is what another program's stream refuses: the clearest test of "busy".
  std::string mismatch;
  if (result == 0 && !capture_.streaming()) result = apply(format_, interval_, &mismatch);
  if (result == 0) {
    claimed_ = true;
    return;
  }
  const std::string why = capture_.failure();
  if (!watched_) capture_.close();
  if (result == -EBUSY) {
    throw UnauthorizedAccessException(camera + " is in use by another program (" + why + ")");
  }
  if (result == -EACCES) {
    throw UnauthorizedAccessException(camera + " may not be opened by this user (" + why + ")");
  }
  throw StreamingException(camera + " cannot be used: " + why);
}

void CaptureNode::release() {
  claimed_ = false;
  if (!watched_) capture_.close();
}

// Depth and colour both ask for a size and a rate; a capture device has no audio node.
std::string CaptureNode::configure(const detail::NodeConfiguration& configuration) {
  std::string reason;
  configuration.visit(Overloaded{
      [&](auto, const AudioNode::Configuration&) {},
      [&](auto, const auto& record) {
        reason = configureFrame(record.frameFormat, record.framerate);
      },
  });
  return reason;
}

std::string CaptureNode::configureFrame(FrameFormat format, std::int32_t rate) {
  if (gone_) return file_.path + " is no longer connected";
  Interval interval;
  std::string reason = chooseInterval(file_, format, rate, &interval);
  if (!reason.empty()) return reason;
  if (capture_.isOpen()) {
    const bool wasStreaming = capture_.streaming();
    capture_.stop();
    const int result = apply(format, interval, &reason);
    if (result == -EBUSY) {
      reason = file_.path + " is in use by another program (" + capture_.failure() + ")";
    } else if (result < 0) {
      reason = capture_.failure();
    }
    if (!reason.empty()) {
      std::string ignored;
      apply(format_, interval_, &ignored);  // back to what the node still reports
    } else {
      format_ = format;
      rate_ = rate;
      interval_ = interval;
    }
    if (wasStreaming) startCapture();
    return reason;
  }
  format_ = format;
  rate_ = rate;
  interval_ = interval;
  return {};
}

void CaptureNode::startCapture() {
  watched_ = true;
  pending_.reset();
  lastSequence_.reset();
  lost_ = 0;
  // The first frame always goes.
  credit_ = interval_.perSecond() > rate_ ? 1.0 - rate_ / interval_.perSecond() : 0.0;
  if (gone_) return;
  std::string mismatch;
  int result = capture_.open();
  if (result == 0) result = apply(format_, interval_, &mismatch);
  if (result == 0 && !mismatch.empty()) result = -EINVAL;
  if (result == 0) result = capture_.start();
  if (result < 0) {
    failure_ = mismatch.empty() ? capture_.failure() : mismatch;
    startError_ = -result;
    capture_.stop();
  }
}

void CaptureNode::stopCapture() {
  watched_ = false;
  pending_.reset();
  capture_.stop();
  if (!claimed_) capture_.close();
}

void CaptureNode::shutdown() {
  gone_ = true;
  claimed_ = false;
  watched_ = false;
  pending_.reset();
  capture_.close();
}

bool CaptureNode::usable(const v4l2_buffer& buffer) const {
  if ((buffer.flags & V4L2_BUF_FLAG_ERROR) != 0) return false;
  const v4l2_pix_format& format = capture_.format();
  const std::size_t rowBytes = static_cast<std::size_t>(widthOf(format_)) * 2;
  const std::size_t needed = static_cast<std::size_t>(format.bytesperline) *
                                 (static_cast<std::size_t>(heightOf(format_)) - 1) +
                             rowBytes;
  // Shorter than the format needs, or longer than the buffer or the format: not this frame.
  return format.bytesperline >= rowBytes && buffer.bytesused >= needed &&
         buffer.bytesused <= capture_.length(buffer.index) &&
         (format.sizeimage == 0 || buffer.bytesused <= format.sizeimage);
}

bool CaptureNode::keepForRate() {
  const double cameraRate = interval_.perSecond();
  if (cameraRate <= rate_) return true;
  credit_ += rate_ / cameraRate;
  if (credit_ < 1.0 - 1e-9) return false;
  credit_ -= 1.0;
  return true;
}

void CaptureNode::countLost(std::uint32_t sequence) {
  // The driver numbers the frames it captured; a gap is frames it had no buffer for.
  if (lastSequence_ && sequence > *lastSequence_ + 1) {
    const std::int64_t gap = std::int64_t(sequence) - *lastSequence_ - 1;
    lost_ = static_cast<std::int32_t>(std::min<std::int64_t>(
        std::int64_t(lost_) + gap, std::numeric_limits<std::int32_t>::max()));
  }
  lastSequence_ = sequence;
}

void CaptureNode::take(const v4l2_buffer& buffer) {
  const std::uint8_t* source = capture_.data(buffer.index);
  const std::size_t stride = capture_.format().bytesperline;
  const std::int32_t width = widthOf(format_);
  const std::int32_t height = heightOf(format_);
  const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  detail::CapturedSample sample;
  if (file_.profile.kind == NodeKind::Depth) {
    auto map = depthMaps_.acquire(pixels);
    short* out = map->data();
    for (std::int32_t row = 0; row < height; ++row) {
      const std::uint8_t* in = source + static_cast<std::size_t>(row) * stride;
      for (std::int32_t column = 0; column < width; ++column) {
        std::uint16_t millimetres = 0;
        std::memcpy(&millimetres, in + 2 * column, 2);
        // Beyond the depth map's range (over 32 m) there is no useful depth: no data.
        *out++ = millimetres > 32767 ? short{0} : static_cast<short>(millimetres);
      }
    }
    DepthNode::NewSampleReceivedData depth{};
    depth.frameFormat = format_;
    depth.depthMap = Pointer<short>(map, map->data(), pixels);
    sample.record = depth;
  } else {
    auto map = colorMaps_.acquire(pixels * 2);
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 2;
    for (std::int32_t row = 0; row < height; ++row) {
      std::memcpy(map->data() + static_cast<std::size_t>(row) * rowBytes,
                  source + static_cast<std::size_t>(row) * stride, rowBytes);
    }
    ColorNode::NewSampleReceivedData color{};
    color.frameFormat = format_;
    color.colorMap = Pointer<std::uint8_t>(map, map->data(), pixels * 2);
    sample.record = color;
  }
  // Driver stamps on the monotonic clock become service-clock times by their age now.
  sample.timeOfCapture = clock_.now();
  if ((buffer.flags & V4L2_BUF_FLAG_TIMESTAMP_MASK) == V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC) {
    const std::int64_t stamp =
        std::int64_t(buffer.timestamp.tv_sec) * 1'000'000 + buffer.timestamp.tv_usec;
    const std::int64_t age = std::max<std::int64_t>(system_->monotonicMicroseconds() - stamp, 0);
    sample.timeOfCapture -= std::chrono::microseconds(age);
  }
  // A frame still waiting when a newer one comes is lost too.
  sample.dropped = lost_ + (pending_ ? pending_->dropped + 1 : 0);
  lost_ = 0;
  pending_ = std::move(sample);
}

bool CaptureNode::collect() {
  if (startError_ != 0) {
    const int error = startError_;
    startError_ = 0;
    if (log_) log_(0, file_.path + " does not stream: " + failure_);
    if (isLost(error)) return false;
  }
  if (!capture_.streaming()) return true;
  pollfd ready{capture_.descriptor(), POLLIN, 0};
  const int polled = system_->poll(&ready, 1, 0);
  if (polled < 0) {
    failure_ = "poll on " + file_.path + ": " + errorName(-polled);
    return false;
  }
  if (polled == 0) return true;
  // Of what is ready, only the newest good frame is copied; the others go back at once.
  std::optional<v4l2_buffer> newest;
  for (;;) {
    v4l2_buffer buffer{};
    const int result = capture_.dequeue(&buffer);
    if (result == -EAGAIN) break;
    if (result < 0) {
      failure_ = capture_.failure();
      return false;
    }
    countLost(buffer.sequence);
    bool keep = false;
    if (!usable(buffer)) {
      ++lost_;
    } else {
      keep = keepForRate();
    }
    if (keep && newest) {
      ++lost_;
      std::swap(*newest, buffer);
    } else if (keep) {
      newest = buffer;
      continue;
    }
    if (capture_.requeue(buffer.index) < 0) {
      failure_ = capture_.failure();
      return false;
    }
  }
  if (newest) {
    take(*newest);
    if (capture_.requeue(newest->index) < 0) {
      failure_ = capture_.failure();
      return false;
    }
  } else if ((ready.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
    failure_ = "poll on " + file_.path + " reports an error while streaming";
    return false;
  }
  return true;
}

std::optional<detail::CapturedSample> CaptureNode::takeCaptured(bool vertices) {
  if (!pending_) return std::nullopt;
  detail::CapturedSample sample = std::move(*pending_);
  pending_.reset();
  auto* depth = std::get_if<DepthNode::NewSampleReceivedData>(&sample.record);
  if (vertices && depth != nullptr && depth->depthMap.data() != nullptr) {
    const std::size_t count = depth->depthMap.size();
    auto points = vertices_.acquire(count);
    detail::computeVertices(depth->depthMap.data(), widthOf(format_), heightOf(format_),
                            points->data());
    depth->vertices = Pointer<Vertex>(points, points->data(), count);
  }
  return sample;
}

}  // namespace v4l2
}  // namespace CamSdk
