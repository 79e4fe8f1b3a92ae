// Chains and parameters, through the C API: what the parser refuses, and the properties every
// family and every chain must keep.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "dsp/sample_conversion.h"
#include "dsp/simd_dispatch.h"
#include "engine/chain.h"
#include "engine/chain_flow.h"
#include "engine/chain_text.h"
#include "engine/registry.h"
#include "engine/retune.h"
#include "wavfx/wavfx.h"

namespace wavfx {
namespace {

std::vector<int16_t> Music(std::size_t frames, uint32_t channels) {
  std::mt19937 random(frames + channels);
  std::normal_distribution<double> noise(0.0, 4000.0);
  std::vector<int16_t> samples(frames * channels);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const double tone = 24000.0 * std::sin(0.013 * static_cast<double>(i / channels));
    samples[i] = static_cast<int16_t>(std::clamp(tone + noise(random), -32768.0, 32767.0));
  }
  return samples;
}

// The samples after `chain`, in blocks of `block` frames (0: random sizes): in place, or through
// the flow calls for a chain that reshapes the stream.
std::vector<int16_t> RunChain(const std::string& chain, uint32_t channels, uint32_t rate,
                              std::vector<int16_t> samples, std::size_t block) {
  wavfx_error error;
  wavfx_effect* effect = wavfx_chain_create(chain.c_str(), channels, rate, &error);
  EXPECT_NE(effect, nullptr) << chain << ": " << error.message;
  if (effect == nullptr) return {};
  std::mt19937 random(7);
  const std::size_t frames = samples.size() / channels;
  const bool reshapes = wavfx_effect_reshapes(effect) != 0;
  std::vector<int16_t> flowed(1 << 16);
  std::vector<int16_t> output;
  const std::size_t out = wavfx_effect_output_channels(effect);
  for (std::size_t at = 0; at < frames;) {
    std::size_t count = std::min(frames - at, block != 0 ? block : random() % 900);
    int16_t* first = samples.data() + at * channels;
    if (!reshapes) {
      EXPECT_EQ(wavfx_effect_process(effect, first, static_cast<int32_t>(count)), WAVFX_OK);
    } else {
      std::size_t produced = 0;
      wavfx_effect_flow_int16(effect, first, count, flowed.data(), flowed.size() / out, &count,
                              &produced);
      output.insert(output.end(), flowed.begin(), flowed.begin() + produced * out);
    }
    at += count;
  }
  for (std::size_t produced = reshapes ? 1 : 0; produced > 0;) {
    wavfx_effect_flush_int16(effect, flowed.data(), flowed.size() / out, &produced);
    output.insert(output.end(), flowed.begin(), flowed.begin() + produced * out);
  }
  wavfx_effect_destroy(effect);
  return reshapes ? output : samples;
}

// Every parameter spelled out with the default that --list prints: a choice by its name; a
// text parameter has no default to spell.
std::string SpelledOut(const EffectFamily& family) {
  std::string text = family.info.name;
  const char* separator = "=";
  const auto parameters = ParametersOf(family);
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    const ParameterSyntax* syntax = family.syntax != nullptr ? &family.syntax[i] : nullptr;
    if (syntax != nullptr && syntax->text) continue;
    const double value = parameters[i].default_value;
    const std::string spelled = syntax != nullptr && syntax->choices != nullptr
                                    ? syntax->choices[static_cast<std::size_t>(value)]
                                    : FormatNumber(value);
    text += separator + std::string(parameters[i].name) + "=" + spelled;
    separator = ":";
  }
  return text;
}

TEST(Chain, DefaultsSpelledOutGiveThePlainEffect) {
  for (const EffectFamily* row : EffectFamilies()) {
    const EffectFamily& family = *row;
    if (family.measuring.needsMeasurement != nullptr) continue;  // runs once measured
    for (uint32_t channels : {1u, 2u}) {
      const auto input = Music(30000, channels);
      const auto plain = RunChain(family.info.name, channels, 44100, input, 512);
      EXPECT_EQ(RunChain(SpelledOut(family), channels, 44100, input, 512), plain)
          << family.info.name;
      EXPECT_EQ(RunChain(std::string(family.info.name) + ",none", channels, 44100, input, 0),
                plain);
    }
  }
}

const char* const kChains[] = {
    "echo=delay=1:feedback=-0.95:wet=1:dry=1,reverb=size=4:decay=1.25",
    "lowpass,highpass,compress,distort,tremolo,echo,chorus,flanger,reverb",
    "flanger=min=0:max=100:rate=20:feedback=0.95,antique=bits=1:noise=0.1",
    "compress=threshold=-60:ratio=20:attack=0.1:release=1,widen=width=4",
    "tremolo=rate=100:depth=1,bitcrush=bits=12,distort=drive=100:level=1",
    "phaser=rate=100:depth=1:centre=20000:feedback=-0.99:mix=1:stages=12,dither=type=shaped",
    "freeverb=room_size=0.9:width=0.5:predelay=3,freeverb=wet_level=0.2:dry_level=0.3:freeze_mode="
    "1",
};

TEST(Chain, BlockSplitDoesNotChangeOutput) {
  for (const char* chain : kChains) {
    for (uint32_t channels : {1u, 2u, 3u}) {
      const auto input = Music(20000, channels);
      EXPECT_EQ(RunChain(chain, channels, 48000, input, 0),
                RunChain(chain, channels, 48000, input, 20000))
          << chain << " " << channels;
    }
  }
}

// Stages hand floats to each other: a chain is its stages run one after the other on floats,
// converted to 16 bits once at the end. Extreme settings stay finite.
TEST(Chain, StagesPassFloatsAndStayFinite) {
  for (const char* chain : kChains) {
    const auto input = Music(20000, 2);
    std::vector<float> values(input.size());
    SamplesToFloats(input.data(), values.data(), input.size());
    ChainRecipe recipe;
    ChainError problem;
    ASSERT_TRUE(ParseChain(chain, recipe, problem));
    std::string previous;
    for (uint32_t i = 0; i < recipe.count; ++i) {
      const EffectFamily& family = FamilyOf(recipe.stages[i].kind);
      std::string stage = family.info.name;
      const auto parameters = ParametersOf(family);
      for (std::size_t p = 0; p < parameters.size(); ++p) {
        const double value = recipe.stages[i].values[p];
        const bool named = family.syntax != nullptr && family.syntax[p].choices != nullptr;
        stage += (p == 0 ? "=" : ":") + std::string(parameters[p].name) + "=" +
                 (named ? family.syntax[p].choices[static_cast<std::size_t>(value)]
                        : FormatNumber(value));
      }
      wavfx_effect* effect = wavfx_chain_create(stage.c_str(), 2, 48000, nullptr);
      ASSERT_NE(effect, nullptr) << stage;
      ASSERT_EQ(wavfx_effect_process_float(effect, values.data(), 20000), WAVFX_OK);
      wavfx_effect_destroy(effect);
    }
    for (float value : values)
      ASSERT_TRUE(std::isfinite(value)) << chain;
    std::vector<int16_t> expected(values.size());
    FloatsToSamples(values.data(), expected.data(), values.size());
    EXPECT_EQ(RunChain(chain, 2, 48000, input, 4096), expected) << chain;
  }
}

TEST(Chain, ResetStartsOver) {
  const auto input = Music(9000, 2);
  wavfx_effect* effect = wavfx_chain_create(kChains[1], 2, 44100, nullptr);
  ASSERT_NE(effect, nullptr);
  auto first = input;
  auto second = input;
  wavfx_effect_process(effect, first.data(), 9000);
  ASSERT_EQ(wavfx_effect_reset(effect), WAVFX_OK);
  wavfx_effect_process(effect, second.data(), 9000);
  EXPECT_EQ(first, second);
  EXPECT_EQ(wavfx_effect_channels(effect), 2u);
  EXPECT_EQ(wavfx_effect_sample_rate(effect), 44100u);
  wavfx_effect_destroy(effect);
}

// NaN and the infinities are read as 0 and counted, wherever they fall in the vectors.
TEST(Chain, NonFiniteFloatsAreReadAsZeroAndCounted) {
  constexpr std::size_t kFrames = 50;
  std::vector<float> dirty(2 * kFrames), clean(2 * kFrames);
  uint64_t expected = 0;
  for (std::size_t i = 0; i < dirty.size(); ++i) {
    const float value = 0.01f * static_cast<float>(i % 13);
    const float bad[] = {NAN, INFINITY, -INFINITY};
    const bool isBad = i % 7 == 3 || i % 11 == 5;
    dirty[i] = isBad ? bad[i % 3] : value;
    clean[i] = isBad ? 0.0f : value;
    expected += isBad ? 1 : 0;
  }
  for (VectorPath path : {VectorPath::Scalar, VectorPath::Avx2, VectorPath::Avx512}) {
    if (!VectorPathAvailable(path)) continue;
    SetVectorPathForTesting(path);
    for (const char* text : {"echo", "lowpass,reverb"}) {
      ChainRecipe recipe;
      ChainError error;
      ASSERT_TRUE(ParseChain(text, recipe, error));
      EffectChain a, b;
      ASSERT_TRUE(InitChain(a, recipe, 2, 44100) && InitChain(b, recipe, 2, 44100));
      std::vector<float> x = dirty, y = clean;
      EXPECT_EQ(ProcessChainFloats(a, x.data(), kFrames), expected) << text;
      EXPECT_EQ(ProcessChainFloats(b, y.data(), kFrames), 0u) << text;
      EXPECT_EQ(x, y) << text;
      ReleaseChain(a);
      ReleaseChain(b);
    }
  }
  ResetVectorPathForTesting();
}

// A stereo stream through a chain told its length (0: not told), in blocks of random sizes.
std::vector<float> RunTold(const ChainRecipe& recipe, const std::vector<float>& in, uint64_t told,
                           bool& reshapes) {
  EffectChain chain;
  EXPECT_TRUE(InitChain(chain, recipe, 2, 44100, told));
  reshapes = chain.reshapes;
  std::mt19937 random(5);
  std::vector<float> out, room(2 * 600);
  for (std::size_t at = 0, consumed = 0; at < in.size() / 2; at += consumed) {
    const std::size_t block = std::min<std::size_t>(random() % 600, in.size() / 2 - at);
    std::size_t produced = consumed = block;
    if (reshapes) {
      FlowChain(chain, &in[2 * at], block, room.data(), 600, sizeof(float), consumed, produced);
    } else {
      std::copy_n(&in[2 * at], 2 * block, room.data());
      ProcessChainFinite(chain, room.data(), block);
    }
    out.insert(out.end(), room.begin(), room.begin() + 2 * produced);
  }
  for (std::size_t flushed = 1; reshapes && flushed > 0;) {
    flushed = DrainChain(chain, room.data(), 600, sizeof(float));
    out.insert(out.end(), room.begin(), room.begin() + 2 * flushed);
  }
  ReleaseChain(chain);
  return out;
}

// Told the stream's length, stages run in place where they can (a lone fade: nothing left to
// flow), with the flow's bits.
TEST(Chain, KnownLengthKeepsTheOutput) {
  std::vector<float> in(2 * 2000);
  for (std::size_t i = 0; i < in.size(); ++i)
    in[i] = 0.8f * std::sin(0.01f * static_cast<float>(i));
  for (const char* text : {"fade=in=700s:out=900s", "fade=in=3000s:out=2500s:shape=hsin",
                           "gain=db=5,fade=out=300s:shape=log,limiter,fade=in=50s:shape=para",
                           "fade=in=100s:out=99s:shape=qsin,trim=start=10s,fade=out=200s"}) {
    ChainRecipe recipe;
    ChainError error;
    ASSERT_TRUE(ParseChain(text, recipe, error));
    bool flows = false, streamed = false;
    const std::vector<float> told = RunTold(recipe, in, 2000, flows);
    EXPECT_EQ(RunTold(recipe, in, 0, streamed), told) << text;
    EXPECT_EQ(flows, std::string(text).find(',') != std::string::npos) << text;
  }
}

// An alias takes a number on its own scale and gives the parameter the value it stands for.
// A limiter retuned over its own buffers keeps its state: the same settings again change nothing,
// and with truepeak=0 a lower ceiling holds from the next frame out, held frames included.
TEST(Chain, RetunedLimiterKeepsItsStateAndTakesItsNewCeiling) {
  const auto settings = [](const char* text) {
    ChainRecipe recipe;
    ChainError error;
    EXPECT_TRUE(ParseChain(text, recipe, error)) << text;
    return recipe.stages[0];
  };
  const auto run = [&](const char* first, const char* then) {
    std::vector<float> samples(20000 * 2);
    std::mt19937 random(5);
    std::normal_distribution<float> noise(0.0f, 0.8f);
    for (float& sample : samples)
      sample = noise(random);
    TunableChain tunable;
    EXPECT_TRUE(InitTunableChain(tunable, settings(first), 2, 44100));
    ProcessChainFloats(tunable.chain, samples.data(), 10000);
    if (then != nullptr) {
      EXPECT_TRUE(RetuneChain(tunable, settings(then)));
    }
    ProcessChainFloats(tunable.chain, samples.data() + 20000, 10000);
    ReleaseTunableChain(tunable);
    return samples;
  };
  for (const char* limiter : {"limiter=lookahead=20", "limiter=lookahead=20:truepeak=0"})
    EXPECT_EQ(run(limiter, limiter), run(limiter, nullptr)) << limiter;
  const auto lowered = run("limiter=truepeak=0:lookahead=20",
                           "limiter=truepeak=0:lookahead=20:ceiling=-12:release=5");
  const float ceiling = std::pow(10.0f, -12.0f / 20.0f);
  for (std::size_t i = 20000; i < lowered.size(); ++i)
    ASSERT_LE(std::fabs(lowered[i]), ceiling) << "sample " << i;
}

TEST(Chain, AliasesGiveTheirParameter) {
  const char* const pairs[][2] = {
      {"freeverb=room_size=1", "freeverb=reverberance=100"},
      {"freeverb=room_size=0", "freeverb=reverberance=23.831643083413113"},
      {"freeverb=wet_level=0.3333333333333333", "freeverb=wet=0"},
      {"freeverb=width=0.5", "freeverb=depth=50"},
      {"freeverb=dry_level=0.25", "freeverb=dry=0.5"},
      {"freeverb=freeze_mode=0.7", "freeverb=freeze=yes"},
      {"freeverb=freeze=1", "freeverb=freeze=yes"},
  };
  for (const auto& pair : pairs) {
    ChainRecipe alias, plain;
    ChainError error;
    ASSERT_TRUE(ParseChain(pair[0], alias, error)) << error.message;
    ASSERT_TRUE(ParseChain(pair[1], plain, error)) << error.message;
    for (std::size_t i = 0; i < kMaxParameters; ++i)
      EXPECT_NEAR(alias.stages[0].values[i], plain.stages[0].values[i], 1e-9) << pair[0];
  }
}

TEST(Chain, RefusesMistakesWithOneClearLine) {
  struct Case {
    const char* text;
    int32_t code;
    const char* message;
  };
  const Case cases[] = {
      {"", WAVFX_ERROR_EMPTY_STAGE, "the chain is empty"},
      {"echo,,reverb", WAVFX_ERROR_EMPTY_STAGE, "stage 2 is empty: an effect name is missing"},
      {"echo,", WAVFX_ERROR_EMPTY_STAGE, "stage 2 is empty: an effect name is missing"},
      {"lowpass,wobble=x=1", WAVFX_ERROR_UNKNOWN_EFFECT,
       "stage 2 (wobble): unknown effect (wavfx --list shows them)"},
      {"echo=delay", WAVFX_ERROR_BAD_VALUE, "stage 1 (echo): 'delay' needs the form key=value"},
      {"echo=", WAVFX_ERROR_BAD_VALUE, "stage 1 (echo): an empty key=value"},
      {"echo=delay=250:", WAVFX_ERROR_BAD_VALUE, "stage 1 (echo): an empty key=value"},
      {"Echo=Time=1", WAVFX_ERROR_UNKNOWN_PARAMETER,
       "stage 1 (echo): unknown parameter 'Time' (it takes delay, feedback, wet, dry)"},
      {"none=wet=1", WAVFX_ERROR_UNKNOWN_PARAMETER,
       "stage 1 (none): unknown parameter 'wet' (it takes none)"},
      {"echo=delay=250:DELAY=300", WAVFX_ERROR_DUPLICATE,
       "stage 1 (echo): delay '300' given twice"},
      {"echo=delay=abc", WAVFX_ERROR_BAD_VALUE,
       "stage 1 (echo): delay 'abc' is not a finite number (1 to 5000 ms)"},
      {"echo=delay=nan", WAVFX_ERROR_BAD_VALUE,
       "stage 1 (echo): delay 'nan' is not a finite number (1 to 5000 ms)"},
      {"echo=delay=inf", WAVFX_ERROR_BAD_VALUE,
       "stage 1 (echo): delay 'inf' is not a finite number (1 to 5000 ms)"},
      {"echo=delay=1e400", WAVFX_ERROR_BAD_VALUE,
       "stage 1 (echo): delay '1e400' is not a finite number (1 to 5000 ms)"},
      {"echo=delay=0x10", WAVFX_ERROR_BAD_VALUE,
       "stage 1 (echo): delay '0x10' is not a finite number (1 to 5000 ms)"},
      {"echo=delay=5000.5", WAVFX_ERROR_OUT_OF_RANGE,
       "stage 1 (echo): delay '5000.5' is out of range (1 to 5000 ms)"},
      {"lowpass,echo=feedback=-1", WAVFX_ERROR_OUT_OF_RANGE,
       "stage 2 (echo): feedback '-1' is out of range (-0.95 to 0.95)"},
      {"bitcrush=bits=6.5", WAVFX_ERROR_BAD_VALUE,
       "stage 1 (bitcrush): bits '6.5' is not a whole number (4 to 12)"},
      {"chorus=min=30:max=20", WAVFX_ERROR_CONFLICT,
       "stage 1 (chorus): min 30 ms is above max 20 ms"},
      {"freeverb=wet_level=0.05", WAVFX_ERROR_OUT_OF_RANGE,
       "stage 1 (freeverb): wet_level '0.05' is out of range (as wet: -10 to 10 dB)"},
      {"freeverb=room_size=0.5:reverberance=50", WAVFX_ERROR_DUPLICATE,
       "stage 1 (freeverb): reverberance '50' given twice"},
      {"freeverb=freeze=2", WAVFX_ERROR_BAD_VALUE,
       "stage 1 (freeverb): freeze '2' is not one of no, yes"},
      {"compand=points=-10/-20:times=0.1/x", WAVFX_ERROR_CONFLICT,
       "stage 1 (compand): times: 'x' is not a time of at least 0 s"},
      {"compand=times=1/1:points=-10/0/-20/0", WAVFX_ERROR_CONFLICT,
       "stage 1 (compand): points: input levels must increase (-20 dB)"},
  };
  for (const Case& c : cases) {
    wavfx_error error;
    EXPECT_EQ(wavfx_chain_create(c.text, 2, 44100, &error), nullptr) << c.text;
    EXPECT_EQ(error.code, c.code) << c.text;
    EXPECT_STREQ(error.message, c.message) << c.text;
  }
  std::string tooMany = "none";
  for (uint32_t i = 0; i < kMaxStages; ++i)
    tooMany += ",none";
  wavfx_error error;
  EXPECT_EQ(wavfx_chain_create(tooMany.c_str(), 1, 8000, &error), nullptr);
  EXPECT_EQ(error.code, WAVFX_ERROR_TOO_MANY_STAGES);
  EXPECT_EQ(wavfx_chain_create("echo", 0, 8000, &error), nullptr);
  EXPECT_EQ(error.code, WAVFX_ERROR_BAD_STREAM);
  EXPECT_EQ(wavfx_chain_create(nullptr, 1, 8000, &error), nullptr);
  EXPECT_EQ(error.code, WAVFX_ERROR_NULL_ARGUMENT);
  wavfx_effect* blanks =
      wavfx_chain_create(" ECHO = Delay = +250 : wet=0.25 , Concert ", 1, 8000, nullptr);
  EXPECT_NE(blanks, nullptr);
  wavfx_effect_destroy(blanks);
}

}  // namespace
}  // namespace wavfx
