#include "effects/antique.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <vector>

#include "support/effect_runner.h"

namespace wavfx {
namespace {

using testing::Constant;
using testing::ProcessSamples;
using testing::RunEffect;

// The engine's antique.
AntiqueState Antique(uint32_t rate, uint32_t channels = 1) {
  AntiqueState state{};
  InitAntique(state, rate, channels, 4000.0f, 0.002f, 8, 0.9f);
  return state;
}

TEST(Antique, CoefficientsAroundTheCutoffSwitch) {
  struct Case {
    uint32_t rate;
    float coefficient;
  };
  // Below 8000 Hz the cutoff is 0.45 of the rate (7999 Hz: 3599.55 Hz); from 8000 Hz it is 4 kHz.
  const Case cases[] = {{4000, 0.0591645129f}, {7999, 0.0591645092f}, {8000, 0.0432139188f},
                        {11025, 0.102323726f}, {22050, 0.319880784f}, {44100, 0.56558007f},
                        {48000, 0.592384875f}};
  for (const Case& c : cases) {
    const AntiqueState state = Antique(c.rate);
    EXPECT_EQ(state.coefficient, c.coefficient) << c.rate;
    EXPECT_EQ(state.noiseSeed, 22222u);
    EXPECT_EQ(state.noiseLevel, 0.002f);
  }
}

TEST(Antique, GeneratorAdvancesOncePerSample) {
  const uint32_t states[] = {3643240405u, 3855318832u, 1747028175u};
  AntiqueState state = Antique(44100);
  float sample = 0.0f;
  for (uint32_t expected : states) {
    ProcessAntique(state, &sample, 1);
    EXPECT_EQ(state.noiseSeed, expected);
  }
  // One stereo frame takes two values.
  state = Antique(44100, 2);
  float frame[2] = {0.0f, 0.0f};
  ProcessAntique(state, frame, 1);
  EXPECT_EQ(state.noiseSeed, states[1]);
}

// With a pole of 1 the filter holds whatever memory it is given, so the quantiser sees
// v = n * 0.002 + memory + 1. The memory puts the edge between levels 127 (-116) and 128 (116)
// at noise value `threshold`; the output shows on which side each noise value falls.
std::vector<int16_t> NoiseAboveThreshold(double threshold, std::size_t count) {
  AntiqueState state = Antique(44100);
  state.coefficient = 1.0f;
  state.memory0 = static_cast<float>(128.0 / 127.5 - 1.0 - threshold * 0.002);
  std::vector<int16_t> block(count, 0);
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

TEST(Antique, SilenceBecomesTheLevelJustBelowZero) {
  for (uint32_t channels : {1u, 2u, 3u}) {
    const auto output = RunEffect("antique", channels, 44100, Constant(0, 5000, channels));
    EXPECT_EQ(output, Constant(-116, 5000, channels)) << channels << " channels";
  }
}

TEST(Antique, ConstantInputs) {
  struct Case {
    int16_t input;
    std::vector<int16_t> start;
    std::set<int16_t> settled;  // the values seen once the filter has settled
  };
  const Case cases[] = {
      {32767, {12606, 20007, 24170, 26252, 27640, 28334}, {29259, 29490}},
      {-32768, {-12837, -20238, -24170, -26483, -27871, -28565}, {-29490}},
      {16384, {6361, 10061, 11912, 13068, 13762, 14225}, {14456, 14687}},
  };
  for (const Case& c : cases) {
    const auto output = RunEffect("antique", 1, 44100, Constant(c.input, 3000));
    EXPECT_EQ(std::vector<int16_t>(output.begin(), output.begin() + 6), c.start) << c.input;
    EXPECT_EQ(std::set<int16_t>(output.begin() + 100, output.end()), c.settled) << c.input;
  }
}

TEST(Antique, ARampReachesEachOfThe256LevelsOnce) {
  // Levels are 231 or 232 apart and symmetric about zero; the quantiser floors, so 0 is not
  // one of them.
  std::vector<int16_t> input = Constant(-32768, 500);
  for (int s = -32768; s <= 32767; s += 3)
    input.push_back(static_cast<int16_t>(s));
  const auto top = Constant(32767, 500);
  input.insert(input.end(), top.begin(), top.end());
  const auto output = RunEffect("antique", 1, 8000, input);
  const std::set<int16_t> values(output.begin(), output.end());
  ASSERT_EQ(values.size(), 256u);
  EXPECT_EQ(*values.begin(), -29490);
  EXPECT_EQ(*values.rbegin(), 29490);
  for (int value : {-29259, -29028, -347, -116, 116, 347, 29259}) {
    EXPECT_EQ(values.count(static_cast<int16_t>(value)), 1u) << value;
  }
  for (auto it = std::next(values.begin()); it != values.end(); ++it) {
    EXPECT_EQ(values.count(static_cast<int16_t>(-*it)), 1u) << *it;
    const int gap = *it - *std::prev(it);
    EXPECT_TRUE(gap == 231 || gap == 232) << *it;
  }
}

TEST(Antique, EmptyOrNegativeBlocksChangeNothing) {
  AntiqueState state = Antique(44100, 2);
  std::vector<float> block = {0.03f, -0.06f, 0.09f, 0.12f};
  ProcessAntique(state, block.data(), 2);
  const AntiqueState before = state;
  const auto processed = block;
  for (int32_t frames : {0, -1, -4096})
    ProcessAntique(state, block.data(), frames);
  EXPECT_EQ(block, processed);
  EXPECT_EQ(state.noiseSeed, before.noiseSeed);
  EXPECT_EQ(state.memory0, before.memory0);
  EXPECT_EQ(state.memory1, before.memory1);
}

}  // namespace
}  // namespace wavfx
