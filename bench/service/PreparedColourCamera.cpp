#include "PreparedColourCamera.h"

#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace {

using namespace CamSdk;

class PreparedColourNode final : public detail::NodeSource {
 public:
  explicit PreparedColourNode(std::shared_ptr<PreparedColourCamera> camera)
      : camera_(std::move(camera)) {}

  long referencedBuffers() const override { return 0; }

  bool live() const override { return true; }
  void startCapture() override { camera_->start(); }
  void stopCapture() override { camera_->stop(); }
  std::optional<detail::CapturedSample> takeCaptured(bool) override { return camera_->take(); }

 private:
  std::shared_ptr<PreparedColourCamera> camera_;
};

[[noreturn]] void fail(const char* call) {
  throw std::runtime_error(std::string("prepared colour camera: ") + call + ": " +
                           std::strerror(errno));
}

std::int64_t periodOf(int perSecond) { return 1'000'000'000L / perSecond; }

}  // namespace

PreparedColourCamera::PreparedColourCamera(detail::Clock& clock, int perSecond, int buffers)
    : clock_(clock),
      perSecond_(perSecond),
      buffers_(static_cast<std::uint64_t>(buffers < 1 ? 1 : buffers)),
      picture_(std::make_shared<std::vector<std::uint8_t>>(kPictureBytes)) {
  for (std::size_t i = 0; i < picture_->size(); ++i) {
    (*picture_)[i] = static_cast<std::uint8_t>(i * 7);
  }
  ready_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (ready_ < 0) fail("eventfd");
  if (perSecond_ > 0) {
    timer_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (timer_ < 0) fail("timerfd_create");
  }
}

PreparedColourCamera::~PreparedColourCamera() {
  close(ready_);
  if (timer_ >= 0) close(timer_);
}

std::vector<int> PreparedColourCamera::descriptors() const {
  if (timer_ < 0) return {ready_};
  return {timer_, ready_};
}

void PreparedColourCamera::setReady(bool ready) {
  if (ready == readySet_) return;
  std::uint64_t count = 1;
  if (ready) {
    if (write(ready_, &count, sizeof count) != sizeof count) fail("write to the eventfd");
  } else {
    while (read(ready_, &count, sizeof count) == sizeof count) {
    }
  }
  readySet_ = ready;
}

void PreparedColourCamera::start() {
  running_ = true;
  started_ = clock_.now();
  captured_ = queued_ = 0;
  lostSinceTaken_ = 0;
  lostInAll_ = 0;
  takenInAll_ = 0;
  if (timer_ >= 0) {
    itimerspec timer{};
    timer.it_interval.tv_sec = periodOf(perSecond_) / 1'000'000'000L;
    timer.it_interval.tv_nsec = periodOf(perSecond_) % 1'000'000'000L;
    timer.it_value = timer.it_interval;
    if (timerfd_settime(timer_, 0, &timer, nullptr) != 0) fail("timerfd_settime");
  } else {
    setReady(true);  // for as long as the stream runs
  }
}

void PreparedColourCamera::stop() {
  running_ = false;
  if (timer_ >= 0) {
    const itimerspec off{};
    timerfd_settime(timer_, 0, &off, nullptr);
    std::uint64_t count = 0;
    while (read(timer_, &count, sizeof count) == sizeof count) {
    }
  }
  setReady(false);
}

void PreparedColourCamera::pump() {
  if (!running_ || timer_ < 0) return;
  std::uint64_t expirations = 0;
  if (read(timer_, &expirations, sizeof expirations) != sizeof expirations) return;
  captured_ += expirations;
  queued_ += expirations;
  if (queued_ > buffers_) {
    const auto lost = static_cast<std::int32_t>(queued_ - buffers_);
    lostSinceTaken_ += lost;
    lostInAll_ += lost;
    queued_ = buffers_;
  }
  setReady(queued_ > 0);
}

std::optional<detail::CapturedSample> PreparedColourCamera::take() {
  if (!running_) return std::nullopt;
  detail::CapturedSample sample;
  if (timer_ >= 0) {
    if (queued_ == 0) return std::nullopt;
    // The oldest queued picture was captured at the end of period captured_ - queued_.
    const auto number = static_cast<std::int64_t>(captured_ - queued_ + 1);
    sample.timeOfCapture = started_ + detail::Nanoseconds(number * periodOf(perSecond_));
    sample.dropped = lostSinceTaken_;
    lostSinceTaken_ = 0;
    --queued_;
    setReady(queued_ > 0);
  } else {
    sample.timeOfCapture = clock_.now();
  }
  ++takenInAll_;
  ColorNode::NewSampleReceivedData colour{};
  colour.frameFormat = FRAME_FORMAT_VGA;
  colour.colorMap = Pointer<std::uint8_t>(picture_, picture_->data(), picture_->size());
  sample.record = colour;
  return sample;
}

std::shared_ptr<PreparedColourCamera> addPreparedColourCamera(detail::Service& service,
                                                              int perSecond, int buffers) {
  auto camera = std::make_shared<PreparedColourCamera>(service.clock(), perSecond, buffers);
  std::vector<detail::Service::SourcedNode> nodes;
  nodes.push_back({NodeKind::Color, std::make_unique<PreparedColourNode>(camera)});
  service.addDevice("prepared-camera", std::move(nodes));
  service.addLiveSource(camera);
  return camera;
}
