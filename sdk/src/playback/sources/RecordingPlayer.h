// One recording played on the service clock. Play starts when a stream first asks for its
// samples, so that a client connecting later still sees the recording from its beginning; the
// first sample is due then, and every later one at start + (its capture time - the first one's),
// for every track alike. With `loop`, the file starts again where it ended, indices and audio
// positions still rising.
//
// The file is read ahead only a little past now, so a long recording costs neither time to open
// nor memory; samples long past are let go. Each track's samples are numbered from 0 in the
// order they are read.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "recording/RecordingReader.h"
#include "service/Clock.h"

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

  // Opens the file; raises recording::ReadError.
  RecordingPlayer(std::string path, bool loop, const Clock& clock);

  const std::vector<recording::RecordedTrack>& tracks() const { return tracks_; }
  const std::vector<std::string>& skippedTracks() const { return skipped_; }

  // Starts play at `time` if it has not started yet.
  std::int64_t firstAtOrAfter(std::size_t track, Nanoseconds time);
  bool started() const { return started_; }
  // See SampleTimeline::due.
  Nanoseconds due(std::size_t track, std::int64_t index);
  // The sample, or null when it is long gone or never was.
  const Entry* find(std::size_t track, std::int64_t index) const;

  // Reads up to a little past now and lets go of what is long past.
  void advance();
  // The file has no more samples (never with a loop, unless the file went away).
  bool ended() const { return ended_; }
  // When the last sample's time is over; valid once ended().
  Nanoseconds endTime() const { return endTime_; }
  // Samples skipped as damaged (over all passes), and the first reason.
  long damagedSamples() const { return damaged_ + (reader_ ? reader_->damagedSamples() : 0); }
  std::string firstDamage() const;

 private:
  void readUntil(Nanoseconds horizon);
  bool readOne();
  bool startPassAgain();
  void trim(Nanoseconds now);

  std::string path_;
  bool loop_;
  const Clock& clock_;
  bool started_ = false;
  std::unique_ptr<recording::RecordingReader> reader_;
  std::vector<recording::RecordedTrack> tracks_;
  std::vector<std::string> skipped_;
  std::vector<std::deque<Entry>> queued_;  // per track, by index
  std::vector<std::int64_t> nextIndex_;    // per track: the index the next sample read gets
  std::vector<std::int64_t> audioFrames_;  // per track: audio frames read so far
  bool haveOrigin_ = false;
  std::int64_t origin_ = 0;   // capture time of the first sample of a pass, microseconds
  Nanoseconds passStart_{0};  // when the current pass started on the service clock
  std::int64_t passEnd_ = 0;  // latest capture time plus one sample's length, this pass
  bool passHadSamples_ = false;
  Nanoseconds head_{0};  // due time of the last sample read
  bool ended_ = false;
  Nanoseconds endTime_{0};
  long damaged_ = 0;  // from passes already closed
  std::string firstDamage_;
};

}  // namespace detail
}  // namespace CamSdk
