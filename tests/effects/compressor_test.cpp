#include "effects/compressor.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/effect.h"
#include "support/effect_runner.h"

namespace wavfx {
namespace {

TEST(Compressor, ConstantLevelsCompressThenSettle) {
  struct Case {
    int16_t level;
    int16_t unitGainOutput;       // before the envelope passes the threshold
    std::size_t firstCompressed;  // first frame whose envelope is above the threshold
    int16_t firstOutput;          // 0: not checked
    std::size_t settledFrom;      // 0 when only the tail is checked
    int16_t settled;
  };
  const Case cases[] = {
      {16384, 16384, 307, 16378, 3885, 9777},
      {32767, 32766, 127, 32695, 4357, 11626},
      {-32768, -32767, 127, 0, 0, -11626},
  };
  for (const Case& c : cases) {
    const auto output =
        testing::RunEffect("compressor", 1, 44100, testing::Constant(c.level, 8000));
    for (std::size_t f = 0; f < c.firstCompressed; ++f) {
      ASSERT_EQ(output[f], c.unitGainOutput) << c.level << " frame " << f;
    }
    EXPECT_NE(output[c.firstCompressed], c.unitGainOutput) << c.level;
    if (c.firstOutput != 0) {
      EXPECT_EQ(output[c.firstCompressed], c.firstOutput) << c.level;
    }
    // The attenuation only deepens while the envelope rises.
    for (std::size_t f = c.firstCompressed + 1; f < output.size(); ++f) {
      ASSERT_LE(std::abs(output[f]), std::abs(output[f - 1])) << c.level << " frame " << f;
    }
    if (c.settledFrom != 0) {
      EXPECT_NE(output[c.settledFrom - 1], c.settled) << c.level;
    }
    for (std::size_t f = c.settledFrom != 0 ? c.settledFrom : 7000; f < output.size(); ++f) {
      ASSERT_EQ(output[f], c.settled) << c.level << " frame " << f;
    }
  }
}

TEST(Compressor, LouderChannelDrivesOneGain) {
  const auto mono = testing::RunEffect("compressor", 1, 44100, testing::Constant(16384, 5000));
  for (uint32_t loud : {0u, 1u}) {
    std::vector<int16_t> stereo(2 * 5000);
    for (std::size_t f = 0; f < 5000; ++f) {
      stereo[2 * f + loud] = 16384;
      stereo[2 * f + 1 - loud] = 0;
    }
    auto output = testing::RunEffect("compressor", 2, 44100, stereo);
    EXPECT_EQ(testing::Channel(output, 2, loud), mono);
    EXPECT_EQ(testing::Channel(output, 2, 1 - loud), std::vector<int16_t>(5000, 0));

    // A quieter second channel is scaled by the louder one's gain: half as loud throughout.
    for (std::size_t f = 0; f < 5000; ++f)
      stereo[2 * f + 1 - loud] = 8192;
    output = testing::RunEffect("compressor", 2, 44100, stereo);
    EXPECT_EQ(testing::Channel(output, 2, loud), mono);
    const auto quiet = testing::Channel(output, 2, 1 - loud);
    EXPECT_EQ(quiet[306], 8192);
    EXPECT_EQ(quiet[4999], 4888);  // 8192 * 0.59672844
  }
}

TEST(Compressor, UnitGainStillConvertsEverySample) {
  struct Case {
    int16_t in;
    int16_t out;
  };
  const Case cases[] = {{32767, 32766}, {16385, 16384}, {-32768, -32767}, {-16384, -16383},
                        {16384, 16384}, {1, 1},         {0, 0},           {-1, -1}};
  for (const Case& c : cases) {
    // A single frame: the envelope starts at 0 and stays far below the threshold.
    const auto output = testing::RunEffect("compress", 1, 44100, {c.in});
    EXPECT_EQ(output[0], c.out) << c.in;
  }
}

TEST(Compressor, CoefficientsAtCommonRates) {
  struct Case {
    uint32_t rate;
    float attack;
    float release;
  };
  const Case cases[] = {{8000, 0.98757780f, 0.99875081f},
                        {22050, 0.99547511f, 0.99954659f},
                        {44100, 0.99773502f, 0.99977326f},
                        {48000, 0.99791884f, 0.99979168f}};
  for (const Case& c : cases) {
    EffectState state{};
    InitEffect(state, "compressor", 2, c.rate);
    EXPECT_EQ(StateOf<CompressorState>(state).attackCoeff, c.attack) << c.rate;
    EXPECT_EQ(StateOf<CompressorState>(state).releaseCoeff, c.release) << c.rate;
    EXPECT_EQ(StateOf<CompressorState>(state).threshold, 0.25118863582611084f);
    EXPECT_EQ(StateOf<CompressorState>(state).ratio, 4.0f);
    EXPECT_EQ(StateOf<CompressorState>(state).envelope, 0.0f);
    EXPECT_EQ(StateOf<CompressorState>(state).channels, 2u);
    ReleaseEffect(state);
  }
}

TEST(Compressor, PeakEqualToEnvelopeReleases) {
  // An attack coefficient this large would collapse the envelope to 0; the release keeps it.
  CompressorState state{};
  InitCompressor(state, 44100, -12.0f, 4.0f, 10.0f, 100.0f, 1);
  state.attackCoeff = 1e30f;
  state.releaseCoeff = 0.5f;
  state.envelope = 0.125f;
  float sample = -0.125f;
  ProcessCompressor(state, &sample, 1);
  EXPECT_EQ(state.envelope, 0.125f);
  EXPECT_EQ(sample, -0.125f);
}

TEST(Compressor, EnvelopeAtThresholdKeepsUnitGain) {
  CompressorState state{};
  InitCompressor(state, 44100, -12.0f, 4.0f, 10.0f, 100.0f, 1);
  state.threshold = 0.25f;
  state.envelope = 0.25f;
  float sample = 0.25f;
  ProcessCompressor(state, &sample, 1);
  EXPECT_EQ(state.envelope, 0.25f);
  EXPECT_EQ(sample, 0.25f);
}

TEST(Compressor, ZeroRateMakesTheEnvelopeFollowEachPeak) {
  EffectState state{};
  InitEffect(state, "compressor", 1, 0);
  EXPECT_EQ(StateOf<CompressorState>(state).attackCoeff, 0.0f);
  EXPECT_EQ(StateOf<CompressorState>(state).releaseCoeff, 0.0f);
  std::vector<int16_t> samples = {16384, 16384, 0, 32767};
  ProcessEffect(state, samples.data(), 4);
  // Full compression from the first frame on, nothing held over a silent frame. The envelope is
  // exactly 0.5 here; at 44100 Hz its rounding stalls it a little lower, which gives 9777.
  EXPECT_EQ(samples, (std::vector<int16_t>{9776, 9776, 0, 11626}));
  EXPECT_EQ(StateOf<CompressorState>(state).envelope, 32767.0f / 32768.0f);
  ReleaseEffect(state);
}

TEST(Compressor, ZeroChannelsTouchNothingAndDecay) {
  CompressorState state{};
  InitCompressor(state, 44100, -12.0f, 4.0f, 10.0f, 100.0f, 0);
  state.envelope = 0.5f;
  float untouched = 0.5f;
  ProcessCompressor(state, &untouched, 100);
  EXPECT_EQ(untouched, 0.5f);
  EXPECT_LT(state.envelope, 0.5f);
  EXPECT_GT(state.envelope, 0.0f);
}

TEST(Compressor, NegativeRatesStayDefined) {
  // Rates of 2^31 and up arrive negative: the coefficients leave [0, 1] (one is infinite).
  for (uint32_t rate : {0x80000000u, 0xFFFFFFFFu, 0xFFFFFF00u}) {
    for (uint32_t channels : {1u, 2u}) {
      auto input = testing::Constant(20000, 600, channels);
      for (std::size_t i = 0; i < input.size(); i += 7)
        input[i] = -32768;
      const auto output = testing::RunEffect("compressor", channels, rate, input, 64);
      EXPECT_EQ(output.size(), input.size());
    }
  }
}

}  // namespace
}  // namespace wavfx
