#include "recording/PictureCoding.h"

extern "C" {
#include <libswscale/swscale.h>
}

#include <cstring>

namespace CamSdk {
namespace recording {

void ScalerDeleter::operator()(SwsContext* context) const { sws_freeContext(context); }

namespace {

// Both sample layouts take two bytes a pixel in one plane.
std::size_t rowBytes(int width) { return static_cast<std::size_t>(width) * 2; }

// Packed 4:2:2 and 4:2:2 planes into each other: the same size, so swscale only moves bytes.
ScalerPointer relayout(int width, int height, AVPixelFormat from, AVPixelFormat to) {
  return ScalerPointer(
      sws_getContext(width, height, from, width, height, to, SWS_POINT, nullptr, nullptr, nullptr));
}

}  // namespace

int PictureEncoder::open(const AVCodec* codec, AVPixelFormat sample, AVPixelFormat stored,
                         int width, int height, AVDictionary** options, std::string* what) {
  sample_ = sample;
  context_.reset(avcodec_alloc_context3(codec));
  frame_.reset(av_frame_alloc());
  if (!context_ || !frame_) {
    *what = "out of memory";
    return AVERROR(ENOMEM);
  }
  AVCodecContext* context = context_.get();
  context->width = width;
  context->height = height;
  context->pix_fmt = stored;
  context->time_base = AVRational{1, 1000};
  context->gop_size = 1;  // every picture stands alone, so playback can start anywhere
  context->thread_count = 1;
  context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  int code = avcodec_open2(context, codec, options);
  if (code < 0) {
    *what = std::string("cannot start the ") + codec->name + " encoder";
    return code;
  }
  frame_->format = stored;
  frame_->width = width;
  frame_->height = height;
  code = av_frame_get_buffer(frame_.get(), 0);
  if (code < 0) {
    *what = "cannot allocate a picture";
    return code;
  }
  if (stored != sample) {
    toStored_ = relayout(width, height, sample, stored);
    if (!toStored_) {
      *what = "cannot lay out colour for the encoder";
      return AVERROR(EINVAL);
    }
  }
  return 0;
}

int PictureEncoder::encode(const std::uint8_t* data, std::int64_t pts, AVPacket* packet) {
  AVFrame* frame = frame_.get();
  int code = av_frame_make_writable(frame);
  if (code < 0) return code;
  const std::size_t row = rowBytes(frame->width);
  if (toStored_) {
    const std::uint8_t* const source[4] = {data, nullptr, nullptr, nullptr};
    const int stride[4] = {static_cast<int>(row), 0, 0, 0};
    sws_scale(toStored_.get(), source, stride, 0, frame->height, frame->data, frame->linesize);
  } else {
    for (int y = 0; y < frame->height; ++y) {
      std::memcpy(frame->data[0] + static_cast<std::ptrdiff_t>(y) * frame->linesize[0],
                  data + y * row, row);
    }
  }
  frame->pts = pts;
  code = avcodec_send_frame(context_.get(), frame);
  if (code >= 0) code = avcodec_receive_packet(context_.get(), packet);
  return code;
}

std::string PictureDecoder::open(const AVCodecParameters* parameters, AVPixelFormat sample,
                                 int width, int height) {
  sample_ = sample;
  width_ = width;
  height_ = height;
  const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
  if (codec == nullptr) return "no decoder for its codec";
  context_.reset(avcodec_alloc_context3(codec));
  if (!context_ || !frame_ || avcodec_parameters_to_context(context_.get(), parameters) < 0) {
    return "cannot set up its decoder";
  }
  context_->thread_count = 1;
  const int code = avcodec_open2(context_.get(), codec, nullptr);
  if (code < 0)
    return std::string("its ") + codec->name + " header is unreadable (" + errorText(code) + ")";
  return {};
}

bool PictureDecoder::decode(const AVPacket& packet, std::vector<std::uint8_t>* out) {
  if (!context_ || avcodec_send_packet(context_.get(), &packet) < 0) return false;
  AVFrame* picture = frame_.get();
  if (avcodec_receive_frame(context_.get(), picture) < 0) return false;
  const auto format = static_cast<AVPixelFormat>(picture->format);
  const bool planar = sample_ == AV_PIX_FMT_YUYV422 && format == AV_PIX_FMT_YUV422P;
  const std::size_t row = rowBytes(width_);
  bool fits = picture->width == width_ && picture->height == height_ &&
              (format == sample_ || planar) && picture->data[0] != nullptr;
  if (fits && planar && (!toSample_ || scalerFrom_ != format)) {
    toSample_ = relayout(width_, height_, format, sample_);
    scalerFrom_ = format;
    fits = toSample_ != nullptr;
  }
  if (fits && !planar) fits = picture->linesize[0] >= static_cast<int>(row);
  if (fits) {
    out->resize(row * static_cast<std::size_t>(height_));
    if (planar) {
      std::uint8_t* const target[4] = {out->data(), nullptr, nullptr, nullptr};
      const int stride[4] = {static_cast<int>(row), 0, 0, 0};
      sws_scale(toSample_.get(), picture->data, picture->linesize, 0, height_, target, stride);
    } else {
      for (int y = 0; y < height_; ++y) {
        std::memcpy(out->data() + y * row,
                    picture->data[0] + static_cast<std::ptrdiff_t>(y) * picture->linesize[0], row);
      }
    }
  }
  av_frame_unref(picture);
  return fits;
}

}  // namespace recording
}  // namespace CamSdk
