// Properties every effect must have, whatever its sound.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "engine/effect.h"
#include "support/effect_runner.h"

namespace wavfx {
namespace {

using testing::InitStage;

struct EffectCase {
  const char* name;       // a stage's text: a name, with settings after '=' when not its defaults
  int16_t silenceOutput;  // what an all-zero input becomes
};

// Every effect joins these properties by one line here.
const EffectCase kEffects[] = {
    {"none", 0},
    {"antique", -116},
    {"echo", 0},
    {"reverb", 0},
    {"tremolo", 0},
    {"distort", 0},
    {"lowpass", 0},
    {"highpass", 0},
    {"bitcrush", 0},
    {"flanger", 0},
    {"chorus", 0},
    {"compress", 0},
    {"widen", 0},
    {"lowpass=poles=2", 0},
    {"highpass=poles=2:q=3", 0},
    {"bandpass=peak=skirt", 0},
    {"bandreject=width=1:unit=octaves", 0},
    {"allpass", 0},
    {"equalizer=gain=6", 0},
    {"bass=gain=-6", 0},
    {"treble=gain=4:width=2000", 0},
    {"freeverb", 0},
    {"freeverb=room=30:depth=40:predelay=11:wet=-4:freeze=yes", 0},
    {"tremolo=swing=down:depth=0.5", 0},
    {"distort=model=sox", 0},
    {"multichorus", 0},
    {"multichorus=gainin=0.5:voices=20/1/5/10/s|100 0.3 0.1 0 t|40/0.5/2/3/t", 0},
    {"soxflanger", 0},
    {"soxflanger=delay=5:regen=-60:shape=triangle:phase=50:interp=quadratic", 0},
};

// The samples through the stage in blocks of `blockFrames`.
std::vector<int16_t> RunStage(const char* text, uint32_t channels, uint32_t rate,
                              std::vector<int16_t> samples, int32_t blockFrames = 512) {
  EffectState state{};
  InitStage(state, text, channels, rate);
  const std::size_t frames = samples.size() / channels;
  for (std::size_t start = 0; start < frames; start += static_cast<std::size_t>(blockFrames)) {
    const auto count = std::min<std::size_t>(static_cast<std::size_t>(blockFrames), frames - start);
    ProcessEffect(state, samples.data() + start * channels, static_cast<int32_t>(count));
  }
  ReleaseEffect(state);
  return samples;
}

std::vector<int16_t> MusicLike(std::size_t frames, uint32_t channels, uint32_t seed) {
  std::mt19937 random(seed);
  std::normal_distribution<double> noise(0.0, 3000.0);
  std::vector<int16_t> samples(frames * channels);
  for (std::size_t f = 0; f < frames; ++f) {
    for (uint32_t c = 0; c < channels; ++c) {
      const double tone = 20000.0 * std::sin(0.01 * static_cast<double>(f) * (c + 1));
      const double value = std::clamp(tone + noise(random), -32768.0, 32767.0);
      samples[f * channels + c] = static_cast<int16_t>(value);
    }
  }
  return samples;
}

class EveryEffect : public ::testing::TestWithParam<EffectCase> {};

// Random block sizes, including 1-frame blocks and empty calls in between, give the samples of
// one call: 16-bit samples, and floats bit for bit, through a silence long enough for the
// filters' memories to decay into subnormals.
template <typename Sample, typename Process>
std::vector<Sample> InRandomBlocks(const char* name, uint32_t channels, uint32_t rate,
                                   std::vector<Sample> samples, Process process) {
  EffectState state{};
  InitStage(state, name, channels, rate);
  const std::size_t frames = samples.size() / channels;
  std::mt19937 random(rate + channels);
  std::uniform_int_distribution<int32_t> size(0, 700);
  for (std::size_t start = 0; start < frames;) {
    const auto count =
        std::min<std::size_t>(static_cast<std::size_t>(size(random)), frames - start);
    process(state, samples.data() + start * channels, static_cast<int32_t>(count));
    process(state, samples.data() + start * channels, -1);
    start += count;
  }
  ReleaseEffect(state);
  return samples;
}

TEST_P(EveryEffect, BlockSplitDoesNotChangeOutput) {
  const char* name = GetParam().name;
  const uint32_t rates[] = {44100, 8000};
  for (uint32_t channels : {1u, 2u, 3u, 10u}) {  // 10: beyond the inline filter memories
    for (uint32_t rate : rates) {
      const std::size_t frames = rate == 8000 ? 9000 : 20000;
      const auto input = MusicLike(frames, channels, channels * 7 + rate);
      const auto whole = RunStage(name, channels, rate, input, static_cast<int32_t>(frames));
      ASSERT_EQ(whole, InRandomBlocks(name, channels, rate, input, ProcessEffect))
          << name << " channels " << channels << " rate " << rate;

      std::vector<float> values(input.size() + 5000 * channels, 0.0f);
      for (std::size_t i = 0; i < input.size(); ++i)
        values[i] = input[i] * 0x1p-15f;
      const auto split = InRandomBlocks(name, channels, rate, values, ProcessEffectFloats);
      EffectState state{};
      InitStage(state, name, channels, rate);
      ProcessEffectFloats(state, values.data(), static_cast<int32_t>(values.size() / channels));
      ReleaseEffect(state);
      ASSERT_EQ(std::memcmp(values.data(), split.data(), values.size() * sizeof(float)), 0)
          << name << " floats, channels " << channels << " rate " << rate;
    }
  }
}

TEST_P(EveryEffect, SilenceGivesItsDocumentedOutput) {
  for (uint32_t channels : {1u, 2u, 3u}) {
    const auto output =
        RunStage(GetParam().name, channels, 44100, testing::Constant(0, 12000, channels));
    for (std::size_t i = 0; i < output.size(); ++i) {
      ASSERT_EQ(output[i], GetParam().silenceOutput) << "sample " << i << " channels " << channels;
    }
  }
}

TEST_P(EveryEffect, TouchesOnlyTheBlockItIsGiven) {
  // The block lives in its own heap allocation, so the address sanitizer sees any access past
  // either end; canaries catch it in plain builds.
  for (uint32_t channels : {1u, 2u, 3u}) {
    const std::size_t frames = 1024 / channels;
    const std::size_t count = frames * channels;
    auto storage = std::make_unique<int16_t[]>(count + 2);
    storage[0] = 0x1234;
    storage[count + 1] = 0x4321;
    const auto input = MusicLike(frames, channels, 3);
    std::memcpy(&storage[1], input.data(), count * sizeof(int16_t));
    EffectState state{};
    InitStage(state, GetParam().name, channels, 44100);
    for (int pass = 0; pass < 20; ++pass) {
      ProcessEffect(state, &storage[1], static_cast<int32_t>(frames));
    }
    ReleaseEffect(state);
    EXPECT_EQ(storage[0], 0x1234);
    EXPECT_EQ(storage[count + 1], 0x4321);
  }
}

TEST_P(EveryEffect, DegenerateRatesAndChannelCountsAreSafe) {
  // Rates the reader accepts but no effect was tuned for; the output is free, safety is not.
  for (uint32_t rate : {0u, 1u, 2u, 10u, 22u, 0x80000000u, 0xFFFFFFFFu}) {
    for (uint32_t channels : {1u, 2u, 6u}) {
      const auto output =
          RunStage(GetParam().name, channels, rate, MusicLike(300, channels, rate), 100);
      EXPECT_EQ(output.size(), 300u * channels);
    }
  }
  EffectState state{};
  InitStage(state, GetParam().name, 0, 44100);
  int16_t untouched = 77;
  ProcessEffect(state, &untouched, 5);
  ReleaseEffect(state);
  ReleaseEffect(state);
  EXPECT_EQ(untouched, 77);
}

INSTANTIATE_TEST_SUITE_P(Effects, EveryEffect, ::testing::ValuesIn(kEffects),
                         [](const ::testing::TestParamInfo<EffectCase>& entry) {
                           std::string name = entry.param.name;
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

}  // namespace
}  // namespace wavfx
