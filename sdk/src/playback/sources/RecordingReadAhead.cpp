#include "sources/RecordingReadAhead.h"

#include <algorithm>
#include <limits>

#include "recording/TrackRecord.h"

namespace CamSdk {
namespace detail {

namespace {

// How much is read ahead of the last sample taken at most: two seconds of the recording, and
// never more than 32 MB (two seconds of 25 fps raw VGA colour with its depth) or 1024 samples;
// at least one sample whatever its size.
constexpr std::int64_t kAheadMicroseconds = 2'000'000;
constexpr std::size_t kQueueBytes = std::size_t{32} << 20;
constexpr std::size_t kQueueSamples = 1024;
// A capture time further than this from the pass's first one is damage: the service clock
// counts nanoseconds in 64 bits.
constexpr std::int64_t kLongestPass = std::int64_t{1} << 40;  // microseconds, about 12 days
// A looping pass lasts at least this long, so a file of one sample does not reopen endlessly.
constexpr std::int64_t kShortestPass = 100'000;  // microseconds

}  // namespace

RecordingReadAhead::RecordingReadAhead(std::string path, bool loop,
                                       std::unique_ptr<recording::RecordingReader> reader)
    : path_(std::move(path)),
      loop_(loop),
      reader_(std::move(reader)),
      tracks_(reader_->tracks()),
      nextIndex_(tracks_.size(), 0),
      audioFrames_(tracks_.size(), 0),
      lastOffset_(tracks_.size(), std::numeric_limits<std::int64_t>::min()),
      thread_([this] { run(); }) {}

RecordingReadAhead::~RecordingReadAhead() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  room_.notify_all();
  thread_.join();
}

void RecordingReadAhead::run() {
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      room_.wait(lock, [this] {
        return stop_ || queue_.empty() ||
               (queuedBytes_ < kQueueBytes && queue_.size() < kQueueSamples &&
                queue_.back().offset - takenOffset_ < kAheadMicroseconds);
      });
      if (stop_) return;
    }
    Sample sample;
    const bool got = readOne(&sample);
    std::lock_guard<std::mutex> lock(mutex_);
    damaged_ = damagedBefore_ + (reader_ ? reader_->damagedSamples() : 0);
    if (firstDamage_.empty() && reader_) firstDamage_ = reader_->firstDamage();
    if (!got) {
      done_ = true;
      endOffset_ = haveOrigin_ ? passStart_ + (passEnd_ - origin_) : passStart_;
      ready_.notify_all();
      return;
    }
    queuedBytes_ += sample.sample.size;
    queue_.push_back(std::move(sample));
    ready_.notify_all();
  }
}

bool RecordingReadAhead::startPassAgain() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (firstDamage_.empty()) firstDamage_ = reader_->firstDamage();
  }
  std::unique_ptr<recording::RecordingReader> again;
  try {
    again = std::make_unique<recording::RecordingReader>(path_);
  } catch (const recording::ReadError&) {
    return false;
  }
  // A file replaced by another while it played is not played on: its nodes were described, and
  // their buffers sized, by the tracks of the first pass.
  if (again->tracks().size() != tracks_.size()) return false;
  for (std::size_t i = 0; i < tracks_.size(); ++i) {
    const recording::RecordedTrack& was = tracks_[i];
    const recording::RecordedTrack& is = again->tracks()[i];
    if (is.kind() != was.kind() || is.width != was.width || is.height != was.height) return false;
  }
  // Counted only now: a pass that could not start leaves the old reader, whose damage run()
  // still adds.
  damagedBefore_ += reader_->damagedSamples();
  reader_ = std::move(again);
  // The next pass starts where this one ended, counted from its earliest sample: a track whose
  // first sample was captured before the pass's first one read still starts after its own end.
  passStart_ += std::max(passEnd_ - earliest_, kShortestPass) + (origin_ - earliest_);
  haveOrigin_ = false;
  passHadSamples_ = false;
  return true;
}

bool RecordingReadAhead::readOne(Sample* out) {
  recording::RecordedSample sample;
  for (;;) {
    if (!reader_->next(&sample)) {
      if (loop_ && passHadSamples_ && startPassAgain()) continue;
      return false;
    }
    if (!haveOrigin_) {
      haveOrigin_ = true;
      origin_ = sample.timeOfCapture;
      passEnd_ = origin_;
      earliest_ = origin_;
    }
    const std::int64_t offset = sample.timeOfCapture - origin_;
    if (offset > kLongestPass || offset < -kLongestPass) {
      ++damagedBefore_;
      std::lock_guard<std::mutex> lock(mutex_);
      if (firstDamage_.empty()) firstDamage_ = "a sample lies over twelve days from the first";
      continue;
    }
    const recording::RecordedTrack& track = tracks_[sample.track];
    const recording::TrackRecord record = recording::TrackRecord::of(track.configuration);
    passEnd_ = std::max(passEnd_, sample.timeOfCapture + record.sampleLength(sample.size));
    earliest_ = std::min(earliest_, sample.timeOfCapture);
    passHadSamples_ = true;

    out->index = nextIndex_[sample.track]++;
    // Never before the track's previous sample, whatever a file replaced mid-play says.
    out->offset = std::max(passStart_ + offset, lastOffset_[sample.track]);
    lastOffset_[sample.track] = out->offset;
    out->audioPosition = audioFrames_[sample.track];
    if (track.kind() == NodeKind::Audio) {
      audioFrames_[sample.track] +=
          static_cast<std::int64_t>(sample.size / record.audioFrameBytes());
    }
    out->sample = std::move(sample);
    return true;
  }
}

bool RecordingReadAhead::take(Sample* sample, bool wait) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (wait) ready_.wait(lock, [this] { return done_ || !queue_.empty(); });
  if (queue_.empty()) return false;
  *sample = std::move(queue_.front());
  queue_.pop_front();
  takenOffset_ = std::max(takenOffset_, sample->offset);
  queuedBytes_ -= sample->sample.size;
  room_.notify_one();
  return true;
}

bool RecordingReadAhead::ended() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return done_ && queue_.empty();
}

std::int64_t RecordingReadAhead::endOffset() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return endOffset_;
}

std::string RecordingReadAhead::firstDamage() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return firstDamage_;
}

}  // namespace detail
}  // namespace CamSdk
