#include "effects/reverb.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <vector>

#include "dsp/sample_buffer.h"
#include "support/effect_runner.h"
#include "support/failing_allocator.h"

namespace wavfx {
namespace {

using testing::Channel;
using testing::Constant;
using testing::Impulse;
using testing::RunEffect;

using Lengths = std::array<uint32_t, 4>;

Lengths LengthsOf(const DelayLine (&combs)[4]) {
  return {combs[0].length, combs[1].length, combs[2].length, combs[3].length};
}

bool AllEmpty(const ReverbState& state) {
  for (int i = 0; i < 4; ++i) {
    for (const DelayLine* comb : {&state.firstCombs[i], &state.secondCombs[i]}) {
      if (comb->buffer != nullptr || comb->length != 0 || comb->position != 0) return false;
    }
  }
  return true;
}

std::vector<int16_t> Ramp(std::size_t count) {
  std::vector<int16_t> samples(count);
  for (std::size_t i = 0; i < count; ++i) {
    samples[i] = static_cast<int16_t>(static_cast<int32_t>(i * 7919 % 65536) - 32768);
  }
  return samples;
}

// The engine's reverb.
void InitDefaultReverb(ReverbState& state, int32_t rate, uint32_t channels) {
  InitReverb(state, rate, channels, 0.42f, 0.7f, 1.0, 1.0f);
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
  EXPECT_EQ(comb.buffer, nullptr);
  EXPECT_EQ(comb.length, 0u);
  EXPECT_EQ(comb.position, 0u);
  ReleaseDelayLine(comb);
  float value = 0.25f;
  RunComb(comb, &value, 1, 0.9f);
  EXPECT_EQ(value, 0.25f);  // an empty comb passes its input
}

TEST(Comb, FailedAllocationLeavesTheCombEmpty) {
  testing::ScopedFailingAllocator allocator(1);
  DelayLine comb{};
  EXPECT_FALSE(InitDelayLine(comb, 100));
  EXPECT_EQ(comb.buffer, nullptr);
  EXPECT_EQ(comb.length, 0u);
  float value = -0.5f;
  RunComb(comb, &value, 1, 0.77f);
  EXPECT_EQ(value, -0.5f);
}

TEST(Reverb, CombLengthsAtCommonRates) {
  struct Case {
    int32_t rate;
    Lengths first;
  };
  const Case cases[] = {{8000, {270, 314, 362, 419}},
                        {11025, {373, 433, 499, 577}},
                        {22050, {746, 866, 999, 1155}},
                        {44100, {1493, 1733, 1999, 2311}},
                        {48000, {1625, 1886, 2175, 2515}}};
  for (const Case& c : cases) {
    for (uint32_t channels : {1u, 2u, 3u}) {
      ReverbState state{};
      InitDefaultReverb(state, c.rate, channels);
      EXPECT_EQ(LengthsOf(state.firstCombs), c.first) << c.rate;
      // Only stereo gets the second set, with the same delays rotated by one.
      const Lengths second = channels == 2 ? Lengths{c.first[1], c.first[2], c.first[3], c.first[0]}
                                           : Lengths{0, 0, 0, 0};
      EXPECT_EQ(LengthsOf(state.secondCombs), second) << c.rate << " Hz, " << channels;
      for (int i = 0; i < 4; ++i)
        EXPECT_EQ(state.secondCombs[i].buffer != nullptr, channels == 2);
      ReleaseReverb(state);
    }
  }
}

TEST(Reverb, LowAndNegativeRatesGiveCombsOfAtLeastOne) {
  struct Case {
    int32_t rate;
    Lengths first;
  };
  const Case cases[] = {{0, {1, 1, 1, 1}},  {1, {1, 1, 1, 1}},
                        {19, {1, 1, 1, 1}}, {38, {1, 1, 1, 1}},
                        {39, {1, 1, 1, 2}}, {static_cast<int32_t>(0x80000000u), {1, 1, 1, 1}},
                        {-1, {1, 1, 1, 1}}};
  for (const Case& c : cases) {
    ReverbState state{};
    InitDefaultReverb(state, c.rate, 2);
    EXPECT_EQ(LengthsOf(state.firstCombs), c.first) << c.rate;
    ReleaseReverb(state);
  }
  // Four one-sample combs in series: the wet impulse arrives four frames late.
  EXPECT_EQ(RunEffect("reverb", 1, 0, Impulse(16384, 5)),
            (std::vector<int16_t>{11468, 0, 0, 0, 6881}));
}

TEST(Reverb, MonoImpulseArrivesAfterTheWholeChain) {
  const auto out = RunEffect("reverb", 1, 44100, Impulse(16384, 7600));
  EXPECT_EQ(out[0], 11468);
  for (std::size_t i = 1; i < 7536; ++i)
    ASSERT_EQ(out[i], 0) << i;
  EXPECT_EQ(out[7536], 6881);  // 0.42 * 0.5
}

TEST(Reverb, DryOnlyUntilTheOnset) {
  const auto out = RunEffect("reverb", 1, 44100, Constant(1000, 7537));
  for (std::size_t i = 0; i < 7536; ++i)
    ASSERT_EQ(out[i], 700) << i;
  EXPECT_GT(out[7536], 700);
}

TEST(Reverb, ConstantSettlesAtTheChainGain) {
  struct Case {
    int16_t input;
    int16_t settled;
  };
  const Case cases[] = {{300, 25293}, {390, 32767}};
  for (const Case& c : cases) {
    EXPECT_EQ(RunEffect("reverb", 1, 44100, Constant(c.input, 441000), 2048).back(), c.settled);
  }
}

TEST(Reverb, StereoChannelsReverberateDifferently) {
  const std::size_t frames = 12000;
  const auto out = RunEffect("reverb", 2, 44100, Constant(16384, frames, 2));
  const auto left = Channel(out, 2, 0);
  const auto right = Channel(out, 2, 1);
  EXPECT_EQ(left, RunEffect("reverb", 1, 44100, Constant(16384, frames)));
  for (std::size_t i = 0; i <= 7536; ++i)
    ASSERT_EQ(left[i], right[i]) << i;
  std::size_t firstDifference = 7537;
  while (firstDifference < frames && left[firstDifference] == right[firstDifference]) {
    ++firstDifference;
  }
  EXPECT_EQ(firstDifference, 7536u + 1493u);  // the shortest delay recirculates first
}

TEST(Reverb, ChannelsBeyondStereoAreOnlyRescaled) {
  struct Case {
    int16_t input;
    int16_t expected;
  };
  const Case cases[] = {{16384, 18350}, {1000, 1120}, {32767, 32767}, {-32768, -32768}, {0, 0}};
  const std::size_t frames = 8000;
  for (const Case& c : cases) {
    auto input = Ramp(frames * 3);
    for (std::size_t i = 0; i < input.size(); i += 3) {
      input[i + 1] = c.input;
      input[i + 2] = c.input;
    }
    const auto out = RunEffect("reverb", 3, 44100, input);
    EXPECT_EQ(Channel(out, 3, 0), RunEffect("reverb", 1, 44100, Channel(input, 3, 0)));
    for (uint32_t channel : {1u, 2u}) {
      EXPECT_EQ(Channel(out, 3, channel), std::vector<int16_t>(frames, c.expected)) << c.input;
    }
  }
}

TEST(Reverb, ReleaseEmptiesEveryCombOnce) {
  for (uint32_t channels : {0u, 1u, 2u, 3u}) {
    ReverbState state{};
    InitDefaultReverb(state, 44100, channels);
    EXPECT_NE(state.firstCombs[0].buffer, nullptr);
    ReleaseReverb(state);
    EXPECT_TRUE(AllEmpty(state)) << channels;
    ReleaseReverb(state);  // a double free would abort under the address sanitizer
  }
  ReverbState neverInitialised{};
  ReleaseReverb(neverInitialised);
}

TEST(Reverb, FailedAllocationPassesAudioThroughUnchanged) {
  struct Case {
    uint32_t channels;
    int failOn;
  };
  // Each allocation of the chain may fail, the first or one after others succeeded.
  const Case cases[] = {{1, 1}, {1, 4}, {2, 1}, {2, 3}, {2, 5}, {2, 8}, {3, 2}};
  for (const Case& c : cases) {
    std::vector<float> input(c.channels * 600);
    for (std::size_t i = 0; i < input.size(); ++i)
      input[i] = static_cast<float>(i % 7) - 3.0f;
    auto samples = input;
    {
      testing::ScopedFailingAllocator allocator(c.failOn);
      ReverbState state{};
      InitDefaultReverb(state, 44100, c.channels);
      EXPECT_TRUE(AllEmpty(state)) << c.channels << " channels, failing " << c.failOn;
      ProcessReverb(state, samples.data(), 600);
      ReleaseReverb(state);
      ReleaseReverb(state);
    }
    EXPECT_EQ(samples, input) << c.channels << " channels, failing " << c.failOn;
  }
}

}  // namespace
}  // namespace wavfx
