#include "sources/RecordingPlayer.h"

#include <algorithm>

namespace CamSdk {
namespace detail {

namespace {

// How far past now samples are taken from the read-ahead, and how long a sample already due is
// kept for a stream that runs late.
constexpr Nanoseconds kReadAhead = std::chrono::seconds(1);
constexpr Nanoseconds kKeep = std::chrono::seconds(2);
// Samples kept per track at most, whatever the times in the file say.
constexpr std::size_t kMostQueued = 256;
// Streams that start this soon after play began begin with the recording's first samples.
constexpr Nanoseconds kOpening = std::chrono::seconds(1);
// When the reading thread has nothing ready (a disk slower than the recording), how soon the
// loop asks again.
constexpr Nanoseconds kRetry = std::chrono::milliseconds(5);

Nanoseconds fromMicroseconds(std::int64_t microseconds) { return Nanoseconds(microseconds * 1000); }

}  // namespace

RecordingPlayer::RecordingPlayer(std::string path, bool loop, const Clock& clock) : clock_(clock) {
  auto reader = std::make_unique<recording::RecordingReader>(path);
  tracks_ = reader->tracks();
  skipped_ = reader->skippedTracks();
  readAhead_ = std::make_unique<RecordingReadAhead>(std::move(path), loop, std::move(reader));
  queued_.resize(tracks_.size());
  nextIndex_.assign(tracks_.size(), 0);
  handedOut_.assign(tracks_.size(), -1);
}

bool RecordingPlayer::takeOne() {
  // A virtual clock stands still while the loop waits, so there the loop waits for the reader:
  // what a test sees does not depend on how fast the reading thread ran.
  RecordingReadAhead::Sample read;
  if (!readAhead_->take(&read, clock_.isVirtual())) {
    if (readAhead_->ended()) {
      ended_ = true;
      endTime_ = playStart_ + fromMicroseconds(readAhead_->endOffset());
    }
    return false;
  }
  const std::size_t track = read.sample.track;
  Entry entry;
  entry.index = read.index;
  entry.due = playStart_ + fromMicroseconds(read.offset);
  entry.audioPosition = read.audioPosition;
  entry.sample = std::move(read.sample);
  nextIndex_[track] = entry.index + 1;
  head_ = std::max(head_, entry.due);
  std::deque<Entry>& queue = queued_[track];
  queue.push_back(std::move(entry));
  if (queue.size() > kMostQueued) queue.pop_front();
  return true;
}

void RecordingPlayer::takeUntil(Nanoseconds horizon) {
  while (!ended_ && head_ <= horizon && takeOne()) {
  }
}

void RecordingPlayer::trim(Nanoseconds now) {
  for (std::deque<Entry>& queue : queued_) {
    while (!queue.empty() && queue.front().due < now - kKeep) queue.pop_front();
  }
}

void RecordingPlayer::advance() {
  if (!started_) return;
  const Nanoseconds now = clock_.now();
  takeUntil(now + kReadAhead);
  trim(now);
}

std::int64_t RecordingPlayer::firstAtOrAfter(std::size_t track, Nanoseconds time) {
  if (!started_) {
    started_ = true;
    playStart_ = time;
    head_ = time - Nanoseconds(1);
  }
  takeUntil(time + kReadAhead);
  if (time - playStart_ < kOpening) return handedOut_[track] + 1;
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
    // Not taken yet: take on while the file is near now; past that, ask again later.
    const Nanoseconds now = clock_.now();
    if (head_ > now + kReadAhead) return head_;
    if (!takeOne()) return ended_ ? Nanoseconds::max() : now + kRetry;
  }
}

const RecordingPlayer::Entry* RecordingPlayer::find(std::size_t track, std::int64_t index) {
  const std::deque<Entry>& queue = queued_[track];
  if (queue.empty() || index < queue.front().index || index > queue.back().index) return nullptr;
  handedOut_[track] = std::max(handedOut_[track], index);
  return &queue[static_cast<std::size_t>(index - queue.front().index)];
}

}  // namespace detail
}  // namespace CamSdk
