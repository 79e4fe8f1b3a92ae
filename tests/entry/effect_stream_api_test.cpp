// The streaming C API and its C++ wrapper: same output as WAVEffect, whatever the block sizes.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "dsp/sample_buffer.h"
#include "engine/effect.h"
#include "engine/registry.h"
#include "support/failing_allocator.h"
#include "support/wav_files.h"
#include "wavfx/wavfx.h"
#include "wavfx/wavfx.hpp"

namespace wavfx {
namespace {

using Samples = std::vector<int16_t>;

// A sweep, noise and a burst that clips, so that every effect has something to change.
Samples TestSignal(uint32_t channels, uint32_t sampleRate, std::size_t frames) {
  Samples samples(frames * channels);
  uint32_t noise = 12345;
  for (std::size_t frame = 0; frame < frames; ++frame) {
    const double t = static_cast<double>(frame) / sampleRate;
    const bool burst = frame % (sampleRate / 4) < sampleRate / 40;
    for (uint32_t channel = 0; channel < channels; ++channel) {
      noise = noise * 1664525u + 1013904223u;
      const double tone = std::sin(6.283185307179586 * (220.0 + 400.0 * t) * (channel + 1) * t);
      const double hiss = static_cast<double>(noise >> 16) / 65536.0 - 0.5;
      const double value = (burst ? 1.4 : 0.3) * tone + 0.05 * hiss;
      samples[frame * channels + channel] =
          static_cast<int16_t>(std::lround(std::fmax(-1.0, std::fmin(1.0, value)) * 32767.0));
    }
  }
  return samples;
}

Samples RunWavEffect(const char* name, uint32_t channels, uint32_t sampleRate,
                     const Samples& samples) {
  testing::TempDir dir;
  testing::WriteFile(dir / "in.wav",
                     testing::WavFile(static_cast<uint16_t>(channels), sampleRate, samples));
  const std::u16string in = testing::Utf16((dir / "in.wav").string());
  const std::u16string out = testing::Utf16((dir / "out.wav").string());
  const std::u16string effect = testing::Utf16(name);
  EXPECT_EQ(WAVEffect(in.c_str(), out.c_str(), effect.c_str()), 999) << name;
  return testing::SamplesAfterHeader(testing::ReadFile(dir / "out.wav"));
}

// Streams the samples through a fresh instance in random block sizes, empty blocks included.
Samples RunStream(const char* name, uint32_t channels, uint32_t sampleRate, Samples samples,
                  uint32_t seed) {
  wavfx_effect* effect = wavfx_effect_create(name, channels, sampleRate);
  EXPECT_NE(effect, nullptr) << name;
  if (effect == nullptr) return {};
  std::mt19937 random(seed);
  std::uniform_int_distribution<int32_t> blockFrames(0, 700);
  const std::size_t frames = samples.size() / channels;
  for (std::size_t start = 0; start < frames;) {
    const auto count = static_cast<int32_t>(
        std::min<std::size_t>(static_cast<std::size_t>(blockFrames(random)), frames - start));
    EXPECT_EQ(wavfx_effect_process(effect, samples.data() + start * channels, count), WAVFX_OK);
    start += static_cast<std::size_t>(count);
  }
  wavfx_effect_destroy(effect);
  return samples;
}

TEST(EffectStreamApi, EveryNameGivesWavEffectsSamples) {
  struct Layout {
    uint32_t channels;
    uint32_t sampleRate;
    std::size_t frames;
  };
  // Longer than the echo's delay at every rate; the odd channel count leaves partial blocks.
  const Layout layouts[] = {{1, 8000, 6000}, {2, 44100, 20000}, {3, 22050, 9000}};
  uint32_t seed = 1;
  for (const Layout& layout : layouts) {
    const Samples input = TestSignal(layout.channels, layout.sampleRate, layout.frames);
    for (const EffectName& name : EffectNames()) {
      SCOPED_TRACE(std::string(name.literal) + ", " + std::to_string(layout.channels) + " ch");
      const Samples expected =
          RunWavEffect(name.literal, layout.channels, layout.sampleRate, input);
      ASSERT_EQ(expected.size(), input.size());
      EXPECT_EQ(RunStream(name.literal, layout.channels, layout.sampleRate, input, ++seed),
                expected);
      // Guards against both sides passing the audio through; only stereo is widened.
      if (name.kind != EffectKind::None &&
          (name.kind != EffectKind::Widener || layout.channels == 2)) {
        EXPECT_NE(expected, input);
      }
    }
  }
}

TEST(EffectStreamApi, NamesIgnoreCaseOfAsciiLetters) {
  const Samples input = TestSignal(2, 44100, 5000);
  const Samples echo = RunStream("echo", 2, 44100, input, 7);
  EXPECT_EQ(RunStream("EcHo", 2, 44100, input, 8), echo);
  EXPECT_EQ(RunStream("ECHO", 2, 44100, input, 9), echo);
  EXPECT_EQ(RunStream("none", 2, 44100, input, 10), input);
  EXPECT_EQ(RunStream("NONE", 2, 44100, input, 11), input);
}

TEST(EffectStreamApi, CreateRefusesWhatItCannotRun) {
  struct Case {
    const char* name;
    uint32_t channels;
    uint32_t sampleRate;
    bool created;
  };
  const Case cases[] = {
      {"echo", 2, 44100, true},
      {"none", 1, 8000, true},
      {"stereo", 1, 48000, true},  // the widener passes other layouts through
      {"lowpass", 1024 * 1024, 44100, true},
      {"lowpass", 1, 0xFFFFFFFFu, true},  // no buffer, so any rate
      {nullptr, 2, 44100, false},
      {"", 2, 44100, false},
      {"vibrato", 2, 44100, false},
      {"echo ", 2, 44100, false},
      {"ech", 2, 44100, false},
      {"\xC3\x89"
       "cho",
       2, 44100, false},  // only A-Z fold
      {"echo", 0, 44100, false},
      {"none", 0, 44100, false},
      {"echo", 2, 0, false},
      {"none", 2, 0, false},
      // Delay lines beyond 1 GiB.
      {"echo", 1, 0xFFFFFFFFu, false},
      {"flanger", 4096, 0x7FFFFFFFu, false},
      {"chorus", 64, 0x7FFFFFFFu, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name == nullptr ? "(null)" : c.name);
    SCOPED_TRACE(std::to_string(c.channels) + " ch, " + std::to_string(c.sampleRate) + " Hz");
    wavfx_effect* effect = wavfx_effect_create(c.name, c.channels, c.sampleRate);
    EXPECT_EQ(effect != nullptr, c.created);
    wavfx_effect_destroy(effect);
  }
}

// Allocation hook: counts calls and fails the chosen one.
TEST(EffectStreamApi, CreateReturnsNullWhenADelayLineCannotBeAllocated) {
  struct Case {
    const char* name;
    int allocations;  // what the effect allocates for a stereo stream
  };
  const Case cases[] = {{"echo", 1}, {"reverb", 8}, {"flanger", 1}, {"chorus", 1}};
  for (const Case& c : cases) {
    for (int failing = 1; failing <= c.allocations + 1; ++failing) {
      SCOPED_TRACE(std::string(c.name) + ", allocation " + std::to_string(failing) + " fails");
      wavfx_effect* effect = nullptr;
      int calls = 0;
      {
        testing::ScopedFailingAllocator allocator(failing);
        effect = wavfx_effect_create(c.name, 2, 44100);
        calls = allocator.Calls();
      }
      EXPECT_EQ(calls, failing > c.allocations ? c.allocations : failing);
      EXPECT_EQ(effect != nullptr, failing > c.allocations);
      wavfx_effect_destroy(effect);  // a leak of the first buffers shows under ASan
    }
  }
  // Effects without delay lines allocate nothing.
  wavfx_effect* lowpass = nullptr;
  {
    testing::ScopedFailingAllocator allocator(1);
    lowpass = wavfx_effect_create("lowpass", 2, 44100);
    EXPECT_EQ(allocator.Calls(), 0);
  }
  EXPECT_NE(lowpass, nullptr);
  wavfx_effect_destroy(lowpass);
}

TEST(EffectStreamApi, ProcessRefusesBadArgumentsAndKeepsTheStream) {
  constexpr uint32_t kChannels = 2;
  const Samples input = TestSignal(kChannels, 44100, 4000);
  wavfx_effect* effect = wavfx_effect_create("chorus", kChannels, 44100);
  ASSERT_NE(effect, nullptr);

  struct Case {
    const char* what;
    bool nullEffect;
    bool nullSamples;
    int32_t frames;
    int32_t result;
  };
  const Case cases[] = {
      {"null effect", true, false, 10, WAVFX_ERROR_NULL_EFFECT},
      {"null effect before negative frames", true, false, -1, WAVFX_ERROR_NULL_EFFECT},
      {"null effect before null samples", true, true, 10, WAVFX_ERROR_NULL_EFFECT},
      {"null effect, nothing to do", true, true, 0, WAVFX_ERROR_NULL_EFFECT},
      {"negative frames", false, false, -1, WAVFX_ERROR_NEGATIVE_FRAMES},
      {"most negative frames", false, false, INT32_MIN, WAVFX_ERROR_NEGATIVE_FRAMES},
      {"negative frames before null samples", false, true, -5, WAVFX_ERROR_NEGATIVE_FRAMES},
      {"null samples", false, true, 10, WAVFX_ERROR_NULL_SAMPLES},
      {"null samples, no frames", false, true, 0, WAVFX_OK},
      {"no frames", false, false, 0, WAVFX_OK},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Samples block = input;
    EXPECT_EQ(wavfx_effect_process(c.nullEffect ? nullptr : effect,
                                   c.nullSamples ? nullptr : block.data(), c.frames),
              c.result);
    EXPECT_EQ(block, input);
  }

  // None of the refused calls advanced the effect: it still starts the stream afresh.
  Samples streamed = input;
  ASSERT_EQ(wavfx_effect_process(effect, streamed.data(), 4000), WAVFX_OK);
  EXPECT_EQ(streamed, RunStream("chorus", kChannels, 44100, input, 3));
  wavfx_effect_destroy(effect);
  wavfx_effect_destroy(nullptr);
}

TEST(EffectStreamApi, ListsTheNamesItAccepts) {
  const auto names = RegistryNames();
  ASSERT_EQ(wavfx_effect_name_count(), names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    SCOPED_TRACE(names[i].literal);
    ASSERT_NE(wavfx_effect_name(i), nullptr);
    EXPECT_STREQ(wavfx_effect_name(i), names[i].literal);
    EXPECT_STREQ(wavfx_effect_name_description(i), FamilyOf(names[i].kind).info.description);
    EXPECT_EQ(wavfx_effect_name_is_alias(i), i > 0 && names[i].kind == names[i - 1].kind ? 1 : 0);
    // Every name creates an effect, but the stages that measure their input first.
    wavfx_effect* effect = wavfx_effect_create(wavfx_effect_name(i), 2, 44100);
    EXPECT_EQ(effect != nullptr, FamilyOf(names[i].kind).measuring.needsMeasurement == nullptr);
    wavfx_effect_destroy(effect);
  }
  EXPECT_EQ(wavfx_effect_name(names.size()), nullptr);
  EXPECT_EQ(wavfx_effect_name_description(names.size()), nullptr);
  EXPECT_EQ(wavfx_effect_name_is_alias(names.size()), 0);
  EXPECT_EQ(wavfx_effect_name(SIZE_MAX), nullptr);
}

TEST(EffectStreamApi, VersionIsTheProjectVersion) {
  EXPECT_STREQ(wavfx_version(), WAVFX_VERSION);
}

TEST(EffectStreamApi, TheSharedLibraryExportsEveryFunction) {
  void* library = dlopen(WAVFX_SHARED_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  const char* functions[] = {"wavfx_version",
                             "wavfx_effect_create",
                             "wavfx_effect_process",
                             "wavfx_effect_destroy",
                             "wavfx_effect_name_count",
                             "wavfx_effect_name",
                             "wavfx_effect_name_description",
                             "wavfx_effect_name_is_alias"};
  for (const char* function : functions) {
    EXPECT_NE(dlsym(library, function), nullptr) << function;
  }
  // One stream through the loaded library's own code.
  using Create = wavfx_effect* (*)(const char*, uint32_t, uint32_t);
  using Process = int32_t (*)(wavfx_effect*, int16_t*, int32_t);
  using Destroy = void (*)(wavfx_effect*);
  const auto create = reinterpret_cast<Create>(dlsym(library, "wavfx_effect_create"));
  const auto process = reinterpret_cast<Process>(dlsym(library, "wavfx_effect_process"));
  const auto destroy = reinterpret_cast<Destroy>(dlsym(library, "wavfx_effect_destroy"));
  if (create != nullptr && process != nullptr && destroy != nullptr) {
    const Samples input = TestSignal(2, 44100, 3000);
    Samples samples = input;
    wavfx_effect* effect = create("reverb", 2, 44100);
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(process(effect, samples.data(), 3000), WAVFX_OK);
    EXPECT_EQ(process(nullptr, samples.data(), 3000), WAVFX_ERROR_NULL_EFFECT);
    destroy(effect);
    EXPECT_EQ(samples, RunStream("reverb", 2, 44100, input, 5));
  }
  dlclose(library);
}

TEST(EffectWrapper, EmptyWhenRefused) {
  Effect refused("vibrato", 2, 44100);
  EXPECT_FALSE(refused);
  EXPECT_EQ(refused.Get(), nullptr);
  EXPECT_EQ(refused.Channels(), 0u);
  Samples samples(8, 100);
  EXPECT_EQ(refused.Process(samples.data(), 4), WAVFX_ERROR_NULL_EFFECT);
  EXPECT_EQ(refused.Process(samples), WAVFX_ERROR_NULL_EFFECT);
  EXPECT_EQ(samples, Samples(8, 100));
  EXPECT_FALSE(Effect());
}

TEST(EffectWrapper, MovesCarryTheStreamOn) {
  const Samples input = TestSignal(2, 44100, 6000);
  const Samples expected = RunStream("flanger", 2, 44100, input, 4);
  Samples samples = input;
  int16_t* const middle = samples.data() + 2 * 2000;
  int16_t* const last = samples.data() + 2 * 4000;

  Effect first("flanger", 2, 44100);
  ASSERT_TRUE(first);
  EXPECT_EQ(first.Channels(), 2u);
  EXPECT_EQ(first.Process(samples.data(), 2000), WAVFX_OK);

  Effect second(std::move(first));
  EXPECT_FALSE(first);  // a moved-from Effect is empty
  EXPECT_EQ(first.Channels(), 0u);
  ASSERT_TRUE(second);
  EXPECT_EQ(second.Process(middle, 2000), WAVFX_OK);

  Effect third("echo", 1, 8000);  // replaced by the assignment, and destroyed by it
  third = std::move(second);
  EXPECT_FALSE(second);
  Effect& alias = third;
  third = std::move(alias);  // self-assignment keeps the effect
  ASSERT_TRUE(third);
  EXPECT_EQ(third.Process(last, 2000), WAVFX_OK);
  EXPECT_EQ(samples, expected);

  second = Effect();  // assigning into a moved-from Effect is fine
  EXPECT_FALSE(second);
}

TEST(EffectWrapper, SpansHoldWholeFrames) {
  const Samples input = TestSignal(3, 22050, 3000);
  Effect effect("tremolo", 3, 22050);
  ASSERT_TRUE(effect);

  Samples partial(3 * 10 + 1, 1000);
  EXPECT_EQ(effect.Process(partial), WAVFX_ERROR_PARTIAL_FRAME);
  EXPECT_EQ(partial, Samples(3 * 10 + 1, 1000));
  EXPECT_EQ(effect.Process(std::span<int16_t>()), WAVFX_OK);

  Samples samples = input;
  EXPECT_EQ(effect.Process(std::span(samples).first(3 * 1000)), WAVFX_OK);
  EXPECT_EQ(effect.Process(std::span(samples).subspan(3 * 1000)), WAVFX_OK);
  EXPECT_EQ(samples, RunStream("tremolo", 3, 22050, input, 6));
}

TEST(EffectWrapper, ListsTheSameNamesAsTheCApi) {
  const std::vector<EffectInfo> effects = ListEffects();
  ASSERT_EQ(effects.size(), wavfx_effect_name_count());
  for (std::size_t i = 0; i < effects.size(); ++i) {
    EXPECT_STREQ(effects[i].name, wavfx_effect_name(i));
    EXPECT_STREQ(effects[i].description, wavfx_effect_name_description(i));
    EXPECT_EQ(effects[i].alias, wavfx_effect_name_is_alias(i) == 1);
  }
  EXPECT_STREQ(Version(), wavfx_version());
}

}  // namespace
}  // namespace wavfx
