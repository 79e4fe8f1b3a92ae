// The dither's noise and the phaser's limits, as numbers a listener or a mastering engineer
// would check.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "dsp/pcm_conversion.h"
#include "effects/dither.h"
#include "effects/phaser.h"

namespace wavfx {
namespace {

constexpr std::size_t kFrames = 1 << 15;

// A slow ramp at 16 bits, dithered: the errors in steps of 16 bits, and the integers the floats
// convert to.
struct Dithered {
  std::vector<double> errors;
  bool onGrid = true;
};

Dithered Dither(bool shaped, uint64_t seed, int bits) {
  DitherState state{};
  InitDither(state, 1, bits, shaped, seed);
  std::vector<float> values(kFrames);
  for (std::size_t i = 0; i < kFrames; ++i)
    values[i] = 0.3f * static_cast<float>(i) / kFrames - 0.1f;
  const std::vector<float> input = values;
  ProcessDither(state, values.data(), static_cast<int32_t>(kFrames));
  ReleaseDither(state);
  Dithered result;
  const double steps = std::ldexp(1.0, bits - 1) - 1.0;
  std::vector<int32_t> ints(kFrames);
  FloatsToInts(values.data(), ints.data(), kFrames, bits);
  for (std::size_t i = 0; i < kFrames; ++i) {
    result.errors.push_back(ints[i] - static_cast<double>(input[i]) * steps);
    result.onGrid &= static_cast<float>(ints[i] / steps) == values[i];
  }
  return result;
}

double Mean(const std::vector<double>& v, std::size_t from = 0, std::size_t to = kFrames) {
  double sum = 0.0;
  for (std::size_t i = from; i < to; ++i)
    sum += v[i];
  return sum / static_cast<double>(to - from);
}

// Noise power of the first differences against that of the sums of neighbours: 1 for white
// noise, above 1 when the high frequencies carry more.
double Tilt(const std::vector<double>& e) {
  double high = 0.0, low = 0.0;
  for (std::size_t i = 1; i < e.size(); ++i) {
    high += (e[i] - e[i - 1]) * (e[i] - e[i - 1]);
    low += (e[i] + e[i - 1]) * (e[i] + e[i - 1]);
  }
  return high / low;
}

struct DitherCase {
  bool shaped;
  int bits;
  double meanBound, lowest, highest, varianceLow, varianceHigh, tiltLow, tiltHigh;
};

// TPDF: the error is the triangular noise plus the rounding, variance 1/6 + 1/12, within 1.5
// steps; shaped, the first-order high-pass doubles that power and tilts it (ratio 3 ideal).
const DitherCase kDither[] = {
    {false, 16, 0.02, -1.5, 1.5, 0.23, 0.27, 0.9, 1.1},
    {false, 8, 0.02, -1.5, 1.5, 0.23, 0.27, 0.9, 1.1},
    {true, 16, 0.02, -3.0, 3.0, 0.45, 0.55, 2.5, 3.5},
    {true, 24, 0.02, -3.0, 3.0, 0.45, 0.55, 2.5, 3.5},
};

TEST(Dither, NoiseHasItsDesignedStatistics) {
  for (const DitherCase& c : kDither) {
    const Dithered d = Dither(c.shaped, 42, c.bits);
    EXPECT_TRUE(d.onGrid) << c.bits;
    EXPECT_LT(std::fabs(Mean(d.errors)), c.meanBound);
    double variance = 0.0, lowest = 0.0, highest = 0.0;
    for (const double e : d.errors) {
      variance += e * e / kFrames;
      lowest = std::min(lowest, e);
      highest = std::max(highest, e);
    }
    EXPECT_GE(lowest, c.lowest);
    EXPECT_LE(highest, c.highest);
    EXPECT_GT(variance, c.varianceLow) << c.shaped << " " << c.bits;
    EXPECT_LT(variance, c.varianceHigh) << c.shaped << " " << c.bits;
    const double tilt = Tilt(d.errors);
    EXPECT_GT(tilt, c.tiltLow) << c.shaped;
    EXPECT_LT(tilt, c.tiltHigh) << c.shaped;
    EXPECT_EQ(Dither(c.shaped, 42, c.bits).errors, d.errors);
    EXPECT_NE(Dither(c.shaped, 43, c.bits).errors, d.errors);
  }
}

TEST(Dither, TriangularNoiseFillsItsShape) {
  // The noise alone, on a signal lying on the grid: -1, 0 and +1 step in proportion 1:6:1 (the
  // triangle's mass beyond half a step each way is 1/8).
  DitherState state{};
  InitDither(state, 1, 16, false, 7);
  std::vector<float> values(kFrames, 0.0f);
  ProcessDither(state, values.data(), static_cast<int32_t>(kFrames));
  double counts[3] = {};
  for (const float v : values) {
    const long step = std::lround(v * 32767.0f);
    ASSERT_LE(std::labs(step), 1);
    counts[step + 1] += 1.0 / kFrames;
  }
  EXPECT_NEAR(counts[0], 0.125, 0.01);
  EXPECT_NEAR(counts[2], 0.125, 0.01);
}

// The phaser at mix 0 is its input; at depth 0 its stages stand still, so the rate does not
// matter, and at mix 1 the all-pass chain keeps an impulse's energy.
TEST(Phaser, LimitsOfItsSettings) {
  const auto run = [](float rate, double depth, float mix, std::vector<float> values) {
    PhaserState state{};
    InitPhaser(state, 44100, 1, rate, depth, 1300.0, 0.0f, mix, 6);
    ProcessPhaser(state, values.data(), static_cast<int32_t>(values.size()));
    ReleasePhaser(state);
    return values;
  };
  std::vector<float> input(20000);
  for (std::size_t i = 0; i < input.size(); ++i)
    input[i] = std::sin(0.05f * static_cast<float>(i)) * 0.5f;
  EXPECT_EQ(run(1.0f, 0.5, 0.0f, input), input);
  EXPECT_EQ(run(1.0f, 0.0, 1.0f, input), run(37.0f, 0.0, 1.0f, input));
  EXPECT_NE(run(1.0f, 0.5, 1.0f, input), run(37.0f, 0.5, 1.0f, input));
  std::vector<float> impulse(20000, 0.0f);
  impulse[0] = 1.0f;
  double energy = 0.0;
  for (const float v : run(1.0f, 0.0, 1.0f, impulse))
    energy += static_cast<double>(v) * v;
  EXPECT_NEAR(energy, 1.0, 1e-4);
}

}  // namespace
}  // namespace wavfx
