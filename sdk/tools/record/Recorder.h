// The recording itself: samples handed over by the SDK's event loop go through a bounded queue
// to a writer thread that muxes them and pushes them to disk a few times a second.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "SampleQueue.h"
#include "recording/MatroskaWriter.h"

namespace CamSdk {
namespace record_program {

class Recorder {
 public:
  // Opens the file (raises recording::WriteError) and starts the writer thread.
  Recorder(const std::string& path, std::vector<recording::TrackDescription> tracks,
           recording::ColourCodec colour = recording::kDefaultColourCodec);
  ~Recorder();
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // From the event loop: one sample of `track`; `missed` is what the service could not send.
  void take(std::size_t track, std::int64_t timeOfCapture, std::shared_ptr<const void> owner,
            const std::uint8_t* data, std::size_t bytes, std::int32_t missed);
  // Ends the writer thread once it wrote what is queued and closes the file. The error that
  // stopped the writing, or "" when none did.
  std::string finish();
  // The writing failed; recording should stop.
  bool failed() const { return failed_.load(); }

  // One line: elapsed time, samples per track, dropped and missed samples, megabytes written.
  std::string progressLine() const;

 private:
  void writeLoop();

  std::vector<recording::TrackDescription> tracks_;
  std::vector<std::size_t> expectedBytes_;  // 0: audio, any whole number of frames
  recording::MatroskaWriter writer_;
  SampleQueue queue_;
  std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
  std::vector<std::atomic<long>> written_;
  std::vector<std::atomic<long>> dropped_;  // the disk could not keep up
  std::vector<std::atomic<long>> missed_;   // the service dropped them before they came
  std::vector<std::atomic<long>> misfit_;   // a size other than the track's (changed format)
  std::atomic<std::int64_t> bytes_{0};
  std::atomic<bool> failed_{false};
  std::string error_;  // written by the writer thread, read after it ended
  std::thread thread_;
};

}  // namespace record_program
}  // namespace CamSdk
