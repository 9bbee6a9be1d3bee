// Reads a recording on a thread of its own, ahead of play, into a bounded queue. Reading a
// block from the disk and decoding it take time the service's loop cannot spare: done there,
// every sample due meanwhile would leave late. Here the loop only takes samples already read.
//
// Each sample comes numbered (per track, from 0, rising through every pass of a loop) and placed
// on the play's own time line: microseconds after the moment play starts, the first sample of
// the file at 0. With `loop`, a pass starts again where the one before ended.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "recording/RecordingReader.h"

namespace CamSdk {
namespace detail {

class RecordingReadAhead {
 public:
  struct Sample {
    std::int64_t index = 0;          // within its track
    std::int64_t offset = 0;         // microseconds after play starts
    std::int64_t audioPosition = 0;  // first audio frame of the block, since play started
    recording::RecordedSample sample;
  };

  // Starts reading `reader`'s file at once, so that the opening samples are ready before play.
  RecordingReadAhead(std::string path, bool loop,
                     std::unique_ptr<recording::RecordingReader> reader);
  ~RecordingReadAhead();
  RecordingReadAhead(const RecordingReadAhead&) = delete;
  RecordingReadAhead& operator=(const RecordingReadAhead&) = delete;

  // The next sample read. Without `wait`, false when none is ready yet; with it, false only at
  // the end of the recording.
  bool take(Sample* sample, bool wait);
  // Every sample has been taken and there will be no more.
  bool ended() const;
  // Where the last pass's last sample ends, microseconds after play starts; valid once ended().
  std::int64_t endOffset() const;
  // Samples skipped as damaged (over all passes) so far, and the first reason.
  long damagedSamples() const { return damaged_.load(); }
  std::string firstDamage() const;

 private:
  void run();
  bool readOne(Sample* out);
  bool startPassAgain();

  const std::string path_;
  const bool loop_;

  // The reading thread's own state.
  std::unique_ptr<recording::RecordingReader> reader_;
  std::vector<recording::RecordedTrack> tracks_;
  std::vector<std::int64_t> nextIndex_;    // per track
  std::vector<std::int64_t> audioFrames_;  // per track
  bool haveOrigin_ = false;
  std::int64_t origin_ = 0;     // capture time of the pass's first sample
  std::int64_t passStart_ = 0;  // the pass's start, after play starts
  std::int64_t passEnd_ = 0;    // latest capture time plus one sample's length, this pass
  std::int64_t earliest_ = 0;   // earliest capture time this pass (a track may start earlier)
  std::vector<std::int64_t> lastOffset_;  // per track
  bool passHadSamples_ = false;
  long damagedBefore_ = 0;  // in passes already closed

  // Shared with the service's thread.
  mutable std::mutex mutex_;
  std::condition_variable room_;   // the reader waits for the queue to have room
  std::condition_variable ready_;  // a waiting taker waits for a sample or the end
  std::deque<Sample> queue_;
  std::size_t queuedBytes_ = 0;
  std::int64_t takenOffset_ = 0;  // the latest sample taken so far
  bool done_ = false;             // nothing more will be queued
  bool stop_ = false;
  std::int64_t endOffset_ = 0;
  std::string firstDamage_;
  std::atomic<long> damaged_{0};

  std::thread thread_;
};

}  // namespace detail
}  // namespace CamSdk
