#include "Recorder.h"

#include <cstdio>

#include "recording/TrackRecord.h"

namespace CamSdk {
namespace record_program {

namespace {

// About two seconds of 25 + 25 fps VGA colour and QVGA depth with audio.
constexpr std::size_t kQueueBytes = std::size_t{48} << 20;
// How often what was muxed goes to disk: the most a kill can lose.
constexpr auto kFlushEvery = std::chrono::milliseconds(250);

}  // namespace

Recorder::Recorder(const std::string& path, std::vector<recording::TrackDescription> tracks,
                   recording::ColourCodec colour)
    : tracks_(std::move(tracks)),
      writer_(path, tracks_, colour),
      queue_(kQueueBytes),
      written_(tracks_.size()),
      dropped_(tracks_.size()),
      missed_(tracks_.size()),
      misfit_(tracks_.size()) {
  for (const recording::TrackDescription& track : tracks_) {
    const recording::TrackRecord record = recording::TrackRecord::of(track.configuration);
    expectedBytes_.push_back(track.kind() == NodeKind::Audio
                                 ? 0
                                 : static_cast<std::size_t>(record.width) * record.height * 2);
  }
  thread_ = std::thread([this] { writeLoop(); });
}

Recorder::~Recorder() { finish(); }

void Recorder::take(std::size_t track, std::int64_t timeOfCapture,
                    std::shared_ptr<const void> owner, const std::uint8_t* data, std::size_t bytes,
                    std::int32_t missed) {
  if (track >= tracks_.size()) return;
  if (missed > 0) missed_[track] += missed;
  const std::size_t expected = expectedBytes_[track];
  const std::size_t frameBytes =
      recording::TrackRecord::of(tracks_[track].configuration).audioFrameBytes();
  if (data == nullptr || (expected != 0 && bytes != expected) ||
      (expected == 0 && (bytes == 0 || frameBytes == 0 || bytes % frameBytes != 0))) {
    ++misfit_[track];
    return;
  }
  if (!queue_.push(QueuedSample{track, timeOfCapture, std::move(owner), data, bytes})) {
    ++dropped_[track];
  }
}

void Recorder::writeLoop() {
  auto lastFlush = std::chrono::steady_clock::now();
  for (;;) {
    QueuedSample sample;
    bool timedOut = false;
    const bool got = queue_.pop(&sample, kFlushEvery, &timedOut);
    if (!got && !timedOut) break;
    if (failed_) continue;  // drain what is queued; nothing more can be written
    try {
      if (got) {
        writer_.write(sample.track, sample.timeOfCapture, sample.data, sample.size);
        ++written_[sample.track];
      }
      const auto now = std::chrono::steady_clock::now();
      if (now - lastFlush >= kFlushEvery) {
        writer_.flush();
        lastFlush = now;
      }
      bytes_ = writer_.bytesWritten();
    } catch (const recording::WriteError& error) {
      error_ = error.what();
      failed_ = true;
    }
  }
  if (failed_) return;
  try {
    writer_.close();
    bytes_ = writer_.bytesWritten();
  } catch (const recording::WriteError& error) {
    error_ = error.what();
    failed_ = true;
  }
}

std::string Recorder::finish() {
  queue_.close();
  if (thread_.joinable()) thread_.join();
  return error_;
}

std::string Recorder::progressLine() const {
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
  char head[64];
  std::snprintf(head, sizeof head, "%7.1f s ", elapsed);
  std::string line = head;
  long dropped = 0;
  long missed = 0;
  long misfit = 0;
  for (std::size_t i = 0; i < tracks_.size(); ++i) {
    line += " " + tracks_[i].nodeName + " " + std::to_string(written_[i].load());
    dropped += dropped_[i];
    missed += missed_[i];
    misfit += misfit_[i];
  }
  char tail[128];
  std::snprintf(tail, sizeof tail, "  dropped %ld (disk) %ld (service)  %.1f MB", dropped, missed,
                static_cast<double>(bytes_.load()) / 1e6);
  line += tail;
  if (misfit > 0) line += "  " + std::to_string(misfit) + " of another format skipped";
  return line;
}

}  // namespace record_program
}  // namespace CamSdk
