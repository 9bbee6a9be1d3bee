// The simulated camera's pictures and sound are what every screenshot and stream test compares
// against, so they must be exactly reproducible, must really move, must keep the still band's
// promised colours, and must never write outside the buffer they are given, whatever its size.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>
#include <vector>

#include "camsdk/testing/Scenario.h"
#include "scene/SceneGeometry.h"
#include "scene/Scenes.h"

namespace CamSdk {
namespace {

using testing::Scenario;

std::vector<FrameFormat> knownFormats() {
  std::vector<FrameFormat> formats;
  for (int code = 1; code <= 11; ++code) formats.push_back(static_cast<FrameFormat>(code));
  return formats;
}

detail::SceneSize sizeOf(FrameFormat format) { return detail::sceneSize(format); }

// The viewer's conversion of one pixel, written out independently of the program's code.
struct Bgr {
  int b, g, r;
};
Bgr convert(int y, int u, int v) {
  const auto clamp = [](double x) { return std::clamp(static_cast<int>(x), 0, 255); };
  const double luma = 1.164 * (y - 16);
  return {clamp(luma + 1.567 * (u - 128)), clamp(luma - 0.798 * (u - 128) - 0.384 * (v - 128)),
          clamp(luma + 1.98 * (v - 128))};
}

TEST(ColorScene, StillBandHoldsTheAdvertisedLumaAndChromaInEveryFrame) {
  const auto blocks = Scenario::stillBand();
  ASSERT_EQ(blocks.size(), 4u);
  EXPECT_EQ(blocks.front().firstColumn, 0);
  EXPECT_EQ(blocks.back().lastColumn, 639);
  for (std::size_t i = 1; i < blocks.size(); ++i) {
    EXPECT_EQ(blocks[i].firstColumn, blocks[i - 1].lastColumn + 1);
  }
  ASSERT_GT(Scenario::stillBandRows(), 0);

  for (std::int64_t sample : {0, 1, 7, 1000, -3}) {
    const auto frame = Scenario::colorScene(FRAME_FORMAT_VGA, sample);
    ASSERT_EQ(frame.size(), 614400u);
    for (int row = 0; row < Scenario::stillBandRows(); ++row) {
      for (const auto& block : blocks) {
        for (int x = block.firstColumn; x <= block.lastColumn; x += 2) {
          const std::size_t at = static_cast<std::size_t>(row) * 1280 + x * 2;
          const std::vector<std::uint8_t> group(frame.begin() + at, frame.begin() + at + 4);
          ASSERT_EQ(group, (std::vector<std::uint8_t>{block.y, block.u, block.y, block.v}))
              << "sample " << sample << " row " << row << " column " << x;
        }
      }
    }
  }
}

TEST(ColorScene, StillBandColoursAreUnclampedAndFarApartAfterConversion) {
  std::vector<Bgr> colours;
  for (const auto& block : Scenario::stillBand())
    colours.push_back(convert(block.y, block.u, block.v));
  for (const Bgr& c : colours) {
    for (int channel : {c.b, c.g, c.r}) {
      EXPECT_GT(channel, 0);
      EXPECT_LT(channel, 255);
    }
  }
  for (std::size_t i = 0; i < colours.size(); ++i) {
    for (std::size_t j = i + 1; j < colours.size(); ++j) {
      const int distance = std::abs(colours[i].b - colours[j].b) +
                           std::abs(colours[i].g - colours[j].g) +
                           std::abs(colours[i].r - colours[j].r);
      EXPECT_GT(distance, 150) << "blocks " << i << " and " << j;
    }
  }
}

TEST(ColorScene, SameSampleSameBytesAndNearbySamplesClearlyDiffer) {
  const auto first = Scenario::colorScene(FRAME_FORMAT_VGA, 42);
  EXPECT_EQ(first, Scenario::colorScene(FRAME_FORMAT_VGA, 42));

  const auto later = Scenario::colorScene(FRAME_FORMAT_VGA, 45);
  const std::size_t bandBytes = static_cast<std::size_t>(Scenario::stillBandRows()) * 1280;
  std::size_t changed = 0;
  for (std::size_t i = bandBytes; i < first.size(); ++i) changed += first[i] != later[i];
  EXPECT_GT(changed, (first.size() - bandBytes) / 10);
}

TEST(ColorScene, BrightBoxSitsWhereTheGeometrySaysAndMoves) {
  const detail::SceneSize size = sizeOf(FRAME_FORMAT_VGA);
  const auto g0 = detail::colorGeometry(size, 10);
  const auto g1 = detail::colorGeometry(size, 13);
  EXPECT_NE(g0.boxLeft, g1.boxLeft);
  for (std::int64_t sample : {10, 13}) {
    const auto g = detail::colorGeometry(size, sample);
    const auto frame = Scenario::colorScene(FRAME_FORMAT_VGA, sample);
    const int row = g.boxTop + g.boxHeight / 2;
    const auto lumaAt = [&](int x) { return frame[static_cast<std::size_t>(row) * 1280 + x * 2]; };
    EXPECT_EQ(lumaAt(g.boxLeft), 235);
    EXPECT_EQ(lumaAt(g.boxLeft + g.boxWidth - 1), 235);
    if (g.boxLeft > 0) {
      EXPECT_NE(lumaAt(g.boxLeft - 1), 235);
    }
    if (g.boxLeft + g.boxWidth < size.width) {
      EXPECT_NE(lumaAt(g.boxLeft + g.boxWidth), 235);
    }
  }
}

// Every size in the format table, and buffers shorter or longer than the picture: what fits is
// the picture's prefix, the rest is zero, and nothing beyond the buffer is touched.
TEST(Scenes, RenderersFillWhatFitsAndNeverWriteOutsideTheBuffer) {
  constexpr std::uint8_t kGuard = 0xA5;
  constexpr std::size_t kGuardBytes = 64;
  for (FrameFormat format : knownFormats()) {
    const detail::SceneSize size = sizeOf(format);
    const std::size_t pixels = static_cast<std::size_t>(size.width) * size.height;
    const auto colour = Scenario::colorScene(format, 5);
    const auto depth = Scenario::depthScene(format, 5);
    ASSERT_EQ(colour.size(), pixels * 2) << format;
    ASSERT_EQ(depth.size(), pixels) << format;

    for (std::size_t bytes : {std::size_t{0}, std::size_t{3}, pixels, pixels * 2 + 10}) {
      std::vector<std::uint8_t> buffer(bytes + kGuardBytes, kGuard);
      detail::renderColorScene(format, 5, buffer.data(), bytes);
      const std::size_t fit = std::min(bytes, colour.size());
      EXPECT_TRUE(std::equal(colour.begin(), colour.begin() + fit, buffer.begin()));
      EXPECT_TRUE(std::all_of(buffer.begin() + fit, buffer.begin() + bytes,
                              [](std::uint8_t b) { return b == 0; }));
      EXPECT_TRUE(std::all_of(buffer.begin() + bytes, buffer.end(),
                              [](std::uint8_t b) { return b == kGuard; }))
          << "colour format " << format << " bytes " << bytes;
    }
    for (std::size_t count : {std::size_t{0}, std::size_t{5}, pixels / 2, pixels + 7}) {
      std::vector<short> buffer(count + kGuardBytes, short{-7});
      detail::renderDepthScene(format, 5, buffer.data(), count);
      const std::size_t fit = std::min(count, depth.size());
      EXPECT_TRUE(std::equal(depth.begin(), depth.begin() + fit, buffer.begin()));
      EXPECT_TRUE(std::all_of(buffer.begin() + fit, buffer.begin() + count,
                              [](short v) { return v == 0; }));
      EXPECT_TRUE(
          std::all_of(buffer.begin() + count, buffer.end(), [](short v) { return v == -7; }))
          << "depth format " << format << " count " << count;
    }
  }
}

TEST(Scenes, UnknownFormatGivesEmptyFramesAndZeroedBuffers) {
  EXPECT_TRUE(Scenario::colorScene(FRAME_FORMAT_UNKNOWN, 0).empty());
  EXPECT_TRUE(Scenario::depthScene(static_cast<FrameFormat>(99), 0).empty());
  std::vector<std::uint8_t> bytes(100, 0xFF);
  detail::renderColorScene(FRAME_FORMAT_UNKNOWN, 0, bytes.data(), bytes.size());
  EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST(DepthScene, HasWallNearObjectMovingObjectAndPixelsWithoutData) {
  const detail::SceneSize size = sizeOf(FRAME_FORMAT_QVGA);
  const auto frame = Scenario::depthScene(FRAME_FORMAT_QVGA, 20);
  const auto g = detail::depthGeometry(size, 20);
  const auto at = [&](int x, int y) { return frame[static_cast<std::size_t>(y) * size.width + x]; };

  EXPECT_EQ(at(0, 0), 0);  // border
  EXPECT_EQ(at(size.width - 1, size.height / 2), 0);
  EXPECT_EQ(at((g.hole.left + g.hole.right) / 2, (g.hole.top + g.hole.bottom) / 2), 0);
  EXPECT_EQ(at(g.nearObject.left, g.nearObject.top), detail::kNearDepth);
  EXPECT_EQ(at(g.movingObject.left, g.movingObject.top), detail::kMovingDepth);
  EXPECT_EQ(at(size.width / 2, g.border), detail::kWallDepth);
  EXPECT_LT(at(size.width / 2, size.height - g.border - 1), detail::kWallDepth);  // floor

  std::set<short> values(frame.begin(), frame.end());
  EXPECT_GE(*values.begin(), 0);
  EXPECT_LE(*values.rbegin(), detail::kWallDepth);

  const auto later = Scenario::depthScene(FRAME_FORMAT_QVGA, 24);
  EXPECT_NE(frame, later);
  EXPECT_EQ(frame, Scenario::depthScene(FRAME_FORMAT_QVGA, 20));
}

std::vector<std::int16_t> audio(std::int32_t rate, std::int32_t channels, std::int64_t first,
                                std::size_t values) {
  std::vector<std::int16_t> out(values + 8, std::int16_t{12345});
  detail::renderAudioBlock(rate, channels, first, out.data(), values);
  for (std::size_t i = values; i < out.size(); ++i) EXPECT_EQ(out[i], 12345) << "wrote past end";
  out.resize(values);
  return out;
}

TEST(AudioTone, BlocksJoinWithoutPhaseJumpAndChannelsCarryTheSameWave) {
  const auto whole = audio(44100, 2, 1000, 2 * 1500);
  auto split = audio(44100, 2, 1000, 2 * 441);
  const auto rest = audio(44100, 2, 1441, 2 * 1059);
  split.insert(split.end(), rest.begin(), rest.end());
  EXPECT_EQ(whole, split);
  for (std::size_t i = 0; i < whole.size(); i += 2) ASSERT_EQ(whole[i], whole[i + 1]);

  // Far into a long stream the wave is the same as one second earlier.
  EXPECT_EQ(audio(48000, 1, 48000LL * 3600 + 17, 256), audio(48000, 1, 17, 256));
}

TEST(AudioTone, IsAnAudibleToneOfSteadyPitch) {
  const auto second = audio(16000, 1, 0, 16000);
  const auto loudest = *std::max_element(second.begin(), second.end(),
                                         [](int a, int b) { return std::abs(a) < std::abs(b); });
  EXPECT_GT(std::abs(loudest), 1000);
  int rising = 0;
  for (std::size_t i = 1; i < second.size(); ++i) rising += second[i - 1] < 0 && second[i] >= 0;
  EXPECT_NEAR(rising, 440, 2);
}

TEST(AudioTone, PartialFrameIsFilledAndBadSettingsGiveSilence) {
  const auto partial = audio(8000, 3, 100, 7);  // two frames and one value of a third
  const auto full = audio(8000, 3, 100, 9);
  EXPECT_TRUE(std::equal(partial.begin(), partial.end(), full.begin()));
  for (const auto& silent : {audio(0, 1, 0, 32), audio(8000, 0, 0, 32)}) {
    EXPECT_TRUE(std::all_of(silent.begin(), silent.end(), [](std::int16_t v) { return v == 0; }));
  }
}

}  // namespace
}  // namespace CamSdk
