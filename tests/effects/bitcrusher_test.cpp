#include "effects/bitcrusher.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <set>
#include <vector>

#include "dsp/sample_conversion.h"
#include "support/effect_runner.h"

namespace wavfx {
namespace {

using testing::RunEffect;

int16_t Crush(int32_t bits, int16_t sample) {
  BitcrusherState state{};
  InitBitcrusher(state, bits, 1);
  testing::ProcessSamples(ProcessBitcrusher, state, &sample, 1);
  return sample;
}

TEST(Bitcrusher, EightBitsFloorToSteppedLevels) {
  struct Case {
    int first;
    int last;
    int16_t output;
  };
  const Case cases[] = {
      {0, 255, 0},           {-256, -1, -256},         {256, 511, 256},
      {-512, -257, -512},    {16384, 16384, 16384},    {-16384, -16384, -16383},
      {32512, 32767, 32511}, {-32768, -32513, -32767},
  };
  for (const Case& c : cases) {
    for (int s = c.first; s <= c.last; ++s) {
      ASSERT_EQ(Crush(8, static_cast<int16_t>(s)), c.output) << s;
    }
  }
}

TEST(Bitcrusher, EightBitsGive256DistinctValues) {
  std::vector<int16_t> input;
  for (int s = -32768; s <= 32767; ++s)
    input.push_back(static_cast<int16_t>(s));
  const auto output = RunEffect("bitcrusher", 1, 44100, input);
  const std::set<int16_t> values(output.begin(), output.end());
  EXPECT_EQ(values.size(), 256u);
  EXPECT_EQ(*values.begin(), -32767);
  EXPECT_EQ(*values.rbegin(), 32511);
  // Flooring never raises a sample above what the conversions alone give.
  for (std::size_t i = 0; i < input.size(); ++i) {
    ASSERT_LE(output[i], FloatToSample(SampleToFloat(input[i]))) << input[i];
  }
}

TEST(Bitcrusher, BitDepthIsLimitedToFourToTwelve) {
  struct Case {
    int32_t bits;
    int32_t levels;
    int16_t minusOne;
    int16_t fullScale;
  };
  const Case cases[] = {
      {INT_MIN, 16, -4096, 28671}, {0, 16, -4096, 28671},  {3, 16, -4096, 28671},
      {4, 16, -4096, 28671},       {8, 256, -256, 32511},  {12, 4096, -16, 32751},
      {13, 4096, -16, 32751},      {16, 4096, -16, 32751}, {INT_MAX, 4096, -16, 32751},
  };
  for (const Case& c : cases) {
    BitcrusherState state{};
    InitBitcrusher(state, c.bits, 1);
    EXPECT_EQ(state.levels, c.levels) << c.bits;
    EXPECT_EQ(Crush(c.bits, -1), c.minusOne) << c.bits;
    EXPECT_EQ(Crush(c.bits, 32767), c.fullScale) << c.bits;
  }
}

TEST(Bitcrusher, ChannelsAreIndependent) {
  const std::vector<int16_t> frames = {100, -100, 300, 16384, -16384, 32767};
  const std::vector<int16_t> expected = {0, -256, 256, 16384, -16383, 32511};
  for (uint32_t channels : {1u, 2u, 3u}) {
    EXPECT_EQ(RunEffect("bitcrush", channels, 44100, frames), expected) << channels;
  }
}

TEST(Bitcrusher, NoChannelsOrNoFramesChangeNothing) {
  BitcrusherState state{};
  InitBitcrusher(state, 8, 0);
  float block[2] = {-0.25f, 0.5f};
  ProcessBitcrusher(state, block, 1);
  InitBitcrusher(state, 8, 2);
  ProcessBitcrusher(state, block, 0);
  ProcessBitcrusher(state, block, -1);
  EXPECT_EQ(block[0], -0.25f);
  EXPECT_EQ(block[1], 0.5f);
}

}  // namespace
}  // namespace wavfx
