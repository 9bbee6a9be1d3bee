// One SDK node served by one capture device file: the claim and configuration a client makes
// become the driver's format and frame interval; while anyone watches, the file streams and
// each good frame is copied once from the driver's buffer into a sample buffer.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "service/BufferPool.h"
#include "service/CameraSource.h"
#include "sources/v4l2/CaptureFile.h"

namespace CamSdk {
namespace v4l2 {

using LogFunction = std::function<void(int level, const std::string& line)>;

class CaptureNode final : public detail::NodeSource {
 public:
  CaptureNode(std::shared_ptr<DeviceSystem> system, detail::Clock& clock, ProbedFile file,
              LogFunction log);

  // What the node starts at: the SDK's default size when the camera has it, at the fastest rate
  // the SDK allows that the camera serves.
  FrameFormat frameFormat() const { return format_; }
  std::int32_t framerate() const { return rate_; }
  const ProbedFile& file() const { return file_; }

  long referencedBuffers() const override;

  void claim() override;
  void release() override;
  std::string configure(const detail::NodeConfiguration& configuration) override;

  bool live() const override { return true; }
  void startCapture() override;
  void stopCapture() override;
  std::optional<detail::CapturedSample> takeCaptured(bool vertices) override;

  // For the source that owns the camera. The descriptor to wait on while streaming, else -1.
  int descriptor() const { return capture_.streaming() ? capture_.descriptor() : -1; }
  // Takes in the frames the driver has ready. False once the camera has failed for good
  // (ENODEV, EIO): failure() says how.
  bool collect();
  const std::string& failure() const { return failure_; }
  // The camera has gone: stops, unmaps and closes; from now on claims are refused.
  void shutdown();

 private:
  std::string configureFrame(FrameFormat format, std::int32_t rate);
  int apply(FrameFormat format, const Interval& interval, std::string* mismatch);
  bool usable(const v4l2_buffer& buffer) const;
  bool keepForRate();
  void take(const v4l2_buffer& buffer);
  void countLost(std::uint32_t sequence);

  std::shared_ptr<DeviceSystem> system_;
  detail::Clock& clock_;
  ProbedFile file_;
  LogFunction log_;
  CaptureFile capture_;
  FrameFormat format_ = FRAME_FORMAT_UNKNOWN;
  std::int32_t rate_ = 0;
  Interval interval_;
  bool claimed_ = false;
  bool watched_ = false;
  bool gone_ = false;
  int startError_ = 0;  // a failed start, reported at the next collect()
  std::string failure_;
  double credit_ = 0.0;  // thins a faster camera to the configured rate
  std::optional<std::uint32_t> lastSequence_;
  std::int32_t lost_ = 0;  // frames lost since the pending or last sample
  std::optional<detail::CapturedSample> pending_;
  detail::BufferPool<short> depthMaps_;
  detail::BufferPool<Vertex> vertices_;
  detail::BufferPool<std::uint8_t> colorMaps_;
};

}  // namespace v4l2
}  // namespace CamSdk
