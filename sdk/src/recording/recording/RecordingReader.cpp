#include "recording/RecordingReader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <optional>

#include "common/ConfigurationRules.h"
#include "recording/FfmpegSupport.h"
#include "recording/PictureCoding.h"
#include "recording/TrackLayout.h"
#include "recording/TrackRecord.h"

namespace CamSdk {
namespace recording {

namespace {

// Capture times beyond this many microseconds (about 285 years) are damage, and keeping them
// this small lets the service turn them into nanoseconds without overflow.
constexpr std::int64_t kLargestTime = std::int64_t{1} << 53;
// No sample the service makes is larger than a full-HD colour picture; FFmpeg may allocate at
// most this much at once for a recording, so an absurd size in a header fails cleanly.
constexpr std::size_t kLargestAllocation = std::size_t{64} << 20;

std::string tag(const AVStream* stream, const char* key) {
  const AVDictionaryEntry* entry = av_dict_get(stream->metadata, key, nullptr, 0);
  return entry != nullptr ? entry->value : "";
}

// The kind a track's tag names, by the word that node names start with.
NodeKind kindNamed(const std::string& word) {
  NodeKind named = NodeKind::Other;
  for (NodeKind kind : detail::kStreamedKinds) {
    if (word == nodeKindName(kind)) named = kind;
  }
  return named;
}

// The configuration record in a track's tag, checked as the service checks a client's; the
// reason when there is none or it is not one a node can have.
std::string configurationFromTag(const std::string& hex, NodeKind kind,
                                 detail::NodeConfiguration* out) {
  std::vector<std::uint8_t> record;
  std::optional<detail::NodeConfiguration> read;
  detail::withKind(kind, [&](auto tag) {
    if (bytesFromHex(hex, sizeof(typename decltype(tag)::Node::Configuration), &record)) {
      read = detail::NodeConfiguration::fromBytes(kind, record);
    }
  });
  if (!read) return std::string("no ") + nodeKindName(kind) + " configuration in its tags";
  *out = *read;
  const std::string reason = detail::checkConfiguration(*out);
  return reason.empty() ? "" : "its configuration is not one a node can have: " + reason;
}

// Only a regular file: a device or a pipe could block the service on its first read.
bool startsLikeMatroska(const std::string& path, std::string* why) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) {
    *why = std::strerror(errno);
    return false;
  }
  if (!S_ISREG(status.st_mode)) {
    *why = "not a regular file";
    return false;
  }
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    *why = std::strerror(errno);
    return false;
  }
  unsigned char magic[4] = {};
  const std::size_t got = std::fread(magic, 1, sizeof magic, file);
  std::fclose(file);
  static const unsigned char ebml[4] = {0x1a, 0x45, 0xdf, 0xa3};
  if (got != sizeof magic || std::memcmp(magic, ebml, sizeof magic) != 0) {
    *why = "not a Matroska file";
    return false;
  }
  return true;
}

}  // namespace

struct RecordingReader::State {
  std::string path;
  AVFormatContext* format = nullptr;
  std::vector<RecordedTrack> tracks;
  std::vector<std::string> skipped;
  std::vector<int> trackOfStream;  // -1: not played
  std::vector<std::int64_t> lastTime;
  std::vector<std::unique_ptr<PictureDecoder>> decoders;  // per track; none: stored as it comes
  PacketPointer packet{av_packet_alloc()};
  long damaged = 0;
  std::string firstDamage;
  bool ended = false;

  ~State() {
    if (format != nullptr) avformat_close_input(&format);
  }

  void damage(const std::string& why) {
    if (damaged++ == 0) firstDamage = why;
  }

  // A track this service can play, or the reason it cannot.
  std::string accept(const AVStream* stream, RecordedTrack* track);
  std::string acceptPictures(const AVCodecParameters* parameters, const RecordedTrack& track);
  bool decode(std::size_t index, const AVPacket& packet, RecordedSample* sample);
};

std::string RecordingReader::State::accept(const AVStream* stream, RecordedTrack* track) {
  const AVCodecParameters* parameters = stream->codecpar;
  const std::string kind = tag(stream, kKindKey);
  track->nodeName = tag(stream, kNodeNameKey);
  const std::string hex = tag(stream, kConfigurationKey);
  const NodeKind named = kindNamed(kind);
  if (named == NodeKind::Other) return "not a depth, colour or audio track of a camera";
  const std::string reason = configurationFromTag(hex, named, &track->configuration);
  if (!reason.empty()) return reason;

  const TrackRecord record = TrackRecord::of(track->configuration);
  if (track->kind() == NodeKind::Audio) {
    if (parameters->codec_id != AV_CODEC_ID_PCM_S16LE ||
        parameters->sample_rate != record.sampleRate ||
        parameters->ch_layout.nb_channels != record.channels) {
      return "not 16-bit PCM at " + std::to_string(record.sampleRate) + " Hz with " +
             std::to_string(record.channels) + " channels";
    }
    return {};
  }
  track->width = record.width;
  track->height = record.height;
  const std::string size = std::to_string(track->width) + " x " + std::to_string(track->height);
  if (parameters->width != track->width || parameters->height != track->height) {
    return "its pictures are not " + size;
  }
  return acceptPictures(parameters, *track);
}

// Depth is FFV1; colour is raw packed 4:2:2 or one of the lossless codecs the recorder writes.
// Other codecs are refused: lossy ones would not give back the camera's bytes, and each decoder
// accepted is one more that a damaged file reaches.
std::string RecordingReader::State::acceptPictures(const AVCodecParameters* parameters,
                                                   const RecordedTrack& track) {
  AVPixelFormat sample = AV_PIX_FMT_GRAY16LE;
  if (track.kind() == NodeKind::Color) {
    sample = AV_PIX_FMT_YUYV422;
    if (parameters->codec_id == AV_CODEC_ID_RAWVIDEO) {
      if (parameters->codec_tag != avcodec_pix_fmt_to_codec_tag(AV_PIX_FMT_YUYV422)) {
        return "not raw packed 4:2:2 colour";
      }
      return {};
    }
    if (parameters->codec_id != AV_CODEC_ID_UTVIDEO && parameters->codec_id != AV_CODEC_ID_FFV1) {
      return "colour neither raw nor Ut Video nor FFV1";
    }
  } else if (parameters->codec_id != AV_CODEC_ID_FFV1) {
    return "not FFV1 depth";
  }
  auto decoder = std::make_unique<PictureDecoder>();
  const std::string reason = decoder->open(parameters, sample, track.width, track.height);
  if (!reason.empty()) return reason;
  decoders.resize(tracks.size() + 1);
  decoders[tracks.size()] = std::move(decoder);
  return {};
}

RecordingReader::RecordingReader(const std::string& path) : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.path = path;
  av_log_set_level(AV_LOG_QUIET);
  av_max_alloc(kLargestAllocation);
  std::string why;
  if (!startsLikeMatroska(path, &why)) throw ReadError(path + ": " + why);
  const AVInputFormat* matroska = av_find_input_format("matroska");
  int code = avformat_open_input(&s.format, path.c_str(), matroska, nullptr);
  if (code < 0) {
    s.format = nullptr;
    throw ReadError(path + ": not a readable Matroska file (" + errorText(code) + ")");
  }
  s.trackOfStream.assign(s.format->nb_streams, -1);
  for (unsigned i = 0; i < s.format->nb_streams; ++i) {
    RecordedTrack track;
    const std::string reason = s.accept(s.format->streams[i], &track);
    if (!reason.empty()) {
      s.skipped.push_back(path + ": track " + std::to_string(i) +
                          (track.nodeName.empty() ? "" : " (" + track.nodeName + ")") +
                          " is skipped: " + reason);
      continue;
    }
    s.trackOfStream[i] = static_cast<int>(s.tracks.size());
    s.tracks.push_back(track);
  }
  s.decoders.resize(s.tracks.size());
  s.lastTime.assign(s.tracks.size(), -kLargestTime);
  if (s.tracks.empty()) {
    std::string line = path + ": no track this service can play";
    if (!s.skipped.empty()) line += " (" + s.skipped.front().substr(path.size() + 2) + ")";
    throw ReadError(line);
  }
}

RecordingReader::~RecordingReader() = default;

const std::vector<RecordedTrack>& RecordingReader::tracks() const { return state_->tracks; }
const std::vector<std::string>& RecordingReader::skippedTracks() const { return state_->skipped; }
long RecordingReader::damagedSamples() const { return state_->damaged; }
const std::string& RecordingReader::firstDamage() const { return state_->firstDamage; }

bool RecordingReader::State::decode(std::size_t index, const AVPacket& input,
                                    RecordedSample* sample) {
  auto values = std::make_shared<std::vector<std::uint8_t>>();
  if (!decoders[index]->decode(input, values.get())) return false;
  sample->data = values->data();
  sample->size = values->size();
  sample->owner = std::move(values);
  return true;
}

bool RecordingReader::next(RecordedSample* sample) {
  State& s = *state_;
  while (!s.ended) {
    AVPacket* packet = s.packet.get();
    av_packet_unref(packet);
    if (av_read_frame(s.format, packet) < 0) {
      s.ended = true;
      break;
    }
    if (packet->stream_index < 0 ||
        static_cast<std::size_t>(packet->stream_index) >= s.trackOfStream.size() ||
        s.trackOfStream[static_cast<std::size_t>(packet->stream_index)] < 0) {
      continue;
    }
    const auto index = static_cast<std::size_t>(s.trackOfStream[packet->stream_index]);
    const RecordedTrack& track = s.tracks[index];
    const std::string where = track.nodeName.empty() ? "a sample" : "a sample of " + track.nodeName;

    // The exact time from the block's addition; Matroska's millisecond time otherwise.
    std::int64_t time = 0;
    std::size_t extraSize = 0;
    const std::uint8_t* extra =
        av_packet_get_side_data(packet, AV_PKT_DATA_MATROSKA_BLOCKADDITIONAL, &extraSize);
    if (extra != nullptr && extraSize == 8 + static_cast<std::size_t>(kCaptureTimeBytes)) {
      std::uint64_t id = 0;
      std::uint64_t value = 0;
      for (int i = 0; i < 8; ++i) {
        id = (id << 8) | extra[i];
        value = (value << 8) | extra[8 + i];
      }
      if (id != kCaptureTimeAddId) {
        s.damage(where + " has an unknown block addition");
        continue;
      }
      time = static_cast<std::int64_t>(value);
    } else if (packet->pts != AV_NOPTS_VALUE &&
               packet->pts > -kLargestTime / kMicrosecondsPerTick &&
               packet->pts < kLargestTime / kMicrosecondsPerTick) {
      time = packet->pts * kMicrosecondsPerTick;
    } else {
      s.damage(where + " has no time");
      continue;
    }
    if (time < -kLargestTime || time > kLargestTime) {
      s.damage(where + " has an absurd time");
      continue;
    }
    if (time < s.lastTime[index]) {
      s.damage(where + " goes back in time");
      continue;
    }

    RecordedSample out;
    out.track = index;
    out.timeOfCapture = time;
    const auto size = static_cast<std::size_t>(packet->size);
    bool good = packet->data != nullptr && packet->size > 0;
    if (good && s.decoders[index]) {
      good = s.decode(index, *packet, &out);
    } else if (good) {
      if (track.kind() == NodeKind::Color) {
        good = size == static_cast<std::size_t>(track.width) * track.height * 2;
      } else {
        const TrackRecord record = TrackRecord::of(track.configuration);
        const std::size_t frameBytes = record.audioFrameBytes();
        good = size % frameBytes == 0 &&
               size <= frameBytes * static_cast<std::size_t>(record.sampleRate);
      }
      if (good) {
        // The sample keeps the packet's buffer alive instead of copying it.
        std::shared_ptr<AVPacket> held(av_packet_clone(packet),
                                       [](AVPacket* p) { av_packet_free(&p); });
        good = held != nullptr && held->data != nullptr;
        if (good) {
          out.data = held->data;
          out.size = size;
          out.owner = std::move(held);
        }
      }
    }
    if (!good) {
      s.damage(where + " is damaged");
      continue;
    }
    s.lastTime[index] = time;
    *sample = std::move(out);
    return true;
  }
  return false;
}

}  // namespace recording
}  // namespace CamSdk
