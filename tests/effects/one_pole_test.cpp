#include "effects/one_pole.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "support/effect_runner.h"

namespace wavfx {
namespace {

using testing::Channel;
using testing::Constant;
using testing::Impulse;
using testing::RunEffect;

TEST(OnePole, CoefficientsAtCommonRates) {
  struct Case {
    uint32_t rate;
    float lowpass;
    float highpass;
  };
  const Case cases[] = {
      {8000, 0.0947802216f, 0.790081263f}, {11025, 0.180918202f, 0.842845976f},
      {16000, 0.307863981f, 0.888865173f}, {22050, 0.425344795f, 0.918066442f},
      {32000, 0.554854929f, 0.942796469f}, {44100, 0.652184665f, 0.958157837f},
      {48000, 0.675231934f, 0.961491168f},
  };
  for (const Case& c : cases) {
    OnePoleState state{};
    InitOnePole(state, c.rate, 3000.0f, 1);
    EXPECT_EQ(state.coefficient, c.lowpass) << c.rate;
    InitOnePole(state, c.rate, 300.0f, 1);
    EXPECT_EQ(state.coefficient, c.highpass) << c.rate;
  }
}

TEST(OnePole, CutoffIsLimitedTo045OfTheRateAfterTheTenHertzFloor) {
  // Whenever the upper limit applies the pole is exp(-0.9 pi); at 22 Hz it must win over the
  // 10 Hz floor (9.9 Hz), which would otherwise give exp(-2 pi 10 / 22) = 0.0574.
  struct Case {
    uint32_t rate;
    float cutoff;
  };
  const Case cases[] = {{6000, 3000.0f}, {666, 300.0f}, {100, 300.0f},
                        {22, 3000.0f},   {22, 5.0f},    {4, 300.0f}};
  for (const Case& c : cases) {
    OnePoleState state{};
    InitOnePole(state, c.rate, c.cutoff, 1);
    EXPECT_NEAR(state.coefficient, 0.0591645, 1e-6) << c.rate << " Hz, cutoff " << c.cutoff;
  }
  OnePoleState state{};
  InitOnePole(state, 6000, 3000.0f, 1);
  EXPECT_EQ(state.coefficient, 0.0591645129f);
}

TEST(OnePole, FirstOutputsMatchReference) {
  struct Case {
    const char* name;
    std::vector<int16_t> input;
    std::vector<int16_t> expected;
  };
  const Case cases[] = {
      {"lowpass", {32767, 0, 0, 0, 0}, {11397, 7433, 4847, 3161, 2062}},
      {"lowpass", Constant(32767, 3), {11397, 18829, 23677}},
      {"lowpass", Constant(-32768, 3), {-11397, -18830, -23677}},
      {"highpass", Constant(16384, 5), {15698, 15041, 14412, 13809, 13231}},
      // The step back up overshoots full scale and is clipped.
      {"highpass",
       {-32768, -32768, -32768, 32767, 32767, 32767},
       {-31396, -30082, -28824, 32767, 32767, 32292}},
      {"lowpass", Constant(0, 50), Constant(0, 50)},
      {"highpass", Constant(0, 50), Constant(0, 50)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RunEffect(c.name, 1, 44100, c.input), c.expected) << c.name << " " << c.input[0];
  }
}

TEST(OnePole, LowpassSettlesAtTheConversionRoundTrip) {
  struct Case {
    int16_t input;
    int16_t settled;
  };
  const Case cases[] = {{32767, 32766}, {-32768, -32767}, {16384, 16383}, {100, 100}};
  for (const Case& c : cases) {
    EXPECT_EQ(RunEffect("lowpass", 1, 44100, Constant(c.input, 400)).back(), c.settled) << c.input;
  }
}

TEST(OnePole, HighpassDecaysTowardsZero) {
  const auto output = RunEffect("highpass", 1, 44100, Constant(16384, 3000));
  for (std::size_t i = 1; i < output.size(); ++i)
    ASSERT_LE(output[i], output[i - 1]) << i;
  EXPECT_LT(output.back(), 50);
}

TEST(OnePole, ChannelsBeyondTheFirstShareOneMemory) {
  struct Case {
    uint32_t channels;
    uint32_t impulseChannel;
    std::vector<std::vector<int16_t>> expected;  // per channel, first three frames
  };
  const Case cases[] = {
      {3, 1, {{0, 0, 0}, {11397, 4847, 2062}, {7433, 3161, 1345}}},
      {3, 0, {{11397, 7433, 4847}, {0, 0, 0}, {0, 0, 0}}},
      // Stereo channels are independent.
      {2, 1, {{0, 0, 0}, {11397, 7433, 4847}}},
      {2, 0, {{11397, 7433, 4847}, {0, 0, 0}}},
  };
  for (const Case& c : cases) {
    const auto output =
        RunEffect("lowpass", c.channels, 44100, Impulse(32767, 3, c.channels, c.impulseChannel));
    for (uint32_t channel = 0; channel < c.channels; ++channel) {
      EXPECT_EQ(Channel(output, c.channels, channel), c.expected[channel])
          << c.channels << " channels, impulse on " << c.impulseChannel << ", channel " << channel;
    }
  }
}

TEST(OnePole, EmptyOrNegativeBlocksChangeNothing) {
  OnePoleState state{};
  InitOnePole(state, 44100, 3000.0f, 2);
  std::vector<float> block = {1.0f, -1.0f, 0.03f, 0.06f};
  ProcessLowpass(state, block.data(), 2);
  const OnePoleState before = state;
  const auto processed = block;
  for (int32_t frames : {0, -1, -1000}) {
    ProcessLowpass(state, block.data(), frames);
    ProcessHighpass(state, block.data(), frames);
  }
  EXPECT_EQ(block, processed);
  EXPECT_EQ(state.memory0, before.memory0);
  EXPECT_EQ(state.memory1, before.memory1);
}

TEST(OnePole, ZeroRateDoesNotTrap) {
  for (const char* name : {"lowpass", "highpass"}) {
    const auto output = RunEffect(name, 3, 0, Constant(20000, 10, 3));
    EXPECT_EQ(output.size(), 30u);
  }
}

}  // namespace
}  // namespace wavfx
