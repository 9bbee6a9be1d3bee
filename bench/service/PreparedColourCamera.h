// A colour camera for benchmarks that costs the service nothing to produce: a live node that
// hands out one prepared 640 x 480 packed 4:2:2 picture.
//
// At a set rate a timer "captures" a picture every period into a queue of `buffers`, as a
// capture driver fills its buffers; the node hands out the oldest one on each turn of the
// service loop and keeps its descriptor readable while more wait. A picture that finds the
// queue full is lost, and counted in the next sample's droppedSampleCount. With one buffer the
// loop must take every picture within its period; with a few, it may fall that many periods
// behind and catch up. At rate 0 the node has a picture on every turn of the loop, so the
// service sends as fast as it can.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "service/CameraSource.h"
#include "service/Service.h"

class PreparedColourCamera final : public CamSdk::detail::LiveSource {
 public:
  static constexpr std::size_t kPictureBytes = 640 * 480 * 2;

  PreparedColourCamera(CamSdk::detail::Clock& clock, int perSecond, int buffers);
  ~PreparedColourCamera() override;
  PreparedColourCamera(const PreparedColourCamera&) = delete;
  PreparedColourCamera& operator=(const PreparedColourCamera&) = delete;

  std::vector<int> descriptors() const override;
  void pump() override;

  void start();
  void stop();
  std::optional<CamSdk::detail::CapturedSample> take();
  // Pictures lost to a full queue since the stream started.
  long lost() const { return lostInAll_.load(); }
  // Pictures handed to the service since the stream started.
  long taken() const { return takenInAll_.load(); }

 private:
  void setReady(bool ready);

  CamSdk::detail::Clock& clock_;
  const int perSecond_;
  const std::uint64_t buffers_;
  int timer_ = -1;  // at a set rate only
  int ready_ = -1;  // readable while a picture waits
  bool readySet_ = false;
  bool running_ = false;
  CamSdk::detail::Nanoseconds started_{0};
  std::uint64_t captured_ = 0;  // periods passed since the stream started
  std::uint64_t queued_ = 0;
  std::int32_t lostSinceTaken_ = 0;
  std::atomic<long> lostInAll_{0};
  std::atomic<long> takenInAll_{0};
  std::shared_ptr<std::vector<std::uint8_t>> picture_;
};

// Plugs a device "prepared-camera" with one such colour node into `service`; returns the
// camera, which the service also keeps.
std::shared_ptr<PreparedColourCamera> addPreparedColourCamera(CamSdk::detail::Service& service,
                                                              int perSecond, int buffers);
