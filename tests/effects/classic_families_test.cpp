// What single classic families do beyond the shapes they share (classic_effects_test.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <vector>

#include "dsp/delay_line.h"
#include "effects/antique.h"
#include "effects/bitcrusher.h"
#include "effects/compressor.h"
#include "effects/distortion.h"
#include "effects/reverb.h"
#include "engine/effect.h"
#include "support/effect_runner.h"

namespace wavfx {
namespace {

using testing::Channel;
using testing::Constant;
using testing::ProcessSamples;
using testing::RunEffect;
using Samples = std::vector<int16_t>;

Samples EverySample() {
  Samples samples;
  for (int s = -32768; s <= 32767; ++s)
    samples.push_back(static_cast<int16_t>(s));
  return samples;
}

TEST(Tremolo, GainSwingsBetween065And135OverOnePeriod) {
  struct Case {
    int16_t input;
    int16_t lowest;
    int16_t highest;
  };
  // 30000 at the top of the swing exceeds full scale and is clamped.
  const Case cases[] = {{20000, 13000, 26999}, {30000, 19499, 32767}, {-20000, -26999, -13000}};
  for (const Case& c : cases) {
    const Samples output = RunEffect("tremolo", 1, 44100, Constant(c.input, 8900));
    const auto [lowest, highest] = std::minmax_element(output.begin(), output.end());
    EXPECT_EQ(*lowest, c.lowest) << c.input;
    EXPECT_EQ(*highest, c.highest) << c.input;
    EXPECT_NEAR(output[4410], c.input, 2) << c.input;  // unity gain half a period in
  }
}

TEST(Antique, NoiseGeneratorAdvancesOncePerSample) {
  const uint32_t seeds[] = {22222u, 3643240405u, 3855318832u, 1747028175u};
  for (uint32_t channels : {1u, 2u}) {
    EffectState state{};
    InitEffect(state, "antique", channels, 44100);
    float frame[2] = {};
    for (std::size_t i = 0; i < std::size(seeds); i += channels) {
      EXPECT_EQ(StateOf<AntiqueState>(state).noiseSeed, seeds[i]) << channels << " channels, " << i;
      ProcessEffectFloats(state, frame, 1);
    }
    ReleaseEffect(state);
  }
}

// With a pole of 1 the filter holds whatever memory it is given, so the quantiser sees
// v = n * 0.002 + memory + 1. The memory puts the edge between levels 127 (-116) and 128 (116)
// at noise value `threshold`; the output shows on which side each noise value falls.
Samples NoiseAboveThreshold(double threshold, std::size_t count) {
  AntiqueState state{};
  InitAntique(state, 44100, 1, 4000.0f, 0.002f, 8, 0.9f);
  state.coefficient = 1.0f;
  state.memory0 = static_cast<float>(128.0 / 127.5 - 1.0 - threshold * 0.002);
  Samples block(count, 0);
  ProcessSamples(ProcessAntique, state, block.data(), static_cast<int32_t>(count));
  return block;
}

TEST(Antique, FirstNoiseValues) {
  const double noise[] = {0.393032044, 0.590545475, 0.627046764, -0.0177994054};
  for (std::size_t i = 0; i < std::size(noise); ++i) {
    EXPECT_EQ(NoiseAboveThreshold(noise[i] - 1e-3, 4)[i], 116) << "noise value " << i;
    EXPECT_EQ(NoiseAboveThreshold(noise[i] + 1e-3, 4)[i], -116) << "noise value " << i;
  }
}

TEST(Antique, ARampReachesEachOfThe256LevelsOnce) {
  // Levels are 231 or 232 apart and symmetric about zero; the quantiser floors, so 0 is not
  // one of them.
  Samples input = Constant(-32768, 500);
  for (int s = -32768; s <= 32767; s += 3)
    input.push_back(static_cast<int16_t>(s));
  input.insert(input.end(), 500, 32767);
  const Samples output = RunEffect("antique", 1, 8000, input);
  const std::set<int16_t> values(output.begin(), output.end());
  ASSERT_EQ(values.size(), 256u);
  EXPECT_EQ(*values.begin(), -29490);
  EXPECT_EQ(*values.rbegin(), 29490);
  for (int value : {-29259, -29028, -347, -116, 116, 347, 29259})
    EXPECT_EQ(values.count(static_cast<int16_t>(value)), 1u) << value;
  for (auto it = std::next(values.begin()); it != values.end(); ++it) {
    EXPECT_EQ(values.count(static_cast<int16_t>(-*it)), 1u) << *it;
    const int gap = *it - *std::prev(it);
    EXPECT_TRUE(gap == 231 || gap == 232) << *it;
  }
}

// Until the envelope passes the threshold the gain is 1; from there the attenuation only deepens
// while the envelope rises.
TEST(Compressor, ConstantLevelsCompressFromTheirOnset) {
  struct Case {
    int16_t level;
    int16_t unitGain;   // the level through the conversions
    std::size_t onset;  // the first frame whose envelope is above the threshold
    int16_t compressed;
  };
  const Case cases[] = {
      {16384, 16384, 307, 16378}, {32767, 32766, 127, 32695}, {-32768, -32767, 127, -32696}};
  for (const Case& c : cases) {
    const Samples output = RunEffect("compress", 1, 44100, Constant(c.level, 5000));
    for (std::size_t f = 0; f < c.onset; ++f)
      ASSERT_EQ(output[f], c.unitGain) << c.level << " frame " << f;
    EXPECT_EQ(output[c.onset], c.compressed) << c.level;
    for (std::size_t f = c.onset + 1; f < output.size(); ++f)
      ASSERT_LE(std::abs(output[f]), std::abs(output[f - 1])) << c.level << " frame " << f;
  }
}

TEST(Compressor, TheLouderChannelSetsEveryChannelsGain) {
  const Samples mono = RunEffect("compress", 1, 44100, Constant(16384, 5000));
  for (uint32_t loud : {0u, 1u}) {
    Samples stereo(2 * 5000, 8192);
    for (std::size_t f = 0; f < 5000; ++f)
      stereo[2 * f + loud] = 16384;
    const Samples output = RunEffect("compress", 2, 44100, stereo);
    EXPECT_EQ(Channel(output, 2, loud), mono);
    const Samples quiet = Channel(output, 2, 1 - loud);
    EXPECT_EQ(quiet[306], 8192);
    EXPECT_EQ(quiet[4999], 4888);  // 8192 * 0.59672844
  }
}

TEST(Compressor, EnvelopeBoundaries) {
  struct Case {
    float threshold;
    float attack;
    float release;
    float envelope;
    float sample;  // the envelope and the sample stay as they are
  };
  const Case cases[] = {
      // A peak equal to the envelope releases: this attack would collapse the envelope to 0.
      {0.25118863582611084f, 1e30f, 0.5f, 0.125f, -0.125f},
      // An envelope equal to the threshold keeps unit gain.
      {0.25f, 0.99773502f, 0.99977326f, 0.25f, 0.25f},
  };
  for (const Case& c : cases) {
    CompressorState state{};
    InitCompressor(state, 44100, -12.0f, 4.0f, 10.0f, 100.0f, 1);
    state.threshold = c.threshold;
    state.attackCoeff = c.attack;
    state.releaseCoeff = c.release;
    state.envelope = c.envelope;
    float sample = c.sample;
    ProcessCompressor(state, &sample, 1);
    EXPECT_EQ(state.envelope, c.envelope);
    EXPECT_EQ(sample, c.sample);
  }
}

TEST(Compressor, WithoutChannelsTheEnvelopeStillReleases) {
  CompressorState state{};
  InitCompressor(state, 44100, -12.0f, 4.0f, 10.0f, 100.0f, 0);
  state.envelope = 0.5f;
  float untouched = 0.5f;
  ProcessCompressor(state, &untouched, 3);
  EXPECT_EQ(untouched, 0.5f);
  EXPECT_EQ(state.envelope, 0.499659985f);
}

TEST(Comb, DelaysAndFeedsBackItsOwnOutput) {
  DelayLine comb{};
  ASSERT_TRUE(InitDelayLine(comb, 3));
  float values[] = {1.0f, 0.25f, 0, 0, 0, 0, 0, 0, 0, 0};
  const float expected[] = {0, 0, 0, 1.0f, 0.25f, 0, 0.5f, 0.125f, 0, 0.25f};
  // Runs that end inside the buffer, at its end and past it.
  RunComb(comb, values, 2, 0.5f);
  RunComb(comb, values + 2, 1, 0.5f);
  RunComb(comb, values + 3, 7, 0.5f);
  for (std::size_t i = 0; i < std::size(values); ++i)
    EXPECT_EQ(values[i], expected[i]) << i;
  ReleaseDelayLine(comb);
  float value = 0.25f;
  RunComb(comb, &value, 1, 0.9f);
  EXPECT_EQ(value, 0.25f);  // an empty comb passes its input
}

TEST(Reverb, StereoChannelsDifferOnceTheShortestCombRecirculates) {
  const Samples out = RunEffect("reverb", 2, 44100, Constant(16384, 12000, 2));
  const Samples left = Channel(out, 2, 0);
  const Samples right = Channel(out, 2, 1);
  EXPECT_EQ(left, RunEffect("reverb", 1, 44100, Constant(16384, 12000)));
  std::size_t same = 0;
  while (same < left.size() && left[same] == right[same])
    ++same;
  EXPECT_EQ(same, 7536u + 1493u);
}

int16_t Crush(int32_t bits, int16_t sample) {
  BitcrusherState state{};
  InitBitcrusher(state, bits, 1);
  ProcessSamples(ProcessBitcrusher, state, &sample, 1);
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
    for (int s = c.first; s <= c.last; ++s)
      ASSERT_EQ(Crush(8, static_cast<int16_t>(s)), c.output) << s;
  }
  const Samples input = EverySample();
  const Samples output = RunEffect("bitcrusher", 1, 44100, input);
  const std::set<int16_t> values(output.begin(), output.end());
  EXPECT_EQ(values.size(), 256u);
  EXPECT_EQ(*values.begin(), -32767);
  EXPECT_EQ(*values.rbegin(), 32511);
  // Flooring never raises a sample above what the conversions alone give.
  for (std::size_t i = 0; i < input.size(); ++i)
    ASSERT_LE(output[i], FloatToSample(SampleToFloat(input[i]))) << input[i];
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

TEST(Distortion, SoftClipUsesTheThirdJustBelowOneThird) {
  // With the nearest float to 1/3 (0x3EAAAAAB) the end points would be 0x3F2AAAAA.
  EXPECT_EQ(std::bit_cast<uint32_t>(SoftClip(1.0f)), 0x3F2AAAABu);
  EXPECT_EQ(std::bit_cast<uint32_t>(SoftClip(-1.0f)), 0xBF2AAAABu);
  EXPECT_EQ(SoftClip(0.0f), 0.0f);
  EXPECT_EQ(SoftClip(0.5f), 0.5f - 0.125f * std::bit_cast<float>(0x3EAAAAAAu));
}

TEST(Distortion, WholeRangeIsMonotonicOddAndFlatFrom13032) {
  const Samples input = EverySample();
  const Samples output = RunEffect("overdrive", 1, 44100, input);
  for (std::size_t i = 0; i < input.size(); ++i) {
    const int s = input[i];
    ASSERT_GE(output[i], output[i > 0 ? i - 1 : 0]) << s;
    ASSERT_EQ(output[i], std::abs(s) < 13032 ? output[i] : s > 0 ? 15291 : -15291) << s;
    ASSERT_EQ(output[i], s > -32768 ? -output[input.size() - i] : output[i]) << s;  // -s
  }
}

}  // namespace
}  // namespace wavfx
