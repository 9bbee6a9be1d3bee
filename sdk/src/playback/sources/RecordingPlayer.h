// One recording played on the service clock. Play starts when a stream first asks for its
// samples, so that a client connecting later still sees the recording from its beginning; the
// first sample is due then, and every later one at start + (its capture time - the first one's),
// for every track alike. With `loop`, the file starts again where it ended, indices and audio
// positions still rising.
//
// The file is read on a thread of its own (RecordingReadAhead), so the service's loop never waits
// for the disk or a decoder; this side keeps the samples from a little before now to a little
// past it, numbered per track from 0 in the order they were read.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "recording/RecordingReader.h"
#include "service/Clock.h"
#include "sources/RecordingReadAhead.h"

namespace CamSdk {
namespace detail {

class RecordingPlayer {
 public:
  struct Entry {
    std::int64_t index = 0;
    Nanoseconds due{0};
    std::int64_t audioPosition = 0;  // first audio frame of the block, since play started
    recording::RecordedSample sample;
  };

  // Opens the file and starts reading it; raises recording::ReadError.
  RecordingPlayer(std::string path, bool loop, const Clock& clock);

  const std::vector<recording::RecordedTrack>& tracks() const { return tracks_; }
  const std::vector<std::string>& skippedTracks() const { return skipped_; }

  // Starts play at `time` if it has not started yet. A stream that starts within play's first
  // second begins with its track's first sample no stream has had yet: a client starts its
  // streams one request after another, and each of them still gets the recording whole.
  std::int64_t firstAtOrAfter(std::size_t track, Nanoseconds time);
  bool started() const { return started_; }
  // See SampleTimeline::due.
  Nanoseconds due(std::size_t track, std::int64_t index);
  // The sample, or null when it is long gone or never was.
  const Entry* find(std::size_t track, std::int64_t index);

  // Takes what was read up to a little past now and lets go of what is long past.
  void advance();
  // The file has no more samples (never with a loop, unless the file went away).
  bool ended() const { return ended_; }
  // When the last sample's time is over; valid once ended().
  Nanoseconds endTime() const { return endTime_; }
  // Samples skipped as damaged (over all passes), and the first reason.
  long damagedSamples() const { return readAhead_->damagedSamples(); }
  std::string firstDamage() const { return readAhead_->firstDamage(); }

 private:
  void takeUntil(Nanoseconds horizon);
  bool takeOne();
  void trim(Nanoseconds now);

  const Clock& clock_;
  std::vector<recording::RecordedTrack> tracks_;
  std::vector<std::string> skipped_;
  std::unique_ptr<RecordingReadAhead> readAhead_;
  bool started_ = false;
  Nanoseconds playStart_{0};
  std::vector<std::deque<Entry>> queued_;  // per track, by index
  std::vector<std::int64_t> nextIndex_;    // per track: the index the next sample taken has
  std::vector<std::int64_t> handedOut_;    // per track: the highest index a stream has had
  Nanoseconds head_{0};                    // due time of the last sample taken
  bool ended_ = false;
  Nanoseconds endTime_{0};
};

}  // namespace detail
}  // namespace CamSdk
