#include "effects/widener.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "support/effect_runner.h"

namespace wavfx {
namespace {

using testing::RunEffect;

TEST(Widener, StereoFrames) {
  struct Case {
    int16_t left;
    int16_t right;
    int16_t outLeft;
    int16_t outRight;
  };
  const Case cases[] = {
      {16384, 0, 20479, -4096},
      {0, 16384, -4096, 20479},
      {32767, -32768, 32767, -32768},  // both beyond full scale, clamped
      {-32768, 32767, -32768, 32767},
      {1000, 1000, 1000, 1000},      // no side signal
      {32767, 32767, 32766, 32766},  // only the conversions act
      {-32768, -32768, -32767, -32767},
      {-1, 1, -1, 1},
      {0, 0, 0, 0},
  };
  for (const char* name : {"widen", "stereo"}) {
    for (const Case& c : cases) {
      EXPECT_EQ(RunEffect(name, 2, 44100, {c.left, c.right}),
                (std::vector<int16_t>{c.outLeft, c.outRight}))
          << name << " (" << c.left << ", " << c.right << ")";
    }
  }
}

TEST(Widener, OtherChannelCountsPassThroughUntouched) {
  const std::vector<int16_t> input = {32767, -32768, 16385, -16385, 1,  0, 12345, -2, 32767,
                                      32767, -32768, 7,     20000,  -1, 3, 4,     5,  6};
  for (uint32_t channels : {1u, 3u, 6u}) {
    EXPECT_EQ(RunEffect("widen", channels, 44100, input), input) << channels << " channels";
  }
}

TEST(Widener, EachFrameStandsAlone) {
  const std::vector<int16_t> input = {16384, 0, 0, 16384, -1, 1, 32767, -32768};
  const std::vector<int16_t> expected = {20479, -4096, -4096, 20479, -1, 1, 32767, -32768};
  for (int32_t block : {1, 3, 4})
    EXPECT_EQ(RunEffect("widen", 2, 8000, input, block), expected);
}

TEST(Widener, NoFramesChangeNothing) {
  WidenerState state{};
  InitWidener(state, 1.5f, 2);
  float frame[2] = {0.5f, 0.0f};
  ProcessWidener(state, frame, 0);
  ProcessWidener(state, frame, -1);
  EXPECT_EQ(frame[0], 0.5f);
  EXPECT_EQ(frame[1], 0.0f);
}

}  // namespace
}  // namespace wavfx
