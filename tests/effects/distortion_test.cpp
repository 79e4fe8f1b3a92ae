#include "effects/distortion.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <vector>

#include "support/effect_runner.h"

namespace wavfx {
namespace {

using testing::RunEffect;

std::vector<int16_t> EverySample() {
  std::vector<int16_t> samples;
  for (int s = -32768; s <= 32767; ++s)
    samples.push_back(static_cast<int16_t>(s));
  return samples;
}

TEST(Distortion, SoftClipUsesTheThirdJustBelowOneThird) {
  // With the nearest float to 1/3 (0x3EAAAAAB) the end points would be 0x3F2AAAAA.
  EXPECT_EQ(std::bit_cast<uint32_t>(SoftClip(1.0f)), 0x3F2AAAABu);
  EXPECT_EQ(std::bit_cast<uint32_t>(SoftClip(-1.0f)), 0xBF2AAAABu);
  EXPECT_EQ(SoftClip(0.0f), 0.0f);
  EXPECT_EQ(SoftClip(0.5f), 0.5f - 0.125f * std::bit_cast<float>(0x3EAAAAAAu));
}

TEST(Distortion, MapsSamples) {
  struct Case {
    int16_t input;
    int16_t output;
  };
  const Case cases[] = {{0, 0},           {1, 2},         {-1, -2},        {1000, 1747},
                        {4096, 6934},     {8192, 12469},  {16384, 15291},  {32767, 15291},
                        {-32768, -15291}, {13031, 15290}, {-13031, -15290}};
  for (const Case& c : cases) {
    EXPECT_EQ(RunEffect("distort", 1, 44100, {c.input}), std::vector<int16_t>{c.output}) << c.input;
  }
}

TEST(Distortion, WholeRangeIsMonotonicOddAndFlatFrom13032) {
  const auto input = EverySample();
  const auto output = RunEffect("overdrive", 1, 44100, input);
  for (std::size_t i = 0; i < input.size(); ++i) {
    const int s = input[i];
    if (i > 0) {
      ASSERT_GE(output[i], output[i - 1]) << s;
    }
    if (s >= 13032 || s <= -13032) {
      ASSERT_EQ(output[i], s > 0 ? 15291 : -15291) << s;
    }
    if (s > -32768) {
      ASSERT_EQ(output[i], -output[input.size() - i]) << s;  // the result for -s
    }
  }
}

TEST(Distortion, ChannelsAreIndependent) {
  const std::vector<int16_t> frames = {1000, -1000, 4096, 0, 8192, 32767};
  EXPECT_EQ(RunEffect("distort", 2, 44100, frames),
            (std::vector<int16_t>{1747, -1747, 6934, 0, 12469, 15291}));
  EXPECT_EQ(RunEffect("distort", 3, 44100, frames),
            (std::vector<int16_t>{1747, -1747, 6934, 0, 12469, 15291}));
}

TEST(Distortion, NoChannelsOrNoFramesChangeNothing) {
  DistortionState state{};
  InitDistortion(state, 2.5f, 0, 0.7f);
  float block[2] = {0.25f, 0.5f};
  ProcessDistortion(state, block, 1);
  InitDistortion(state, 2.5f, 2, 0.7f);
  ProcessDistortion(state, block, 0);
  ProcessDistortion(state, block, -1);
  EXPECT_EQ(block[0], 0.25f);
  EXPECT_EQ(block[1], 0.5f);
}

}  // namespace
}  // namespace wavfx
