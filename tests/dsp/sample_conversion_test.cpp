#include "dsp/sample_conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace wavfx {
namespace {

TEST(SampleToFloat, DividesBy32768) {
  struct Case {
    int16_t sample;
    float expected;
  };
  const Case cases[] = {{0, 0.0f},
                        {1, 3.0517578125e-05f},
                        {-1, -3.0517578125e-05f},
                        {32767, 0.999969482421875f},
                        {-32768, -1.0f}};
  for (const Case& c : cases)
    EXPECT_EQ(SampleToFloat(c.sample), c.expected) << c.sample;
}

TEST(FloatToSample, RoundsHalvesUpAndClamps) {
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    float value;
    int16_t expected;
  };
  const Case cases[] = {
      {0.0f, 0},
      {1.0f, 32767},
      {-1.0f, -32767},
      {1.5f, 32767},
      {-1.5f, -32768},
      {-0.5f / 32767.0f, 0},
      {0.99999f, 32767},
      {0.99998f, 32766},
      {-1.0000153f, -32767},
      {-1.0000154f, -32768},
      {1e30f, 32767},
      {-1e30f, -32768},
      {inf, 32767},
      {-inf, -32768},
      {std::numeric_limits<float>::quiet_NaN(), 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FloatToSample(c.value), c.expected) << c.value;
}

TEST(FloatToSample, MatchesFloorDefinitionOnDenseGrid) {
  // The truncation shortcut must equal floor(x * 32767 + 0.5) everywhere in range.
  for (float x = -1.01f; x < 1.01f; x = std::nextafter(x, 2.0f) + 1e-7f) {
    const double reference = std::floor(static_cast<double>(x) * 32767.0 + 0.5);
    const double clamped = std::fmax(-32768.0, std::fmin(32767.0, reference));
    ASSERT_EQ(FloatToSample(x), static_cast<int16_t>(clamped)) << x;
  }
}

TEST(ClampSample, LimitsToSixteenBits) {
  EXPECT_EQ(ClampSample(32767), 32767);
  EXPECT_EQ(ClampSample(32768), 32767);
  EXPECT_EQ(ClampSample(-32768), -32768);
  EXPECT_EQ(ClampSample(-32769), -32768);
}

TEST(SampleConversion, RoundTripMovesLoudSamplesOneStepInward) {
  for (int s = -32768; s <= 32767; ++s) {
    const int expected = s > 16384 ? s - 1 : (s < -16383 ? s + 1 : s);
    ASSERT_EQ(FloatToSample(SampleToFloat(static_cast<int16_t>(s))), expected) << s;
  }
}

}  // namespace
}  // namespace wavfx
