#include "dsp/effect_math.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "dsp/fast_sine.h"
#include "dsp/oscillator.h"

namespace wavfx {
namespace {

// A sample of what bench/exhaustive_math.cpp checks for every input (scripts/exhaustive_math.sh).

float LibrarySinePlusOne(float phase) {
  return static_cast<float>(std::sin(static_cast<double>(phase)) + 1.0);
}

float LibraryHalfSinePlusOne(float phase) {
  return static_cast<float>((std::sin(static_cast<double>(phase)) + 1.0) * 0.5);
}

void ExpectSameAsLibrary(float phase) {
  ASSERT_EQ(std::bit_cast<uint32_t>(SinePlusOne(phase)),
            std::bit_cast<uint32_t>(LibrarySinePlusOne(phase)))
      << phase;
  ASSERT_EQ(std::bit_cast<uint32_t>(HalfSinePlusOne(phase)),
            std::bit_cast<uint32_t>(LibraryHalfSinePlusOne(phase)))
      << phase;
}

TEST(SinePlusOne, MatchesTheLibraryOnEveryThousandthPhase) {
  const uint32_t last = std::bit_cast<uint32_t>(fast_sine::kMaxPhase);
  for (uint32_t bits = 0; bits <= last; bits += 997) {
    ExpectSameAsLibrary(std::bit_cast<float>(bits));
  }
  ExpectSameAsLibrary(fast_sine::kMaxPhase);
}

TEST(SinePlusOne, MatchesTheLibraryAroundTheTurningPoints) {
  // Near 3 pi / 2 the sum is close to 0, where many results are left to the library.
  for (const double point : {0.0, M_PI / 2, M_PI, 3 * M_PI / 2, 2 * M_PI}) {
    float phase = static_cast<float>(point);
    for (int i = 0; i < 20000; ++i)
      phase = std::nextafter(phase, 0.0f);
    for (int i = 0; i < 40000 && phase <= fast_sine::kMaxPhase; ++i) {
      ExpectSameAsLibrary(phase);
      phase = std::nextafter(phase, 10.0f);
    }
  }
}

TEST(SinePlusOne, PhasesOutsideTheRangeGoToTheLibrary) {
  const float inf = std::numeric_limits<float>::infinity();
  for (const float phase : {-0.0f, -1e-30f, -1.0f, 6.2831860f, 7.0f, 1e6f, 1e30f, inf, -inf}) {
    ExpectSameAsLibrary(phase);
  }
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_TRUE(std::isnan(SinePlusOne(nan)));
  EXPECT_TRUE(std::isnan(HalfSinePlusOne(nan)));
}

TEST(SinePlusOne, MatchesTheLibraryAlongTheOscillators) {
  // The phases the tremolo, flanger and chorus produce over whole periods.
  for (const double hz : {5.0, 0.25, 0.3}) {
    for (const double rate : {8000.0, 44100.0, 48000.0}) {
      const auto increment = static_cast<float>(hz * 6.283185307179586 / rate);
      float phase = 0.0f;
      const auto frames = static_cast<int>(rate / hz) + 10;
      for (int i = 0; i < frames; ++i) {
        ExpectSameAsLibrary(phase);
        phase = AdvancePhase(phase, increment);
      }
    }
  }
}

float LibraryPower(float ratio, float exponent) {
  return static_cast<float>(std::pow(static_cast<double>(ratio), static_cast<double>(exponent)));
}

TEST(PowerOfRatio, MatchesTheLibraryOnEvery601stRatio) {
  const uint32_t first = std::bit_cast<uint32_t>(1.0f);
  const uint32_t last = std::bit_cast<uint32_t>(1024.0f);
  for (const float exponent : {0.75f, 1.0f - 1.0f / 2.5f, 0.95f}) {
    for (uint32_t bits = first; bits <= last; bits += 601) {
      const float ratio = std::bit_cast<float>(bits);
      ASSERT_EQ(PowerOfRatio(ratio, exponent), LibraryPower(ratio, exponent)) << ratio;
    }
  }
}

TEST(PowerOfRatio, ValuesOutsideTheRangeGoToTheLibrary) {
  for (const float ratio : {0.0f, 0.5f, 0.99999994f, 1.0f, 0x1p20f, 0x1.000002p20f, 1e30f}) {
    for (const float exponent : {-0.5f, 0.0f, 0.75f, 1.0f, 1.5f})
      EXPECT_EQ(PowerOfRatio(ratio, exponent), LibraryPower(ratio, exponent)) << ratio;
  }
}

TEST(FloorSmall, EqualsFloor) {
  for (const double x : {0.0, 0.5, 1.0, 1.5, -0.5, -1.0, -1.5, 255.999, 2147483647.0, -2147483647.5,
                         1e-300, -1e-300, 127.49999999999999, -3.0000000000000004}) {
    EXPECT_EQ(FloorSmall(x), std::floor(x)) << x;
  }
}

TEST(NaturalExp, FollowsTheLibraryAndPassesNaN) {
  for (const double y : {-700.0, -20.5, -1.0, 0.0, 1e-9, 0.5, 1.0, 88.7, 700.0})
    EXPECT_NEAR(NaturalExp(y) / std::exp(y), 1.0, 4e-15) << y;
  EXPECT_TRUE(std::isnan(NaturalExp(std::numeric_limits<double>::quiet_NaN())));
}

// Frame by frame, as the effects' scalar path steps.
std::vector<float> SteppedPhases(float& phase, float increment, std::size_t count) {
  std::vector<float> phases(count);
  for (float& value : phases) {
    value = phase;
    phase = AdvancePhase(phase, increment);
  }
  return phases;
}

void ExpectRunsMatchSteps(float increment, std::size_t frames, std::size_t chunk) {
  float run = 0.0f;
  float stepped = 0.0f;
  std::vector<float> phases(chunk);
  for (std::size_t at = 0; at < frames; at += chunk) {
    AdvancePhases(run, increment, phases.data(), chunk);
    const auto expected = SteppedPhases(stepped, increment, chunk);
    for (std::size_t i = 0; i < chunk; ++i) {
      ASSERT_EQ(std::bit_cast<uint32_t>(phases[i]), std::bit_cast<uint32_t>(expected[i]))
          << "increment " << increment << " frame " << at + i;
    }
    ASSERT_EQ(std::bit_cast<uint32_t>(run), std::bit_cast<uint32_t>(stepped));
  }
}

TEST(AdvancePhases, RunsGiveTheFrameByFramePhases) {
  for (const double hz : {5.0, 0.25, 0.3}) {
    for (const double rate :
         {1.0, 3.0, 10.0, 22.0, 8000.0, 11025.0, 44100.0, 48000.0, 96000.0, 192000.0, 1e9}) {
      ExpectRunsMatchSteps(static_cast<float>(hz * 6.283185307179586 / rate), 100000, 256);
    }
  }
}

TEST(AdvancePhases, IncrementsHalfWayBetweenTwoStepsAreStepped) {
  // In [4, 8) floats are 2^-21 apart: this increment lies half-way, and the rounding of each
  // sum depends on the phase.
  ExpectRunsMatchSteps(0x1p-21f * 1000.5f, 20000, 256);
  ExpectRunsMatchSteps(0x1p-22f * 3.5f, 200000, 173);
  ExpectRunsMatchSteps(0x1p-23f, 100000, 256);  // half a spacing in [2, 4)
}

TEST(AdvancePhases, DegenerateIncrements) {
  const float inf = std::numeric_limits<float>::infinity();
  for (const float increment : {0.0f, -0.001f, 1e-30f, 6.2831855f, 7.0f, inf}) {
    ExpectRunsMatchSteps(increment, 2000, 100);
  }
}

}  // namespace
}  // namespace wavfx
