// A session recorded from the simulated camera while another client held its nodes and had
// changed their configurations, then played back as a device: every sample comes back with the
// same bytes, order, index and time, the recorded configurations are the only ones offered,
// and FFmpeg's own tools read the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <tuple>

#include "../sdk/SdkTestSupport.h"
#include "RecordingTestSupport.h"
#include "recording/MatroskaWriter.h"
#include "recording/RecordingReader.h"

namespace CamSdk {
namespace {

using recordtest::Captured;
using testing::Scenario;

const DepthNode::Configuration kDepth{FRAME_FORMAT_QQVGA, 30, DepthNode::CameraMode::Long, false};
const ColorNode::Configuration kColor{FRAME_FORMAT_QVGA, 15, ColorNode::PowerLineFrequency::Hz60,
                                      ColorNode::Compression::Yuy2};
const AudioNode::Configuration kAudio{AudioNode::AudioFormat::Pcm16, 2, 22050};

template <class Configuration>
bool same(const Configuration& a, const Configuration& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

std::string run(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  char buffer[4096];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
  pclose(pipe);
  return output;
}

class RoundTrip : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Scenario scenario = Scenario::fresh(testing::Topology::OneCamera, true);
    Context controller = Context::create("localhost");
    DepthNode depth = sdktest::typedNode<DepthNode>(controller, "depth0");
    ColorNode color = sdktest::typedNode<ColorNode>(controller, "color0");
    AudioNode audio = sdktest::typedNode<AudioNode>(controller, "audio0");
    for (Node node : {Node(depth), Node(color), Node(audio)}) controller.requestControl(node, 0);
    depth.setConfiguration(kDepth);
    color.setConfiguration(kColor);
    audio.setConfiguration(kAudio);
    path_ = new std::string(recordtest::temporaryPath("round-trip.mkv"));
    recorded_ = new std::vector<Captured>(recordtest::recordSession(*path_, 2.0));
  }
  static void TearDownTestSuite() {
    std::remove(path_->c_str());
    delete path_;
    delete recorded_;
  }
  static std::string* path_;
  static std::vector<Captured>* recorded_;
};
std::string* RoundTrip::path_ = nullptr;
std::vector<Captured>* RoundTrip::recorded_ = nullptr;

TEST_F(RoundTrip, PlaybackGivesEverySampleAsRecordedThenTheDeviceGoes) {
  const std::vector<Captured>& recorded = *recorded_;
  ASSERT_GE(recorded.size(), 60u + 30u + 100u);  // 2 s of 30 + 15 fps and 50 audio blocks

  // Added by a scenario line, with the file named relative to the scenario file.
  Scenario playback = Scenario::fresh(testing::Topology::Empty, true);
  const std::filesystem::path file(*path_);
  testing::applyScenarioText(playback, "recording replay " + file.filename().string() + "\n",
                             (file.parent_path() / "scenario.txt").string());
  Context viewer = Context::create("localhost");
  DepthNode depth = sdktest::typedNode<DepthNode>(viewer, "depth0");
  ColorNode color = sdktest::typedNode<ColorNode>(viewer, "color0");
  AudioNode audio = sdktest::typedNode<AudioNode>(viewer, "audio0");
  EXPECT_TRUE(same(depth.getConfiguration(), kDepth));
  EXPECT_TRUE(same(color.getConfiguration(), kColor));
  EXPECT_TRUE(same(audio.getConfiguration(), kAudio));
  viewer.requestControl(depth, 0);
  viewer.requestControl(audio, 0);
  DepthNode::Configuration faster = kDepth;
  faster.framerate = 60;
  EXPECT_THROW(depth.setConfiguration(faster), ConfigurationException);
  AudioNode::Configuration mono = kAudio;
  mono.channels = 1;
  EXPECT_THROW(audio.setConfiguration(mono), ConfigurationException);
  depth.setConfiguration(kDepth);  // what the recording has is accepted

  const std::vector<Captured> played = recordtest::playSession(viewer, recorded.size() + 50);
  ASSERT_EQ(played.size(), recorded.size());
  int differences = 0;
  for (std::size_t i = 0; i < played.size() && differences < 5; ++i) {
    const bool equal = played[i].kind == recorded[i].kind && played[i].time == recorded[i].time &&
                       played[i].index == recorded[i].index && played[i].bytes == recorded[i].bytes;
    if (!equal) {
      ++differences;
      ADD_FAILURE() << "sample " << i << ": kind " << static_cast<int>(played[i].kind) << " t "
                    << played[i].time << " #" << played[i].index << " vs kind "
                    << static_cast<int>(recorded[i].kind) << " t " << recorded[i].time << " #"
                    << recorded[i].index;
    }
  }
  EXPECT_TRUE(playback.devices().empty()) << "the device stays after the recording ended";
}

TEST_F(RoundTrip, LoopingGoesOnWithRisingIndicesAndTimes) {
  const std::vector<Captured>& recorded = *recorded_;
  Scenario playback = Scenario::fresh(testing::Topology::Empty, true);
  playback.addRecording("replay", *path_, true);
  Context viewer = Context::create("localhost");
  const std::vector<Captured> played = recordtest::playSession(viewer, 2 * recorded.size() + 20);
  ASSERT_EQ(played.size(), 2 * recorded.size() + 20);
  std::map<NodeKind, std::vector<const Captured*>> first, later;
  for (const Captured& sample : recorded) first[sample.kind].push_back(&sample);
  for (const Captured& sample : played) later[sample.kind].push_back(&sample);
  for (auto& [kind, samples] : later) {
    const std::vector<const Captured*>& once = first[kind];
    ASSERT_GT(samples.size(), once.size()) << "kind " << static_cast<int>(kind);
    for (std::size_t i = 1; i < samples.size(); ++i) {
      ASSERT_GT(samples[i]->index, samples[i - 1]->index) << "kind " << static_cast<int>(kind);
      ASSERT_GT(samples[i]->time, samples[i - 1]->time) << "kind " << static_cast<int>(kind);
      ASSERT_EQ(samples[i]->bytes, once[i % once.size()]->bytes)
          << "kind " << static_cast<int>(kind);
    }
  }
  EXPECT_EQ(playback.devices().size(), 1u);
}

TEST_F(RoundTrip, FfmpegToolsReadTheTracksAndDecodeThePicturesExactly) {
  std::map<NodeKind, long> counts;
  std::map<NodeKind, std::vector<std::uint8_t>> pictures;
  for (const Captured& sample : *recorded_) {
    ++counts[sample.kind];
    std::vector<std::uint8_t>& all = pictures[sample.kind];
    all.insert(all.end(), sample.bytes.begin(), sample.bytes.end());
  }
  const std::string streams = run(
      "ffprobe -v error -count_packets -show_entries "
      "stream=codec_name,width,height,pix_fmt,sample_rate,channels,nb_read_packets -of csv=p=0 '" +
      *path_ + "'");
  EXPECT_EQ(streams, "ffv1,160,120,gray16le," + std::to_string(counts[NodeKind::Depth]) + "\n" +
                         "utvideo,320,240,yuv422p," + std::to_string(counts[NodeKind::Color]) +
                         "\n" + "pcm_s16le,22050,2," + std::to_string(counts[NodeKind::Audio]) +
                         "\n");

  // FFmpeg's own decoders give back the bytes the camera sent, colour packed again.
  for (const auto& [stream, kind, layout] :
       {std::tuple{0, NodeKind::Depth, "gray16le"}, std::tuple{1, NodeKind::Color, "yuyv422"}}) {
    const std::string raw = *path_ + ".raw";
    run("ffmpeg -v error -y -i '" + *path_ + "' -map 0:" + std::to_string(stream) +
        " -vsync passthrough -f rawvideo -pix_fmt " + layout + " '" + raw + "'");
    std::ifstream in(raw, std::ios::binary);
    const std::vector<std::uint8_t> decoded((std::istreambuf_iterator<char>(in)),
                                            std::istreambuf_iterator<char>());
    std::remove(raw.c_str());
    EXPECT_EQ(decoded.size(), pictures[kind].size()) << layout;
    EXPECT_TRUE(decoded == pictures[kind]) << "ffmpeg's " << layout << " differs from the recorded";
  }
}

// Every colour codec the recorder offers gives back the bytes sent, noise included.
TEST(ColourCodecs, EachGivesBackEveryByte) {
  recording::TrackDescription track;
  track.nodeName = "color0";
  track.configuration = kColor;
  std::vector<std::vector<std::uint8_t>> pictures(3, std::vector<std::uint8_t>(320 * 240 * 2));
  unsigned seed = 1;
  for (auto& picture : pictures) {
    for (std::uint8_t& byte : picture)
      byte = static_cast<std::uint8_t>((seed = seed * 1103515245 + 12345) >> 16);
  }
  for (recording::ColourCodec codec : {recording::ColourCodec::Raw, recording::ColourCodec::UtVideo,
                                       recording::ColourCodec::Ffv1}) {
    const std::string path = recordtest::temporaryPath("colour.mkv");
    {
      recording::MatroskaWriter writer(path, {track}, codec);
      for (std::size_t i = 0; i < pictures.size(); ++i) {
        writer.write(0, static_cast<std::int64_t>(i) * 66'667, pictures[i].data(),
                     pictures[i].size());
      }
      writer.close();
    }
    recording::RecordingReader reader(path);
    recording::RecordedSample sample;
    std::size_t read = 0;
    while (reader.next(&sample)) {
      ASSERT_LT(read, pictures.size());
      EXPECT_TRUE(std::equal(sample.data, sample.data + sample.size, pictures[read].begin(),
                             pictures[read].end()))
          << recording::colourCodecName(codec) << " picture " << read;
      ++read;
    }
    EXPECT_EQ(read, pictures.size()) << recording::colourCodecName(codec);
    std::remove(path.c_str());
  }
}

// Block times count from the file's first sample: players show the recorded span, however long
// the service ran before, and the exact capture times are still what playback gives.
TEST(RecordingTimes, StartAtZeroAndSpanTheRecordingMadeLongAfterTheServiceStarted) {
  Scenario scenario = Scenario::fresh(testing::Topology::OneCamera, true);
  {
    Context idle = Context::create("localhost");
    sdktest::quitAt(scenario, idle, std::chrono::seconds(317));
    idle.run();
  }
  const std::string path = recordtest::temporaryPath("late.mkv");
  const std::vector<Captured> recorded = recordtest::recordSession(path, 2.0);
  ASSERT_FALSE(recorded.empty());
  EXPECT_GE(recorded.front().time, 317'000'000);
  std::int64_t last = 0;
  for (const Captured& sample : recorded) last = std::max(last, sample.time);
  // The simulated camera's defaults: 25 fps pictures, 20 ms audio blocks.
  const double span = static_cast<double>(last - recorded.front().time) / 1e6 + 0.040;
  double start = -1, duration = -1;
  const std::string format =
      run("ffprobe -v error -show_entries format=start_time,duration -of "
          "csv=p=0 '" +
          path + "'");
  ASSERT_EQ(std::sscanf(format.c_str(), "%lf,%lf", &start, &duration), 2) << format;
  EXPECT_EQ(start, 0.0);
  EXPECT_NEAR(duration, span, 0.040) << format;

  Scenario playback = Scenario::fresh(testing::Topology::Empty, true);
  playback.addRecording("replay", path, false);
  Context viewer = Context::create("localhost");
  const std::vector<Captured> played = recordtest::playSession(viewer, recorded.size() + 10);
  ASSERT_EQ(played.size(), recorded.size());
  for (std::size_t i = 0; i < played.size(); ++i) {
    ASSERT_EQ(played[i].time - played[0].time, recorded[i].time - recorded[0].time) << i;
  }
  std::remove(path.c_str());
}

}  // namespace
}  // namespace CamSdk
