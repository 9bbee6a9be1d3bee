// Arbitrary bytes as a recording: first through the reader alone, then through playback's own
// timeline (the reading thread and the player) on a virtual clock for at most 1 simulated
// second, without a service, so that hundreds of inputs a second reach the reader. Playback
// does not loop here: each pass opens the file again, and a short file would be opened dozens
// of times an input (looping is tested in tests/recording). The reader
// may refuse the file, but only with one line naming it; whatever it yields fits its track; the
// player gives every track's samples in turn and in time order.
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "recording/RecordingReader.h"
#include "service/Clock.h"
#include "sources/RecordingPlayer.h"

namespace {

// The bytes as a file with a path, without touching the disk.
class MemoryFile {
 public:
  MemoryFile(const std::uint8_t* bytes, std::size_t length) : fd_(memfd_create("recording", 0)) {
    FUZZ_CHECK(fd_ >= 0);
    std::size_t written = 0;
    while (written < length) {
      const ssize_t step = write(fd_, bytes + written, length - written);
      FUZZ_CHECK(step > 0);
      written += static_cast<std::size_t>(step);
    }
  }
  ~MemoryFile() { close(fd_); }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;
  std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }

 private:
  int fd_;
};

// Whether a sample of `size` bytes fits its track, as the reader promises.
bool fits(const CamSdk::recording::RecordedTrack& track, std::size_t size) {
  if (track.kind() == CamSdk::NodeKind::Audio) {
    return size % (2 * static_cast<std::size_t>(
                           track.configuration.as<CamSdk::AudioNode>().channels)) ==
           0;
  }
  return size == static_cast<std::size_t>(track.width) * track.height * 2;
}

bool readAll(const std::string& path) {
  try {
    CamSdk::recording::RecordingReader reader(path);
    CamSdk::recording::RecordedSample sample;
    while (reader.next(&sample)) FUZZ_CHECK(fits(reader.tracks().at(sample.track), sample.size));
    return true;
  } catch (const CamSdk::recording::ReadError& refused) {
    const std::string message = refused.what();
    FUZZ_CHECK(message.rfind(path + ": ", 0) == 0 && message.find('\n') == std::string::npos);
    return false;
  }
}

// Plays the file once as the service's streams would, every track from play's start, on a
// virtual clock that jumps from one due sample to the next, for at most kPlaySeconds or
// kPlaySamples: each sample still held comes in its turn, fits its track, and no track goes
// back in time.
void play(const std::string& path) {
  constexpr auto kPlaySeconds = std::chrono::seconds(1);
  constexpr int kPlaySamples = 200;
  const std::unique_ptr<CamSdk::detail::Clock> clock = CamSdk::detail::makeVirtualClock();
  CamSdk::detail::RecordingPlayer player(path, false, *clock);
  const std::size_t tracks = player.tracks().size();
  std::vector<std::int64_t> next(tracks);
  std::vector<CamSdk::detail::Nanoseconds> last(tracks, CamSdk::detail::Nanoseconds::min());
  for (std::size_t t = 0; t < tracks; ++t) next[t] = player.firstAtOrAfter(t, clock->now());
  for (int played = 0; played < kPlaySamples; ++played) {
    std::size_t track = tracks;
    CamSdk::detail::Nanoseconds due = CamSdk::detail::Nanoseconds::max();
    for (std::size_t t = 0; t < tracks; ++t) {
      const CamSdk::detail::Nanoseconds when = player.due(t, next[t]);
      if (when < due) {
        due = when;
        track = t;
      }
    }
    if (track == tracks || due > kPlaySeconds) break;
    if (due == CamSdk::detail::Nanoseconds::min()) {
      ++next[track];  // long past (a track far ahead of the others): passed over, as a stream does
      continue;
    }
    FUZZ_CHECK(due >= last[track]);
    last[track] = due;
    clock->waitUntil(due);
    const CamSdk::detail::RecordingPlayer::Entry* entry = player.find(track, next[track]);
    FUZZ_CHECK(entry != nullptr && entry->index == next[track]);
    FUZZ_CHECK(fits(player.tracks()[track], entry->sample.size));
    ++next[track];
    player.advance();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t length) {
  MemoryFile file(bytes, length);
  if (readAll(file.path())) play(file.path());
  return 0;
}
