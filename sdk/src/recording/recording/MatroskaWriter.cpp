#include "recording/MatroskaWriter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
}

#include <algorithm>
#include <cstring>

#include "recording/FfmpegSupport.h"
#include "recording/LiveDuration.h"
#include "recording/PictureCoding.h"
#include "recording/TrackLayout.h"
#include "recording/TrackRecord.h"

namespace CamSdk {
namespace recording {

struct MatroskaWriter::State {
  std::string path;
  AVFormatContext* format = nullptr;
  std::vector<TrackDescription> tracks;
  std::vector<std::size_t> expectedBytes;  // per track; 0: any whole number of audio frames
  std::vector<std::int64_t> lastTick;      // per track, so block times rise strictly
  bool haveOrigin = false;
  std::int64_t origin = 0;   // capture time of the first sample written: block time 0
  std::int64_t endTick = 0;  // where the latest sample written ends, in block time
  LiveDuration duration;
  std::vector<std::unique_ptr<PictureEncoder>> encoders;  // per track; none: stored as it comes
  PacketPointer packet{av_packet_alloc()};
  bool headerWritten = false;
  bool closed = false;
  std::int64_t closedSize = 0;

  [[noreturn]] void fail(const std::string& what, int code) const {
    throw WriteError(path + ": " + what + ": " + errorText(code));
  }
  // The encoder of a picture track, or none when it is stored as it comes.
  std::unique_ptr<PictureEncoder> openEncoder(const TrackDescription& track,
                                              const TrackRecord& record, ColourCodec colour) const;
  void checkStream(const char* what) const {
    if (format->pb != nullptr && format->pb->error < 0) fail(what, format->pb->error);
  }
  ~State() {
    if (format != nullptr) {
      if (format->pb != nullptr) avio_closep(&format->pb);
      avformat_free_context(format);
    }
  }
};

namespace {

void addTags(AVStream* stream, const TrackDescription& track) {
  const TrackRecord record = TrackRecord::of(track.configuration);
  av_dict_set(&stream->metadata, kNodeNameKey, track.nodeName.c_str(), 0);
  av_dict_set(&stream->metadata, kKindKey, nodeKindName(track.kind()), 0);
  if (track.kind() == NodeKind::Audio) {
    av_dict_set_int(&stream->metadata, kRateKey, record.sampleRate, 0);
    av_dict_set_int(&stream->metadata, kChannelsKey, record.channels, 0);
  } else {
    av_dict_set_int(&stream->metadata, kFrameFormatKey, record.frameFormat, 0);
    av_dict_set_int(&stream->metadata, kRateKey, record.framerate, 0);
  }
  av_dict_set(&stream->metadata, kConfigurationKey, hexOf(track.configuration.bytes()).c_str(), 0);
  av_dict_set(&stream->metadata, "title", track.nodeName.c_str(), 0);
}

}  // namespace

// Depth always as FFV1 16-bit grey, colour as `colour` says (none when raw). Version 3 of FFV1
// with a checksum per slice: a damaged picture is refused, not shown wrong; samples wider than 8
// bits need its range coder.
std::unique_ptr<PictureEncoder> MatroskaWriter::State::openEncoder(const TrackDescription& track,
                                                                   const TrackRecord& record,
                                                                   ColourCodec colour) const {
  AVCodecID id = AV_CODEC_ID_FFV1;
  AVPixelFormat sample = AV_PIX_FMT_GRAY16LE;
  AVPixelFormat stored = AV_PIX_FMT_GRAY16LE;
  AVDictionary* options = nullptr;
  if (track.kind() == NodeKind::Color) {
    if (colour == ColourCodec::Raw) return nullptr;
    sample = AV_PIX_FMT_YUYV422;
    stored = AV_PIX_FMT_YUV422P;
    if (colour == ColourCodec::UtVideo) {
      id = AV_CODEC_ID_UTVIDEO;
      av_dict_set(&options, "pred", "median", 0);
    }
  }
  if (id == AV_CODEC_ID_FFV1) {
    av_dict_set(&options, "level", "3", 0);
    av_dict_set(&options, "slicecrc", "1", 0);
    av_dict_set(&options, "coder", "range_def", 0);
  }
  const AVCodec* codec = avcodec_find_encoder(id);
  if (codec == nullptr) {
    av_dict_free(&options);
    fail(std::string("no ") + avcodec_get_name(id) + " encoder", AVERROR_ENCODER_NOT_FOUND);
  }
  auto encoder = std::make_unique<PictureEncoder>();
  std::string what;
  const int code =
      encoder->open(codec, sample, stored, record.width, record.height, &options, &what);
  av_dict_free(&options);
  if (code < 0) fail(track.nodeName + ": " + what, code);
  return encoder;
}

MatroskaWriter::MatroskaWriter(const std::string& path, const std::vector<TrackDescription>& tracks,
                               ColourCodec colour)
    : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.path = path;
  s.tracks = tracks;
  int code = avformat_alloc_output_context2(&s.format, nullptr, "matroska", nullptr);
  if (code < 0) s.fail("cannot set up the Matroska writer", code);
  for (const TrackDescription& track : tracks) {
    const TrackRecord record = TrackRecord::of(track.configuration);
    AVStream* stream = avformat_new_stream(s.format, nullptr);
    if (stream == nullptr) s.fail("cannot add a track", AVERROR(ENOMEM));
    stream->time_base = AVRational{1, 1000};
    AVCodecParameters* parameters = stream->codecpar;
    s.encoders.push_back(track.kind() == NodeKind::Depth || track.kind() == NodeKind::Color
                             ? s.openEncoder(track, record, colour)
                             : nullptr);
    switch (track.kind()) {
      case NodeKind::Depth:
      case NodeKind::Color:
        if (s.encoders.back()) {
          code = avcodec_parameters_from_context(parameters, s.encoders.back()->context());
          if (code < 0) s.fail("cannot describe the " + track.nodeName + " track", code);
          break;
        }
        parameters->codec_type = AVMEDIA_TYPE_VIDEO;
        parameters->codec_id = AV_CODEC_ID_RAWVIDEO;
        parameters->format = AV_PIX_FMT_YUYV422;
        parameters->codec_tag = avcodec_pix_fmt_to_codec_tag(AV_PIX_FMT_YUYV422);
        parameters->width = record.width;
        parameters->height = record.height;
        parameters->bits_per_coded_sample = 16;
        break;
      case NodeKind::Audio:
        parameters->codec_type = AVMEDIA_TYPE_AUDIO;
        parameters->codec_id = AV_CODEC_ID_PCM_S16LE;
        parameters->sample_rate = record.sampleRate;
        av_channel_layout_default(&parameters->ch_layout, record.channels);
        parameters->bits_per_coded_sample = 16;
        parameters->block_align = static_cast<int>(record.audioFrameBytes());
        break;
      case NodeKind::Other:
        throw std::invalid_argument("a node of no kind has no track");
    }
    // Pictures have one size per track; audio blocks any whole number of frames.
    if (track.kind() == NodeKind::Audio) {
      s.expectedBytes.push_back(0);
    } else {
      stream->avg_frame_rate = AVRational{record.framerate, 1};
      s.expectedBytes.push_back(static_cast<std::size_t>(record.width) * record.height * 2);
    }
    addTags(stream, track);
    s.lastTick.push_back(-1);
  }
  code = avio_open(&s.format->pb, path.c_str(), AVIO_FLAG_WRITE);
  if (code < 0) s.fail("cannot open for writing", code);
  AVDictionary* options = nullptr;
  // Clusters end at least twice a second even if flush() is never called; each one is written
  // out whole as it ends, and the segment's size stays "unknown" until the file is closed.
  av_dict_set(&options, "cluster_time_limit", "500", 0);
  s.format->flags |= AVFMT_FLAG_FLUSH_PACKETS;
  code = avformat_write_header(s.format, &options);
  av_dict_free(&options);
  if (code < 0) s.fail("cannot write the header", code);
  s.headerWritten = true;
  avio_flush(s.format->pb);
  s.checkStream("cannot write the header");
  // Only a file the writer can seek in has room kept for the duration; a pipe opened again to
  // look would wait for a writer that is this one, and take the bytes its reader is owed.
  if ((s.format->pb->seekable & AVIO_SEEKABLE_NORMAL) != 0) s.duration = LiveDuration::find(path);
}

MatroskaWriter::~MatroskaWriter() {
  try {
    close();
  } catch (const WriteError&) {
    // The caller who wanted to know closed explicitly; a writer dropped on an error path keeps
    // what it wrote.
  }
}

void MatroskaWriter::write(std::size_t track, std::int64_t timeOfCapture, const std::uint8_t* data,
                           std::size_t size) {
  State& s = *state_;
  if (s.closed) throw WriteError(s.path + ": the file is already closed");
  if (track >= s.tracks.size()) throw std::invalid_argument("no such track");
  const TrackDescription& description = s.tracks[track];
  const std::size_t expected = s.expectedBytes[track];
  const TrackRecord record = TrackRecord::of(description.configuration);
  const std::size_t frameBytes = record.audioFrameBytes();
  if ((expected != 0 && size != expected) ||
      (expected == 0 && (size == 0 || size % frameBytes != 0))) {
    throw std::invalid_argument(description.nodeName + ": a sample of " + std::to_string(size) +
                                " bytes does not fit its track");
  }

  // Block times count milliseconds from the first sample of the file, whatever its track, so
  // that players show the recorded span and the tracks keep their offsets; they must rise within
  // a track. The exact capture time rides along in the block's addition.
  if (!s.haveOrigin) {
    s.haveOrigin = true;
    s.origin = timeOfCapture;
  }
  const std::int64_t sinceOrigin = timeOfCapture - s.origin;
  std::int64_t tick = sinceOrigin > 0 ? sinceOrigin / kMicrosecondsPerTick : 0;
  if (tick <= s.lastTick[track]) tick = s.lastTick[track] + 1;

  AVPacket* packet = s.packet.get();
  av_packet_unref(packet);
  int code = 0;
  if (PictureEncoder* encoder = s.encoders[track].get()) {
    code = encoder->encode(data, tick, packet);
    if (code < 0) s.fail("cannot encode " + description.nodeName, code);
  } else {
    code = av_new_packet(packet, static_cast<int>(size));
    if (code < 0) s.fail("out of memory for a sample", code);
    std::memcpy(packet->data, data, size);
  }
  packet->flags |= AV_PKT_FLAG_KEY;
  packet->stream_index = static_cast<int>(track);
  s.lastTick[track] = tick;
  packet->pts = packet->dts = tick;
  if (description.kind() == NodeKind::Audio) {
    const std::int64_t frames = static_cast<std::int64_t>(size / frameBytes);
    packet->duration = frames * 1000 / record.sampleRate;
  } else {
    packet->duration = record.framerate > 0 ? 1000 / record.framerate : 0;
  }
  s.endTick = std::max(s.endTick, tick + packet->duration);
  std::uint8_t* extra =
      av_packet_new_side_data(packet, AV_PKT_DATA_MATROSKA_BLOCKADDITIONAL, 8 + kCaptureTimeBytes);
  if (extra == nullptr) s.fail("out of memory for a sample", AVERROR(ENOMEM));
  const auto time = static_cast<std::uint64_t>(timeOfCapture);
  for (int i = 0; i < 8; ++i) {
    extra[i] = static_cast<std::uint8_t>(kCaptureTimeAddId >> (56 - 8 * i));
    extra[8 + i] = static_cast<std::uint8_t>(time >> (56 - 8 * i));
  }
  code = av_write_frame(s.format, packet);
  av_packet_unref(packet);
  if (code < 0) s.fail("cannot write a sample", code);
  s.checkStream("cannot write a sample");
}

void MatroskaWriter::flush() {
  State& s = *state_;
  if (s.closed) return;
  int code = av_write_frame(s.format, nullptr);
  if (code < 0) s.fail("cannot write", code);
  avio_flush(s.format->pb);
  s.checkStream("cannot write");
  // What reached the disk now states its own length, should the writer be killed.
  code = s.duration.update(s.format->pb, static_cast<double>(s.endTick));
  if (code < 0) s.fail("cannot write the duration", code);
}

void MatroskaWriter::close() {
  State& s = *state_;
  if (s.closed) return;
  s.closed = true;
  int code = s.headerWritten ? av_write_trailer(s.format) : 0;
  if (s.format->pb != nullptr) {
    avio_flush(s.format->pb);
    if (code >= 0 && s.format->pb->error < 0) code = s.format->pb->error;
    s.closedSize = avio_tell(s.format->pb);
    const int closing = avio_closep(&s.format->pb);
    if (code >= 0) code = closing;
  }
  if (code < 0) s.fail("cannot finish the file", code);
}

std::int64_t MatroskaWriter::bytesWritten() const {
  const State& s = *state_;
  return s.format->pb != nullptr ? avio_tell(s.format->pb) : s.closedSize;
}

}  // namespace recording
}  // namespace CamSdk
