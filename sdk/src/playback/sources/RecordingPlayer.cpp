#include "sources/RecordingPlayer.h"

#include <algorithm>
#include <limits>

namespace CamSdk {
namespace detail {

namespace {

// How far past now the file is read, and how long a sample already due is kept for a stream
// that runs late.
constexpr Nanoseconds kReadAhead = std::chrono::seconds(1);
constexpr Nanoseconds kKeep = std::chrono::seconds(2);
// Samples kept per track at most, whatever the times in the file say.
constexpr std::size_t kMostQueued = 256;
// A capture time further than this from the pass's first one is damage: the service clock
// counts nanoseconds in 64 bits.
constexpr std::int64_t kLongestPass = std::int64_t{1} << 40;  // microseconds, about 12 days
// A looping pass lasts at least this long, so a file of one sample does not reopen endlessly.
constexpr std::int64_t kShortestPass = 100'000;  // microseconds

Nanoseconds fromMicroseconds(std::int64_t microseconds) { return Nanoseconds(microseconds * 1000); }

// How long one sample lasts: a frame at the track's rate, or the audio block's frames.
std::int64_t sampleLength(const recording::RecordedTrack& track, std::size_t bytes) {
  switch (track.kind) {
    case NodeKind::Depth:
      return 1'000'000 / std::max(track.depth.framerate, 1);
    case NodeKind::Color:
      return 1'000'000 / std::max(track.color.framerate, 1);
    case NodeKind::Audio: {
      const auto frames =
          static_cast<std::int64_t>(bytes / (2 * static_cast<std::size_t>(track.audio.channels)));
      return frames * 1'000'000 / std::max(track.audio.sampleRate, 1);
    }
    case NodeKind::Other:
      break;
  }
  return 0;
}

}  // namespace

RecordingPlayer::RecordingPlayer(std::string path, bool loop, const Clock& clock)
    : path_(std::move(path)),
      loop_(loop),
      clock_(clock),
      reader_(std::make_unique<recording::RecordingReader>(path_)),
      tracks_(reader_->tracks()),
      skipped_(reader_->skippedTracks()),
      queued_(tracks_.size()),
      nextIndex_(tracks_.size(), 0),
      audioFrames_(tracks_.size(), 0) {}

std::string RecordingPlayer::firstDamage() const {
  if (!firstDamage_.empty() || !reader_) return firstDamage_;
  return reader_->firstDamage();
}

bool RecordingPlayer::startPassAgain() {
  damaged_ += reader_->damagedSamples();
  if (firstDamage_.empty()) firstDamage_ = reader_->firstDamage();
  std::unique_ptr<recording::RecordingReader> again;
  try {
    again = std::make_unique<recording::RecordingReader>(path_);
  } catch (const recording::ReadError&) {
    return false;
  }
  // A file replaced by another while it played is not played on.
  if (again->tracks().size() != tracks_.size()) return false;
  for (std::size_t i = 0; i < tracks_.size(); ++i) {
    if (again->tracks()[i].kind != tracks_[i].kind) return false;
  }
  reader_ = std::move(again);
  passStart_ += fromMicroseconds(std::max(passEnd_ - origin_, kShortestPass));
  haveOrigin_ = false;
  passHadSamples_ = false;
  return true;
}

bool RecordingPlayer::readOne() {
  recording::RecordedSample sample;
  while (!ended_) {
    if (!reader_->next(&sample)) {
      if (loop_ && passHadSamples_ && startPassAgain()) continue;
      ended_ = true;
      endTime_ = haveOrigin_ ? passStart_ + fromMicroseconds(passEnd_ - origin_) : passStart_;
      return false;
    }
    if (!haveOrigin_) {
      haveOrigin_ = true;
      origin_ = sample.timeOfCapture;
      passEnd_ = origin_;
    }
    const std::int64_t offset = sample.timeOfCapture - origin_;
    if (offset > kLongestPass || offset < -kLongestPass) {
      ++damaged_;
      if (firstDamage_.empty()) firstDamage_ = "a sample lies over twelve days from the first";
      continue;
    }
    const recording::RecordedTrack& track = tracks_[sample.track];
    passEnd_ = std::max(passEnd_, sample.timeOfCapture + sampleLength(track, sample.size));
    passHadSamples_ = true;

    std::deque<Entry>& queue = queued_[sample.track];
    Entry entry;
    entry.index = nextIndex_[sample.track]++;
    entry.due = passStart_ + fromMicroseconds(offset);
    entry.audioPosition = audioFrames_[sample.track];
    if (track.kind == NodeKind::Audio) {
      audioFrames_[sample.track] += static_cast<std::int64_t>(
          sample.size / (2 * static_cast<std::size_t>(track.audio.channels)));
    }
    entry.sample = std::move(sample);
    head_ = std::max(head_, entry.due);
    queue.push_back(std::move(entry));
    if (queue.size() > kMostQueued) queue.pop_front();
    return true;
  }
  return false;
}

void RecordingPlayer::readUntil(Nanoseconds horizon) {
  while (!ended_ && head_ <= horizon) readOne();
}

void RecordingPlayer::trim(Nanoseconds now) {
  for (std::deque<Entry>& queue : queued_) {
    while (!queue.empty() && queue.front().due < now - kKeep) queue.pop_front();
  }
}

void RecordingPlayer::advance() {
  if (!started_) return;
  const Nanoseconds now = clock_.now();
  readUntil(now + kReadAhead);
  trim(now);
}

std::int64_t RecordingPlayer::firstAtOrAfter(std::size_t track, Nanoseconds time) {
  if (!started_) {
    started_ = true;
    passStart_ = time;
    head_ = time - Nanoseconds(1);
  }
  readUntil(time + kReadAhead);
  for (const Entry& entry : queued_[track]) {
    if (entry.due >= time) return entry.index;
  }
  return nextIndex_[track];
}

Nanoseconds RecordingPlayer::due(std::size_t track, std::int64_t index) {
  if (!started_) return Nanoseconds::max();
  for (;;) {
    const std::deque<Entry>& queue = queued_[track];
    if (index < nextIndex_[track]) {
      if (queue.empty() || index < queue.front().index) return Nanoseconds::min();  // long gone
      return queue[static_cast<std::size_t>(index - queue.front().index)].due;
    }
    if (ended_) return Nanoseconds::max();
    // Not read yet: read on while the file is near now; past that, ask again later.
    if (head_ > clock_.now() + kReadAhead) return head_;
    readOne();
  }
}

const RecordingPlayer::Entry* RecordingPlayer::find(std::size_t track, std::int64_t index) const {
  const std::deque<Entry>& queue = queued_[track];
  if (queue.empty() || index < queue.front().index || index > queue.back().index) return nullptr;
  return &queue[static_cast<std::size_t>(index - queue.front().index)];
}

}  // namespace detail
}  // namespace CamSdk
