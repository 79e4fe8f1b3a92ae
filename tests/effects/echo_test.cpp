#include "effects/echo.h"

#include <gtest/gtest.h>

#include <bit>
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

// The engine's echo.
EchoState Echo(uint32_t rate, uint32_t channels) {
  EchoState state{};
  InitEcho(state, rate, channels, std::bit_cast<double>(0x3FD6666666666667ull), 0.45f, 0.5f, 0.7f);
  return state;
}

std::vector<int16_t> Head(const std::vector<int16_t>& samples, std::size_t count) {
  return {samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(count)};
}

std::vector<int16_t> Ramp(std::size_t count) {
  std::vector<int16_t> samples(count);
  for (std::size_t i = 0; i < count; ++i) {
    samples[i] = static_cast<int16_t>(static_cast<int32_t>(i * 7919 % 65536) - 32768);
  }
  return samples;
}

TEST(Echo, DelayAtCommonRates) {
  struct Case {
    uint32_t rate;
    uint32_t frames;
  };
  const Case cases[] = {{8000, 2800},   {11025, 3858},  {16000, 5600},
                        {22050, 7717},  {32000, 11200}, {44100, 15435},
                        {48000, 16800}, {88200, 30870}, {96000, 33600}};
  for (const Case& c : cases) {
    for (uint32_t channels : {1u, 2u}) {
      EchoState state = Echo(c.rate, channels);
      EXPECT_EQ(state.line.length, c.frames * channels) << c.rate;
      ReleaseEcho(state);
    }
    // The first repeat of an impulse lands exactly `frames` frames later.
    const auto out = RunEffect("echo", 1, c.rate, Impulse(1000, c.frames + 10));
    std::size_t repeat = 1;
    while (repeat < out.size() && out[repeat] == 0)
      ++repeat;
    EXPECT_EQ(out[0], 700) << c.rate;
    EXPECT_EQ(repeat, c.frames) << c.rate;
    EXPECT_EQ(out[repeat], 500) << c.rate;
  }
}

TEST(Echo, MonoResponsesAtTenHertz) {
  struct Case {
    const char* what;
    std::vector<int16_t> input;
    std::vector<int16_t> expected;
  };
  const Case cases[] = {
      {"impulse", Impulse(32767, 12), {22936, 0, 0, 16383, 0, 0, 7372, 0, 0, 3318, 0, 0}},
      {"constant",
       Constant(10000, 12),
       {7000, 7000, 7000, 12000, 12000, 12000, 14250, 14250, 14250, 15262, 15262, 15262}},
      {"clipped negative full scale",
       Constant(-32768, 9),
       {-22937, -22937, -22937, -32768, -32768, -32768, -32768, -32768, -32768}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RunEffect("echo", 1, 10, c.input, 5), c.expected) << c.what;
  }
}

TEST(Echo, ConstantSettlesAtTheLoopGain) {
  // 0.7 x + 0.5 x / (1 - 0.45) in the limit.
  const auto out = RunEffect("echo", 1, 10, Constant(10000, 300));
  EXPECT_EQ(out.back(), 16090);
}

TEST(Echo, StereoChannelsEchoOnlyThemselves) {
  auto input = Impulse(32767, 9, 2, 0);
  for (std::size_t i = 1; i < input.size(); i += 2)
    input[i] = 10000;
  const auto out = RunEffect("echo", 2, 10, input, 4);
  EXPECT_EQ(Channel(out, 2, 0), (std::vector<int16_t>{22936, 0, 0, 16383, 0, 0, 7372, 0, 0}));
  EXPECT_EQ(Channel(out, 2, 1),
            (std::vector<int16_t>{7000, 7000, 7000, 12000, 12000, 12000, 14250, 14250, 14250}));
}

TEST(Echo, RatesBelowThreeHertzDelayByOneFrame) {
  for (uint32_t rate : {0u, 1u, 2u}) {
    EchoState state = Echo(rate, 1);
    EXPECT_EQ(state.line.length, 1u) << rate;
    ReleaseEcho(state);
    EXPECT_EQ(Head(RunEffect("echo", 1, rate, Impulse(32767, 8)), 4),
              (std::vector<int16_t>{22936, 16383, 7372, 3318}))
        << rate;
  }
}

TEST(Echo, ZeroDelayWithSeveralChannelsKeepsOneWholeFrame) {
  for (uint32_t channels : {2u, 3u, 6u}) {
    for (uint32_t rate : {0u, 1u, 2u}) {
      EchoState state = Echo(rate, channels);
      EXPECT_EQ(state.line.length, channels);
      ReleaseEcho(state);
      // Every channel echoes its own previous sample, as at 3 Hz.
      const auto input = Ramp(channels * 50);
      EXPECT_EQ(RunEffect("echo", channels, rate, input, 7),
                RunEffect("echo", channels, 3, input, 7))
          << channels << " channels at " << rate << " Hz";
    }
  }
}

TEST(Echo, EmptyAndNegativeBlocksChangeNothing) {
  EchoState state = Echo(10, 1);
  int16_t sample = 1234;
  for (int32_t frames : {0, -1, -100}) {
    testing::ProcessSamples(ProcessEcho, state, &sample, frames);
    EXPECT_EQ(sample, 1234);
    EXPECT_EQ(state.line.position, 0u);
  }
  testing::ProcessSamples(ProcessEcho, state, &sample, 1);
  EXPECT_EQ(sample, 864);  // 0.7 * 1234 / 32768 * 32767, rounded
  ReleaseEcho(state);
}

TEST(Echo, ReleaseEmptiesTheRecordOnce) {
  EchoState state = Echo(44100, 2);
  ASSERT_NE(state.line.buffer, nullptr);
  ReleaseEcho(state);
  EXPECT_EQ(state.line.buffer, nullptr);
  EXPECT_EQ(state.line.length, 0u);
  EXPECT_EQ(state.line.position, 0u);
  EXPECT_EQ(state.channels, 2u);
  ReleaseEcho(state);  // a double free would abort under the address sanitizer
  EXPECT_EQ(state.line.buffer, nullptr);
}

TEST(Echo, FailedAllocationPassesAudioThroughUnchanged) {
  const std::vector<float> input = {1.0f, -1.0f, 0.5f, 1e30f};
  testing::ScopedFailingAllocator allocator(1);
  EchoState state = Echo(44100, 2);
  EXPECT_EQ(allocator.Calls(), 1);
  EXPECT_EQ(state.line.buffer, nullptr);
  EXPECT_EQ(state.line.length, 0u);
  auto samples = input;
  ProcessEcho(state, samples.data(), 2);
  EXPECT_EQ(samples, input);
  ReleaseEcho(state);
  ReleaseEcho(state);
}

TEST(Echo, BufferBeyondThirtyTwoBitsIsNeverAllocated) {
  // 1503238553 frames of 3 channels: the 32-bit product would wrap to a small, wrong size; five
  // seconds give more than 2^32 frames.
  testing::ScopedFailingAllocator allocator(0);
  for (const double delay : {0.35, 5.0}) {
    EchoState state{};
    InitEcho(state, 0xFFFFFFFFu, 3, delay, 0.45f, 0.5f, 0.7f);
    EXPECT_EQ(state.line.buffer, nullptr) << delay;
    EXPECT_EQ(state.line.length, 0u) << delay;
    ReleaseEcho(state);
  }
  EXPECT_EQ(allocator.Calls(), 0);
}

}  // namespace
}  // namespace wavfx
