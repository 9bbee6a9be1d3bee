// The lossless codecs of FFmpeg's libraries that take 4:2:2 colour, measured on the recorder's
// own encoding path (recording::PictureEncoder: packed 4:2:2 laid out in planes, then encoded)
// and playback's decoding path, on 640 x 480 pictures: the simulated scene (flat colours) and the
// same scene with sensor-like noise (Gaussian, new every picture). For each: CPU per picture to
// encode and to decode (the whole process's CPU, so codec threads count), bytes per picture,
// and what that makes at 25 pictures a second. Every picture is checked to come back exactly.
//
//   colour_codecs [PICTURES]    (50 by default)
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <utility>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "recording/PictureCoding.h"
#include "scene/Scenes.h"

namespace {

using namespace CamSdk;
using Picture = std::vector<std::uint8_t>;

constexpr int kWidth = 640;
constexpr int kHeight = 480;

struct Candidate {
  const char* label;
  const char* codec;  // FFmpeg's encoder name; "" for raw
  std::vector<std::pair<const char*, const char*>> options;
};

double processSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

std::uint8_t clamp(double value) {
  return static_cast<std::uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value + 0.5);
}

// The simulated scene's pictures, with noise of `sigma` levels on every byte when sigma > 0.
std::vector<Picture> pictures(int count, double sigma) {
  std::mt19937 random(7);
  std::normal_distribution<double> noise(0.0, sigma > 0 ? sigma : 1.0);
  std::vector<Picture> all;
  for (int k = 0; k < count; ++k) {
    Picture picture(static_cast<std::size_t>(kWidth) * kHeight * 2);
    detail::renderColorScene(FRAME_FORMAT_VGA, k, picture.data(), picture.size());
    if (sigma > 0) {
      for (std::uint8_t& byte : picture) byte = clamp(byte + noise(random));
    }
    all.push_back(std::move(picture));
  }
  return all;
}

struct Result {
  double encodeMs = 0;
  double decodeMs = 0;
  double bytes = 0;
  bool exact = true;
};

Result measure(const Candidate& candidate, const std::vector<Picture>& input) {
  Result result;
  const double count = static_cast<double>(input.size());
  AVPacket* packet = av_packet_alloc();
  if (candidate.codec[0] == '\0') {
    // Raw: the recorder copies each picture into a packet.
    const double start = processSeconds();
    for (const Picture& picture : input) {
      av_new_packet(packet, static_cast<int>(picture.size()));
      std::copy(picture.begin(), picture.end(), packet->data);
      result.bytes += packet->size;
      av_packet_unref(packet);
    }
    result.encodeMs = (processSeconds() - start) * 1000 / count;
    av_packet_free(&packet);
    result.bytes /= count;
    return result;
  }
  const AVCodec* codec = avcodec_find_encoder_by_name(candidate.codec);
  if (codec == nullptr) {
    std::fprintf(stderr, "no %s encoder\n", candidate.codec);
    std::exit(1);
  }
  AVDictionary* options = nullptr;
  for (const auto& [key, value] : candidate.options) av_dict_set(&options, key, value, 0);
  recording::PictureEncoder encoder;
  std::string what;
  if (encoder.open(codec, AV_PIX_FMT_YUYV422, AV_PIX_FMT_YUV422P, kWidth, kHeight, &options,
                   &what) < 0) {
    std::fprintf(stderr, "%s: %s\n", candidate.label, what.c_str());
    std::exit(1);
  }
  av_dict_free(&options);
  std::vector<AVPacket*> packets;
  double start = processSeconds();
  for (std::size_t k = 0; k < input.size(); ++k) {
    if (encoder.encode(input[k].data(), static_cast<std::int64_t>(k), packet) < 0) {
      std::fprintf(stderr, "%s: encoding failed\n", candidate.label);
      std::exit(1);
    }
    result.bytes += packet->size;
    packets.push_back(av_packet_clone(packet));
    av_packet_unref(packet);
  }
  result.encodeMs = (processSeconds() - start) * 1000 / count;

  AVCodecParameters* parameters = avcodec_parameters_alloc();
  avcodec_parameters_from_context(parameters, encoder.context());
  recording::PictureDecoder decoder;
  const std::string reason = decoder.open(parameters, AV_PIX_FMT_YUYV422, kWidth, kHeight);
  if (!reason.empty()) {
    std::fprintf(stderr, "%s: %s\n", candidate.label, reason.c_str());
    std::exit(1);
  }
  Picture decoded;
  start = processSeconds();
  for (std::size_t k = 0; k < packets.size(); ++k) {
    result.exact = decoder.decode(*packets[k], &decoded) && decoded == input[k] && result.exact;
  }
  result.decodeMs = (processSeconds() - start) * 1000 / count;
  for (AVPacket* p : packets) av_packet_free(&p);
  avcodec_parameters_free(&parameters);
  av_packet_free(&packet);
  result.bytes /= count;
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 50;
  av_log_set_level(AV_LOG_ERROR);
  const std::vector<Candidate> candidates = {
      {"raw (copied into a packet)", "", {}},
      {"utvideo pred=left", "utvideo", {{"pred", "left"}}},
      {"utvideo pred=median", "utvideo", {{"pred", "median"}}},
      {"magicyuv pred=left", "magicyuv", {{"pred", "left"}}},
      {"magicyuv pred=median", "magicyuv", {{"pred", "median"}}},
      {"huffyuv pred=median", "huffyuv", {{"pred", "median"}}},
      {"ffvhuff pred=median context=1", "ffvhuff", {{"pred", "median"}, {"context", "1"}}},
      {"ffv1 rice coder", "ffv1", {{"level", "3"}, {"coder", "rice"}, {"slicecrc", "1"}}},
      {"ffv1 range coder", "ffv1", {{"level", "3"}, {"coder", "range_def"}, {"slicecrc", "1"}}},
      {"ffv1 range coder, 4 slices, 2 threads",
       "ffv1",
       {{"level", "3"},
        {"coder", "range_def"},
        {"slicecrc", "1"},
        {"slices", "4"},
        {"threads", "2"}}},
      {"h264 lossless (libx264 qp 0 ultrafast)",
       "libx264",
       {{"qp", "0"}, {"preset", "ultrafast"}, {"tune", "zerolatency"}}},
  };
  const std::vector<std::pair<const char*, double>> sets = {
      {"simulated scene (flat)", 0.0}, {"noise sigma 2", 2.0}, {"noise sigma 4", 4.0}};
  std::printf("%d pictures of 640 x 480 per set; CPU of the whole process\n", count);
  for (const auto& [name, sigma] : sets) {
    const std::vector<Picture> input = pictures(count, sigma);
    std::printf("\n== %s\n", name);
    std::printf("%-40s %9s %9s %9s %7s %10s %9s %s\n", "codec", "enc ms", "dec ms", "KB", "of raw",
                "MB/minute", "% core", "exact");
    double rawBytes = 0;
    for (const Candidate& candidate : candidates) {
      const Result r = measure(candidate, input);
      if (rawBytes == 0) rawBytes = r.bytes;
      std::printf("%-40s %9.2f %9.2f %9.1f %7.3f %10.0f %9.1f %s\n", candidate.label, r.encodeMs,
                  r.decodeMs, r.bytes / 1024, r.bytes / rawBytes, r.bytes * 25 * 60 / 1e6,
                  r.encodeMs * 25 / 10, r.exact ? "yes" : "NO");
    }
  }
  return 0;
}
