#include "effects/mod_delay.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <vector>

#include "dsp/sample_buffer.h"
#include "engine/effect.h"
#include "support/effect_runner.h"

namespace wavfx {
namespace {

constexpr float kTwoPi = 6.2831855f;

// The member the dispatcher initialised for the named effect.
ModDelayState& Member(EffectState& state) {
  return StateOf<ModDelayState>(state);
}

std::vector<int16_t> Tone(std::size_t frames, double step, double amplitude) {
  std::vector<int16_t> samples(frames);
  for (std::size_t f = 0; f < frames; ++f) {
    samples[f] = static_cast<int16_t>(amplitude * std::sin(step * static_cast<double>(f)));
  }
  return samples;
}

TEST(ModDelay, FlangerImpulseResponseAt44100) {
  const std::map<std::size_t, int16_t> echoes = {{0, 11468}, {117, 6911}, {118, 2955},
                                                 {234, 562}, {235, 1756}, {236, 653}};
  for (int32_t block : {1, 7, 117, 300}) {
    const auto output =
        testing::RunEffect("flanger", 1, 44100, testing::Impulse(16384, 300), block);
    for (std::size_t f = 0; f < output.size(); ++f) {
      const auto echo = echoes.find(f);
      EXPECT_EQ(output[f], echo == echoes.end() ? 0 : echo->second)
          << "frame " << f << " block " << block;
    }
  }
}

TEST(ModDelay, DerivedValuesAtCommonRates) {
  struct Case {
    const char* name;
    uint32_t rate;
    uint32_t bufferFrames;
    float minDelay;
    float maxDelay;
    float phaseIncrement;  // 0 when not checked
  };
  // 0.3f lies above 0.3, so the flanger's shortest delays are one step above the floats
  // nearest 6.615, 13.23 and 14.4.
  const Case cases[] = {
      {"flanger", 8000, 40, 2.4f, 40.0f, 0.00019634955f},
      {"flanger", 22050, 110, 6.61500025f, 110.25f, 0.0f},
      {"flanger", 44100, 220, 13.2300005f, 220.5f, 3.5618963e-05f},
      {"flanger", 48000, 240, 14.4000006f, 240.0f, 3.2724922e-05f},
      {"chorus", 8000, 200, 80.0f, 200.0f, 0.00023561946f},
      {"chorus", 22050, 551, 220.5f, 551.25f, 0.0f},
      {"chorus", 44100, 1102, 441.0f, 1102.5f, 4.2742759e-05f},
      {"chorus", 48000, 1200, 480.0f, 1200.0f, 3.9269911e-05f},
  };
  for (const Case& c : cases) {
    for (uint32_t channels : {1u, 2u, 5u}) {
      EffectState state{};
      InitEffect(state, c.name, channels, c.rate);
      const ModDelayState& m = Member(state);
      EXPECT_NE(m.line.buffer, nullptr);
      EXPECT_EQ(m.line.length, c.bufferFrames * channels) << c.name << " " << c.rate;
      EXPECT_EQ(m.line.position, 0u);
      EXPECT_EQ(m.oscillator.phase, 0.0f);
      EXPECT_EQ(m.minDelay, c.minDelay) << c.name << " " << c.rate;
      EXPECT_EQ(m.maxDelay, c.maxDelay) << c.name << " " << c.rate;
      if (c.phaseIncrement != 0.0f) {
        EXPECT_EQ(m.oscillator.increment, c.phaseIncrement) << c.name << " " << c.rate;
      }
      EXPECT_EQ(m.channels, channels);
      ReleaseEffect(state);
    }
  }
}

TEST(ModDelay, GainsComeFromTheDispatcher) {
  EffectState state{};
  InitEffect(state, "flanger", 1, 44100);
  EXPECT_EQ(StateOf<ModDelayState>(state).wetGain, 0.6f);
  EXPECT_EQ(StateOf<ModDelayState>(state).dryGain, 0.7f);
  EXPECT_EQ(StateOf<ModDelayState>(state).feedback, 0.3f);
  ReleaseEffect(state);
  InitEffect(state, "chorus", 1, 44100);
  EXPECT_EQ(StateOf<ModDelayState>(state).wetGain, 0.5f);
  EXPECT_EQ(StateOf<ModDelayState>(state).dryGain, 0.7f);
  EXPECT_EQ(StateOf<ModDelayState>(state).feedback, 0.1f);
  ReleaseEffect(state);
}

TEST(ModDelay, ShortDelaysGetTwoBufferFrames) {
  // 5 ms is under 2 frames below 400 Hz; negative rates (from rates of 2^31 and up) and NaN-free
  // tiny ones land here too.
  struct Case {
    uint32_t rate;
    uint32_t bufferFrames;
  };
  const Case cases[] = {{1, 2},   {100, 2}, {399, 2},         {400, 2},
                        {599, 2}, {600, 3}, {0x80000000u, 2}, {0xFFFFFFFFu, 2}};
  for (const Case& c : cases) {
    EffectState state{};
    InitEffect(state, "flanger", 3, c.rate);
    EXPECT_EQ(StateOf<ModDelayState>(state).line.length, c.bufferFrames * 3) << c.rate;
    ReleaseEffect(state);
  }
}

TEST(ModDelay, PositionReturnsToZeroAfterWholeBuffers) {
  EffectState state{};
  InitEffect(state, "flanger", 2, 44100);
  std::vector<int16_t> block(2 * 220, 1000);
  for (int k = 0; k < 3; ++k) {
    ProcessEffect(state, block.data(), 219);
    EXPECT_EQ(StateOf<ModDelayState>(state).line.position, 2u * 219u);
    ProcessEffect(state, block.data(), 1);
    EXPECT_EQ(StateOf<ModDelayState>(state).line.position, 0u);
  }
  ReleaseEffect(state);
}

TEST(ModDelay, PhaseWrapsOnceItPassesTwoPi) {
  EffectState state{};
  InitEffect(state, "chorus", 1, 8000);
  int16_t sample = 0;
  int wraps = 0;
  float previous = 0.0f;
  // A little over three sweeps of 1 / 0.3 s.
  for (int f = 0; f < 90000; ++f) {
    ProcessEffect(state, &sample, 1);
    ASSERT_LE(StateOf<ModDelayState>(state).oscillator.phase, kTwoPi) << "frame " << f;
    ASSERT_GE(StateOf<ModDelayState>(state).oscillator.phase, 0.0f) << "frame " << f;
    if (StateOf<ModDelayState>(state).oscillator.phase < previous) ++wraps;
    previous = StateOf<ModDelayState>(state).oscillator.phase;
  }
  EXPECT_EQ(wraps, 3);
  ReleaseEffect(state);
}

TEST(ModDelay, PhaseEqualToTwoPiDoesNotWrap) {
  EffectState state{};
  InitEffect(state, "flanger", 1, 44100);
  StateOf<ModDelayState>(state).oscillator.increment = 0.5f;
  StateOf<ModDelayState>(state).oscillator.phase = kTwoPi - 0.5f;
  ASSERT_EQ(kTwoPi - 0.5f + 0.5f, kTwoPi);
  int16_t sample = 0;
  ProcessEffect(state, &sample, 1);
  EXPECT_EQ(StateOf<ModDelayState>(state).oscillator.phase, kTwoPi);
  ProcessEffect(state, &sample, 1);
  EXPECT_EQ(StateOf<ModDelayState>(state).oscillator.phase, kTwoPi + 0.5f - kTwoPi);
  ReleaseEffect(state);
}

TEST(ModDelay, ChannelsKeepTheirOwnEchoes) {
  for (const char* name : {"flanger", "chorus"}) {
    const auto mono = testing::RunEffect(name, 1, 44100, testing::Impulse(16384, 4000));
    for (uint32_t channel : {0u, 1u}) {
      const auto stereo =
          testing::RunEffect(name, 2, 44100, testing::Impulse(16384, 4000, 2, channel));
      EXPECT_EQ(testing::Channel(stereo, 2, channel), mono) << name << " channel " << channel;
      EXPECT_EQ(testing::Channel(stereo, 2, 1 - channel), std::vector<int16_t>(4000, 0))
          << name << " channel " << 1 - channel;
    }
  }
}

TEST(ModDelay, IdenticalChannelsMatchMono) {
  const auto tone = Tone(20000, 0.013, 30000.0);
  for (const char* name : {"flanger", "chorus"}) {
    for (uint32_t channels : {2u, 3u}) {
      std::vector<int16_t> interleaved;
      for (int16_t s : tone)
        interleaved.insert(interleaved.end(), channels, s);
      const auto mono = testing::RunEffect(name, 1, 48000, tone);
      const auto multi = testing::RunEffect(name, channels, 48000, interleaved);
      for (uint32_t c = 0; c < channels; ++c) {
        EXPECT_EQ(testing::Channel(multi, channels, c), mono) << name << " channel " << c;
      }
    }
  }
}

TEST(ModDelay, ConstantInputSettlesAtItsFeedbackGain) {
  // Every stored value tends to x / (1 - feedback), so the output tends to
  // x * (wet / (1 - feedback) + dry): the buffer recirculates the input, not the output.
  struct Case {
    const char* name;
    double gain;
  };
  const Case cases[] = {{"flanger", 0.6 / 0.7 + 0.7}, {"chorus", 0.5 / 0.9 + 0.7}};
  for (const Case& c : cases) {
    for (int16_t level : {int16_t{10000}, int16_t{-15000}}) {
      const auto output = testing::RunEffect(c.name, 1, 44100, testing::Constant(level, 8000));
      const double expected = level / 32768.0 * c.gain * 32767.0;
      for (std::size_t f = 7000; f < output.size(); ++f) {
        ASSERT_NEAR(output[f], expected, 1.0) << c.name << " " << level << " frame " << f;
      }
    }
  }
}

TEST(ModDelay, AllocationFailureLeavesAudioUntouched) {
  SetZeroedAllocatorForTesting([](std::size_t, std::size_t) -> void* { return nullptr; });
  EffectState state{};
  InitEffect(state, "chorus", 2, 44100);
  SetZeroedAllocatorForTesting(nullptr);
  EXPECT_EQ(StateOf<ModDelayState>(state).line.buffer, nullptr);
  EXPECT_EQ(StateOf<ModDelayState>(state).line.length, 0u);
  const std::vector<int16_t> input = {32767, -32768, 16385, -16384, 1, 0};
  auto block = input;
  ProcessEffect(state, block.data(), 3);
  EXPECT_EQ(block, input);
  ReleaseEffect(state);
  ReleaseEffect(state);
  EXPECT_EQ(state.record, nullptr);
}

TEST(ModDelay, OversizedBufferLeavesEffectInactive) {
  // 1102 frames of 2^22 channels is more than 2^32 values.
  ModDelayState state{};
  InitModDelay(state, 44100, 1u << 22, 10.0f, 25.0f, 0.3f, 0.5f, 0.7f, 0.1f);
  EXPECT_EQ(state.line.buffer, nullptr);
  EXPECT_EQ(state.line.length, 0u);
  ReleaseModDelay(state);
}

TEST(ModDelay, ZeroChannelsOnlyAdvanceThePhase) {
  ModDelayState state{};
  InitModDelay(state, 44100, 0, 0.3f, 5.0f, 0.25f, 0.6f, 0.7f, 0.3f);
  EXPECT_EQ(state.line.buffer, nullptr);
  EXPECT_EQ(state.line.length, 0u);
  float untouched = 0.5f;
  ProcessModDelay(state, &untouched, 4);
  EXPECT_EQ(untouched, 0.5f);
  EXPECT_EQ(state.line.position, 0u);
  EXPECT_GT(state.oscillator.phase, 0.0f);
  ReleaseModDelay(state);
}

TEST(ModDelay, NonPositiveFrameCountsChangeNothing) {
  EffectState state{};
  InitEffect(state, "flanger", 1, 44100);
  int16_t sample = 1234;
  for (int32_t frames : {0, -1, INT32_MIN})
    ProcessEffect(state, &sample, frames);
  EXPECT_EQ(sample, 1234);
  EXPECT_EQ(StateOf<ModDelayState>(state).oscillator.phase, 0.0f);
  EXPECT_EQ(StateOf<ModDelayState>(state).line.position, 0u);
  ReleaseEffect(state);
}

TEST(ModDelay, DegenerateRatesGiveFiniteOutputQuickly) {
  // Rate 0 makes the phase infinite and the delay NaN; 2^31 (negative as a signed rate) gives a
  // delay of millions of frames against a 2-frame buffer.
  for (const char* name : {"flanger", "chorus"}) {
    for (uint32_t rate : {0u, 0x80000000u, 0xFFFFFFFFu}) {
      const auto tone = Tone(5000, 0.05, 20000.0);
      std::vector<int16_t> stereo;
      for (int16_t s : tone)
        stereo.insert(stereo.end(), {s, static_cast<int16_t>(-s)});
      const auto output = testing::RunEffect(name, 2, rate, stereo, 333);
      ASSERT_EQ(output.size(), stereo.size());
    }
  }
}

}  // namespace
}  // namespace wavfx
