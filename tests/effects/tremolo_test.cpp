#include "effects/tremolo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "support/effect_runner.h"

namespace wavfx {
namespace {

using testing::Channel;
using testing::Constant;
using testing::RunEffect;

constexpr float kTwoPi = 6.2831855f;

TEST(Tremolo, PhaseIncrementAtCommonRates) {
  struct Case {
    int32_t rate;
    float increment;
  };
  const Case cases[] = {{8000, 0.003926991019397974f},
                        {22050, 0.0014247585786506534f},
                        {44100, 0.0007123792893253267f},
                        {48000, 0.0006544984644278884f}};
  for (const Case& c : cases) {
    TremoloState state{};
    InitTremolo(state, c.rate, 5.0f, 0.7f, 2);
    EXPECT_EQ(state.oscillator.increment, c.increment) << c.rate;
    EXPECT_EQ(state.oscillator.phase, 0.0f);
  }
}

TEST(Tremolo, FirstFrameHasUnityGain) {
  // 0.65 + 0.35 rounds to exactly 1, so the first frame only goes through the conversions.
  struct Case {
    int16_t input;
    int16_t output;
  };
  const Case cases[] = {{0, 0},         {1000, 1000},     {-1000, -1000},  {16384, 16384},
                        {32767, 32766}, {-32768, -32767}, {-16384, -16383}};
  for (const Case& c : cases) {
    EXPECT_EQ(RunEffect("tremolo", 1, 44100, {c.input}), std::vector<int16_t>{c.output}) << c.input;
  }
}

TEST(Tremolo, FirstFramesOfAConstant) {
  const auto output = RunEffect("tremolo", 1, 44100, Constant(16384, 3));
  EXPECT_EQ(output, (std::vector<int16_t>{16384, 16388, 16392}));
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
    const auto output = RunEffect("tremolo", 1, 44100, Constant(c.input, 8900));
    const auto [lowest, highest] = std::minmax_element(output.begin(), output.end());
    EXPECT_EQ(*lowest, c.lowest) << c.input;
    EXPECT_EQ(*highest, c.highest) << c.input;
  }
  // Unity gain again half a period in, near phase pi.
  const auto output = RunEffect("tremolo", 1, 44100, Constant(20000, 8900));
  EXPECT_NEAR(output[4410], 20000, 2);
}

TEST(Tremolo, AllChannelsOfAFrameShareTheGain) {
  const auto mono = RunEffect("tremolo", 1, 44100, Constant(12345, 5000));
  for (uint32_t channels : {2u, 3u, 6u}) {
    const auto output = RunEffect("tremolo", channels, 44100, Constant(12345, 5000, channels));
    for (uint32_t channel = 0; channel < channels; ++channel) {
      EXPECT_EQ(Channel(output, channels, channel), mono) << channels << " channels";
    }
  }
}

TEST(Tremolo, PhaseWrapsOnlyWhenStrictlyAboveTwoPi) {
  struct Case {
    float phase;
    float increment;
    float next;
  };
  const Case cases[] = {
      {kTwoPi, 0.0f, kTwoPi},  // equal is not yet reduced
      {std::nextafter(kTwoPi, 7.0f), 0.0f, std::nextafter(kTwoPi, 7.0f) - kTwoPi},
      {6.28f, 0.01f, (0.01f + 6.28f) - kTwoPi},
      {20.0f, 0.0f, 20.0f - kTwoPi},  // one subtraction per frame at most
      {1.0f, 0.5f, 1.5f},
  };
  for (const Case& c : cases) {
    TremoloState state{};
    InitTremolo(state, 44100, 5.0f, 0.7f, 1);
    state.oscillator.phase = c.phase;
    state.oscillator.increment = c.increment;
    float sample = 0.0f;
    ProcessTremolo(state, &sample, 1);
    EXPECT_EQ(state.oscillator.phase, c.next) << c.phase << " + " << c.increment;
  }
}

TEST(Tremolo, PhaseAdvancesPerFrameEvenWithoutChannels) {
  TremoloState state{};
  InitTremolo(state, 44100, 5.0f, 0.7f, 0);
  float untouched = 0.5f;
  ProcessTremolo(state, &untouched, 3);
  EXPECT_EQ(untouched, 0.5f);
  const float step = state.oscillator.increment;
  EXPECT_EQ(state.oscillator.phase, step + (step + step));
  for (int32_t frames : {0, -1, -100})
    ProcessTremolo(state, &untouched, frames);
  EXPECT_EQ(state.oscillator.phase, step + (step + step));
}

}  // namespace
}  // namespace wavfx
