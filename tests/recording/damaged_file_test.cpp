// Files that are missing, of another kind, cut short or damaged: the reader says so in one line
// naming the file, or plays what is whole; it never reads past what it was given (the
// sanitizer pass runs these too).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "RecordingTestSupport.h"
#include "camsdk/testing/Scenario.h"
#include "recording/RecordingReader.h"

namespace CamSdk {
namespace {

using recording::ReadError;
using recording::RecordedSample;
using recording::RecordingReader;

struct Read {
  std::size_t track;
  std::int64_t time;
  std::vector<std::uint8_t> bytes;
};

std::vector<Read> readAll(const std::string& path) {
  RecordingReader reader(path);
  std::vector<Read> samples;
  RecordedSample sample;
  while (reader.next(&sample)) {
    samples.push_back(
        {sample.track, sample.timeOfCapture, {sample.data, sample.data + sample.size}});
  }
  return samples;
}

void expectOneLineNaming(const ReadError& error, const std::string& path) {
  const std::string message = error.what();
  EXPECT_EQ(message.rfind(path + ": ", 0), 0u) << message;
  EXPECT_EQ(message.find('\n'), std::string::npos) << message;
}

class DamagedFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    testing::Scenario scenario = testing::Scenario::fresh(testing::Topology::OneCamera, true);
    scenario.setDefaultConfiguration(
        scenario.findNode("depth0"),
        DepthNode::Configuration{FRAME_FORMAT_QQVGA, 25, DepthNode::CameraMode::Close, true});
    scenario.setDefaultConfiguration(
        scenario.findNode("color0"),
        ColorNode::Configuration{FRAME_FORMAT_QQVGA, 25, ColorNode::PowerLineFrequency::Hz50,
                                 ColorNode::Compression::Yuy2});
    path_ = new std::string(recordtest::temporaryPath("whole.mkv"));
    recordtest::recordSession(*path_, 0.5);
  }
  static void TearDownTestSuite() {
    std::remove(path_->c_str());
    delete path_;
  }
  static std::string* path_;
};
std::string* DamagedFiles::path_ = nullptr;

TEST_F(DamagedFiles, FilesThatCannotPlayAreRefusedInOneLine) {
  const std::string missing = recordtest::temporaryPath("missing.mkv");
  const std::string text = recordtest::temporaryPath("text.mkv");
  const std::string empty = recordtest::temporaryPath("empty.mkv");
  const std::string foreign = recordtest::temporaryPath("foreign.mkv");
  std::ofstream(text) << "not a recording\n";
  std::ofstream{empty};
  // Matroska, but a plain sound track with none of a camera's tags.
  ASSERT_EQ(
      std::system(
          ("ffmpeg -v error -y -f lavfi -i sine=d=0.2 -c:a pcm_s16le '" + foreign + "'").c_str()),
      0);
  const std::string folder = std::filesystem::path(missing).parent_path().string();
  for (const std::string& path :
       {missing, text, empty, foreign, folder, std::string("/dev/zero")}) {
    try {
      RecordingReader reader(path);
      ADD_FAILURE() << path << " was accepted";
    } catch (const ReadError& error) {
      expectOneLineNaming(error, path);
    }
  }
  try {
    RecordingReader reader(foreign);
  } catch (const ReadError& error) {
    EXPECT_NE(std::string(error.what()).find("no track this service can play"), std::string::npos);
  }
  EXPECT_THROW(testing::Scenario::fresh(testing::Topology::Empty).addRecording("x", text),
               IOException);
}

TEST_F(DamagedFiles, AFileCutAnywherePlaysUpToTheCutOrIsRefused) {
  const std::vector<Read> whole = readAll(*path_);
  ASSERT_GT(whole.size(), 30u);
  const auto size = static_cast<std::uintmax_t>(std::filesystem::file_size(*path_));
  const std::string cut = recordtest::temporaryPath("cut.mkv");
  std::filesystem::copy_file(*path_, cut, std::filesystem::copy_options::overwrite_existing);
  std::mt19937 random(12);
  std::vector<std::uintmax_t> offsets;
  for (int i = 0; i < 300; ++i) offsets.push_back(random() % size);
  for (std::uintmax_t early = 0; early < 64; early += 7) offsets.push_back(early);
  std::sort(offsets.rbegin(), offsets.rend());  // shortening the copy needs no rewrite
  int refused = 0;
  for (std::uintmax_t offset : offsets) {
    std::filesystem::resize_file(cut, offset);
    try {
      const std::vector<Read> part = readAll(cut);
      std::map<std::size_t, std::size_t> seen;
      std::map<std::size_t, std::vector<const Read*>> wholeByTrack;
      for (const Read& sample : whole) wholeByTrack[sample.track].push_back(&sample);
      for (const Read& sample : part) {
        const std::size_t at = seen[sample.track]++;
        ASSERT_LT(at, wholeByTrack[sample.track].size()) << "cut at " << offset;
        const Read& expected = *wholeByTrack[sample.track][at];
        ASSERT_TRUE(sample.time == expected.time && sample.bytes == expected.bytes)
            << "cut at " << offset << ": sample " << at << " of track " << sample.track;
      }
    } catch (const ReadError& error) {
      expectOneLineNaming(error, cut);
      ++refused;
    }
  }
  EXPECT_GT(refused, 0);  // a cut inside the header leaves nothing to play
  EXPECT_LT(refused, static_cast<int>(offsets.size()));
  std::remove(cut.c_str());
}

TEST_F(DamagedFiles, DamagedBytesGiveOnlySamplesThatFitTheirTrack) {
  const std::vector<Read> whole = readAll(*path_);
  std::ifstream in(*path_, std::ios::binary);
  const std::vector<char> original((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
  const std::string damaged = recordtest::temporaryPath("damaged.mkv");
  std::mt19937 random(34);
  for (int round = 0; round < 100; ++round) {
    std::vector<char> bytes = original;
    for (int flip = 0; flip < 4; ++flip)
      bytes[random() % bytes.size()] ^= static_cast<char>(1 + random() % 255);
    std::ofstream(damaged, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    try {
      RecordingReader reader(damaged);
      RecordedSample sample;
      long count = 0;
      while (reader.next(&sample)) {
        const recording::RecordedTrack& track = reader.tracks().at(sample.track);
        const std::size_t picture = static_cast<std::size_t>(track.width) * track.height * 2;
        if (track.kind() == NodeKind::Audio) {
          ASSERT_EQ(sample.size % (2 * static_cast<std::size_t>(
                                           track.configuration.as<AudioNode>().channels)),
                    0u);
        } else {
          ASSERT_EQ(sample.size, picture);
        }
        ASSERT_LT(++count, 10 * static_cast<long>(whole.size()));
      }
    } catch (const ReadError& error) {
      expectOneLineNaming(error, damaged);
    }
  }
  std::remove(damaged.c_str());
}

}  // namespace
}  // namespace CamSdk
