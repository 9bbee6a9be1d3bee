// One video track's pictures through an FFmpeg codec, both ways. Samples come and go in the
// service's layout, rows without padding: depth maps as 16-bit grey, colour as packed 4:2:2
// (Y0 U Y1 V). Codecs that take colour in planes (4:2:2 planar) get it laid out so on the way
// in and packed again on the way out; both steps only move bytes, so a lossless codec gives
// back every byte.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/pixfmt.h>
}

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "recording/FfmpegSupport.h"

struct SwsContext;

namespace CamSdk {
namespace recording {

struct ScalerDeleter {
  void operator()(SwsContext* context) const;
};
using ScalerPointer = std::unique_ptr<SwsContext, ScalerDeleter>;

class PictureEncoder {
 public:
  // Opens `codec` for `width` x `height` samples laid out as `sample`, stored as `stored`, with
  // the codec's own settings in `options` (taken from it as FFmpeg does). An FFmpeg error code,
  // or 0; `what` then says which step failed.
  int open(const AVCodec* codec, AVPixelFormat sample, AVPixelFormat stored, int width, int height,
           AVDictionary** options, std::string* what);
  // Encodes one sample, every picture a key frame, into `packet`. An FFmpeg error code, or 0.
  int encode(const std::uint8_t* data, std::int64_t pts, AVPacket* packet);
  const AVCodecContext* context() const { return context_.get(); }

 private:
  AVPixelFormat sample_ = AV_PIX_FMT_NONE;
  CodecContextPointer context_;
  FramePointer frame_;
  ScalerPointer toStored_;  // only when the codec stores another layout
};

class PictureDecoder {
 public:
  // Opens the decoder of a track described by `parameters` whose samples are `width` x `height`
  // in `sample`'s layout; the reason when it cannot, or "".
  std::string open(const AVCodecParameters* parameters, AVPixelFormat sample, int width,
                   int height);
  // Decodes `packet` into `out` in the sample's layout; false when the packet does not decode
  // into a picture of the track's size and layout.
  bool decode(const AVPacket& packet, std::vector<std::uint8_t>* out);

 private:
  AVPixelFormat sample_ = AV_PIX_FMT_NONE;
  int width_ = 0;
  int height_ = 0;
  CodecContextPointer context_;
  FramePointer frame_{av_frame_alloc()};
  ScalerPointer toSample_;
  AVPixelFormat scalerFrom_ = AV_PIX_FMT_NONE;
};

}  // namespace recording
}  // namespace CamSdk
