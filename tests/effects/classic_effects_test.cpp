// The classic families side by side: what each derives from the stream, reference outputs and
// settled levels, and how each meets empty blocks, missing channels and missing memory. Their
// shared properties are in effect_properties_test.cpp, their whole outputs in the golden tables.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "effects/antique.h"
#include "effects/compressor.h"
#include "effects/echo.h"
#include "effects/mod_delay.h"
#include "effects/one_pole.h"
#include "effects/reverb.h"
#include "effects/tremolo.h"
#include "engine/effect.h"
#include "support/effect_runner.h"
#include "support/failing_allocator.h"

namespace wavfx {
namespace {

using testing::Channel;
using testing::Constant;
using testing::Impulse;
using testing::InitStage;
using testing::RunEffect;
using Samples = std::vector<int16_t>;
using Values = std::vector<double>;

constexpr float kTwoPi = 6.2831855f;

const char* const kClassic[] = {"tremolo", "antique", "lowpass", "highpass", "compress", "echo",
                                "reverb",  "flanger", "chorus",  "bitcrush", "distort",  "widen"};

Samples Interleave(const Samples& left, const Samples& right) {
  Samples both;
  for (std::size_t f = 0; f < left.size(); ++f)
    both.insert(both.end(), {left[f], right[f]});
  return both;
}

Samples Tone(std::size_t frames, double step, double amplitude) {
  Samples samples(frames);
  for (std::size_t f = 0; f < frames; ++f)
    samples[f] = static_cast<int16_t>(amplitude * std::sin(step * static_cast<double>(f)));
  return samples;
}

Values TremoloStep(EffectState& s) {
  return {StateOf<TremoloState>(s).oscillator.increment};
}
Values AntiquePole(EffectState& s) {
  return {StateOf<AntiqueState>(s).coefficient};
}
// The one-pole filter leads the lowpass's and highpass's record.
Values OnePolePole(EffectState& s) {
  return {StateOf<OnePoleState>(s).coefficient};
}
Values CompressorTimes(EffectState& s) {
  return {StateOf<CompressorState>(s).attackCoeff, StateOf<CompressorState>(s).releaseCoeff};
}
Values EchoLength(EffectState& s) {
  return {static_cast<double>(StateOf<EchoState>(s).line.length)};
}
Values CombLengths(EffectState& s) {
  Values lengths;
  for (const DelayLine* combs :
       {StateOf<ReverbState>(s).firstCombs, StateOf<ReverbState>(s).secondCombs}) {
    for (int i = 0; i < 4; ++i)
      lengths.push_back(combs[i].length);
  }
  return lengths;
}
Values SweepLength(EffectState& s) {
  return {static_cast<double>(StateOf<ModDelayState>(s).line.length)};
}
Values Sweep(EffectState& s) {
  const ModDelayState& m = StateOf<ModDelayState>(s);
  return {static_cast<double>(m.line.length), m.minDelay, m.maxDelay, m.oscillator.increment};
}

TEST(ClassicEffects, DeriveTheirSettingsFromTheStream) {
  struct Case {
    const char* name;
    uint32_t channels;
    uint32_t rate;
    Values (*derived)(EffectState&);
    Values expected;
  };
  const Case cases[] = {
      {"tremolo", 1, 8000, TremoloStep, {0.003926991019397974f}},
      {"tremolo", 2, 22050, TremoloStep, {0.0014247585786506534f}},
      {"tremolo", 2, 44100, TremoloStep, {0.0007123792893253267f}},
      {"tremolo", 2, 48000, TremoloStep, {0.0006544984644278884f}},
      // Below 8000 Hz the cutoff is 0.45 of the rate (7999 Hz: 3599.55 Hz); from 8000 Hz 4 kHz.
      {"antique", 1, 4000, AntiquePole, {0.0591645129f}},
      {"antique", 1, 7999, AntiquePole, {0.0591645092f}},
      {"antique", 1, 8000, AntiquePole, {0.0432139188f}},
      {"antique", 1, 11025, AntiquePole, {0.102323726f}},
      {"antique", 1, 22050, AntiquePole, {0.319880784f}},
      {"antique", 1, 44100, AntiquePole, {0.56558007f}},
      {"antique", 1, 48000, AntiquePole, {0.592384875f}},
      {"lowpass", 1, 8000, OnePolePole, {0.0947802216f}},
      {"lowpass", 1, 11025, OnePolePole, {0.180918202f}},
      {"lowpass", 1, 16000, OnePolePole, {0.307863981f}},
      {"lowpass", 1, 22050, OnePolePole, {0.425344795f}},
      {"lowpass", 1, 32000, OnePolePole, {0.554854929f}},
      {"lowpass", 1, 44100, OnePolePole, {0.652184665f}},
      {"lowpass", 1, 48000, OnePolePole, {0.675231934f}},
      {"highpass", 1, 8000, OnePolePole, {0.790081263f}},
      {"highpass", 1, 11025, OnePolePole, {0.842845976f}},
      {"highpass", 1, 16000, OnePolePole, {0.888865173f}},
      {"highpass", 1, 22050, OnePolePole, {0.918066442f}},
      {"highpass", 1, 32000, OnePolePole, {0.942796469f}},
      {"highpass", 1, 44100, OnePolePole, {0.958157837f}},
      {"highpass", 1, 48000, OnePolePole, {0.961491168f}},
      // Wherever 0.45 of the rate limits the cutoff the pole is exp(-0.9 pi) (to rounding); at 22
      // Hz the limit wins over the 10 Hz floor, which would give exp(-2 pi 10 / 22) = 0.0574.
      {"lowpass", 1, 6000, OnePolePole, {0.0591645129f}},
      {"lowpass", 1, 22, OnePolePole, {0.0591645166f}},
      {"highpass", 1, 666, OnePolePole, {0.0591645204f}},
      {"highpass", 1, 100, OnePolePole, {0.0591645129f}},
      {"highpass", 1, 4, OnePolePole, {0.0591645166f}},
      {"compress", 2, 0, CompressorTimes, {0.0f, 0.0f}},
      {"compress", 2, 8000, CompressorTimes, {0.98757780f, 0.99875081f}},
      {"compress", 2, 22050, CompressorTimes, {0.99547511f, 0.99954659f}},
      {"compress", 2, 44100, CompressorTimes, {0.99773502f, 0.99977326f}},
      {"compress", 2, 48000, CompressorTimes, {0.99791884f, 0.99979168f}},
      {"echo", 1, 8000, EchoLength, {2800}},
      {"echo", 1, 11025, EchoLength, {3858}},
      {"echo", 1, 16000, EchoLength, {5600}},
      {"echo", 1, 22050, EchoLength, {7717}},
      {"echo", 1, 32000, EchoLength, {11200}},
      {"echo", 1, 44100, EchoLength, {15435}},
      {"echo", 1, 48000, EchoLength, {16800}},
      {"echo", 1, 88200, EchoLength, {30870}},
      {"echo", 1, 96000, EchoLength, {33600}},
      {"echo", 2, 44100, EchoLength, {30870}},
      // Below 3 Hz the delay rounds to no frame and one whole frame is kept.
      {"echo", 1, 0, EchoLength, {1}},
      {"echo", 1, 2, EchoLength, {1}},
      {"echo", 2, 1, EchoLength, {2}},
      {"echo", 3, 0, EchoLength, {3}},
      {"echo", 6, 2, EchoLength, {6}},
      // Only stereo gets the second set, with the same delays rotated by one.
      {"reverb", 1, 44100, CombLengths, {1493, 1733, 1999, 2311, 0, 0, 0, 0}},
      {"reverb", 3, 44100, CombLengths, {1493, 1733, 1999, 2311, 0, 0, 0, 0}},
      {"reverb", 2, 8000, CombLengths, {270, 314, 362, 419, 314, 362, 419, 270}},
      {"reverb", 2, 11025, CombLengths, {373, 433, 499, 577, 433, 499, 577, 373}},
      {"reverb", 2, 22050, CombLengths, {746, 866, 999, 1155, 866, 999, 1155, 746}},
      {"reverb", 2, 44100, CombLengths, {1493, 1733, 1999, 2311, 1733, 1999, 2311, 1493}},
      {"reverb", 2, 48000, CombLengths, {1625, 1886, 2175, 2515, 1886, 2175, 2515, 1625}},
      // Low rates, and rates of 2^31 and up (negative as signed), give combs of at least one.
      {"reverb", 2, 0, CombLengths, {1, 1, 1, 1, 1, 1, 1, 1}},
      {"reverb", 2, 1, CombLengths, {1, 1, 1, 1, 1, 1, 1, 1}},
      {"reverb", 2, 19, CombLengths, {1, 1, 1, 1, 1, 1, 1, 1}},
      {"reverb", 2, 38, CombLengths, {1, 1, 1, 1, 1, 1, 1, 1}},
      {"reverb", 2, 39, CombLengths, {1, 1, 1, 2, 1, 1, 2, 1}},
      {"reverb", 2, 0x80000000u, CombLengths, {1, 1, 1, 1, 1, 1, 1, 1}},
      {"reverb", 2, 0xFFFFFFFFu, CombLengths, {1, 1, 1, 1, 1, 1, 1, 1}},
      // Buffer values, shortest and longest delay, phase step. 0.3f lies above 0.3, so the
      // flanger's shortest delays are one step above the floats nearest 6.615, 13.23 and 14.4.
      {"flanger", 1, 8000, Sweep, {40, 2.4f, 40.0f, 0.00019634955f}},
      {"flanger", 1, 22050, Sweep, {110, 6.61500025f, 110.25f, 7.1237926e-05f}},
      {"flanger", 1, 44100, Sweep, {220, 13.2300005f, 220.5f, 3.5618963e-05f}},
      {"flanger", 1, 48000, Sweep, {240, 14.4000006f, 240.0f, 3.2724922e-05f}},
      {"chorus", 1, 8000, Sweep, {200, 80.0f, 200.0f, 0.00023561946f}},
      {"chorus", 1, 22050, Sweep, {551, 220.5f, 551.25f, 8.5485517e-05f}},
      {"chorus", 1, 44100, Sweep, {1102, 441.0f, 1102.5f, 4.2742759e-05f}},
      {"chorus", 5, 48000, Sweep, {6000, 480.0f, 1200.0f, 3.9269911e-05f}},
      // 5 ms is under 2 frames below 400 Hz; negative rates land there too.
      {"flanger", 3, 1, SweepLength, {6}},
      {"flanger", 3, 100, SweepLength, {6}},
      {"flanger", 3, 399, SweepLength, {6}},
      {"flanger", 3, 400, SweepLength, {6}},
      {"flanger", 3, 599, SweepLength, {6}},
      {"flanger", 3, 600, SweepLength, {9}},
      {"flanger", 3, 0x80000000u, SweepLength, {6}},
      {"flanger", 3, 0xFFFFFFFFu, SweepLength, {6}},
  };
  for (const Case& c : cases) {
    EffectState state{};
    InitEffect(state, c.name, c.channels, c.rate);
    EXPECT_EQ(c.derived(state), c.expected) << c.name << " " << c.channels << " x " << c.rate;
    ReleaseEffect(state);
  }
}

TEST(ClassicEffects, ReferenceOutputs) {
  struct Case {
    const char* name;
    uint32_t channels;
    uint32_t rate;
    Samples input;
    Samples expected;
  };
  const Samples wide = {32767, -32768, 16385, -16385, 1,  0, 12345, -2, 32767,
                        32767, -32768, 7,     20000,  -1, 3, 4,     5,  6};
  const Samples drive = {1000, -1000, 4096, 0, 8192, 32767};
  const Samples distorted = {1747, -1747, 6934, 0, 12469, 15291};
  const Samples mixed = {100, -100, 300, 16384, -16384, 32767};
  const Samples crushed = {0, -256, 256, 16384, -16383, 32511};
  // Both sides beyond full scale are clamped; without a side signal only the conversions act.
  const Samples sides = {16384, 0,     0,     16384,  32767,  -32768, -32768, 32767, 1000,
                         1000,  32767, 32767, -32768, -32768, -1,     1,      0,     0};
  const Samples widened = {20479, -4096, -4096, 20479,  32767,  -32768, -32768, 32767, 1000,
                           1000,  32766, 32766, -32767, -32767, -1,     1,      0,     0};
  const Case cases[] = {
      // The tremolo's gain is 1 at the first frame and the same for every channel of a frame.
      {"tremolo",
       7,
       44100,
       {0, 1000, -1000, 16384, 32767, -32768, -16384},
       {0, 1000, -1000, 16384, 32766, -32767, -16383}},
      {"tremolo", 1, 44100, Constant(16384, 3), {16384, 16388, 16392}},
      {"antique", 1, 44100, Constant(32767, 6), {12606, 20007, 24170, 26252, 27640, 28334}},
      {"antique", 1, 44100, Constant(-32768, 6), {-12837, -20238, -24170, -26483, -27871, -28565}},
      {"antique", 1, 44100, Constant(16384, 6), {6361, 10061, 11912, 13068, 13762, 14225}},
      {"lowpass", 1, 44100, Impulse(32767, 5), {11397, 7433, 4847, 3161, 2062}},
      {"lowpass", 1, 44100, Constant(32767, 3), {11397, 18829, 23677}},
      {"lowpass", 1, 44100, Constant(-32768, 3), {-11397, -18830, -23677}},
      {"highpass", 1, 44100, Constant(16384, 5), {15698, 15041, 14412, 13809, 13231}},
      // The step back up overshoots full scale and is clipped.
      {"highpass",
       1,
       44100,
       {-32768, -32768, -32768, 32767, 32767, 32767},
       {-31396, -30082, -28824, 32767, 32767, 32292}},
      // Stereo channels have their own memories; beyond stereo the others share one.
      {"lowpass", 2, 44100, Impulse(32767, 3, 2, 1), {0, 11397, 0, 7433, 0, 4847}},
      {"lowpass", 2, 44100, Impulse(32767, 3, 2, 0), {11397, 0, 7433, 0, 4847, 0}},
      {"lowpass", 3, 44100, Impulse(32767, 3, 3, 0), {11397, 0, 0, 7433, 0, 0, 4847, 0, 0}},
      {"lowpass",
       3,
       44100,
       Impulse(32767, 3, 3, 1),
       {0, 11397, 7433, 0, 4847, 3161, 0, 2062, 1345}},
      // A single frame leaves the envelope far below the threshold: only the conversions act.
      {"compress",
       8,
       44100,
       {32767, 16385, -32768, -16384, 16384, 1, 0, -1},
       {32766, 16384, -32767, -16383, 16384, 1, 0, -1}},
      // At 0 Hz the envelope follows each peak: full compression at once, nothing held over.
      {"compress", 1, 0, {16384, 16384, 0, 32767}, {9776, 9776, 0, 11626}},
      {"echo", 2, 10, Interleave(Impulse(32767, 9), Constant(10000, 9)),
       Interleave({22936, 0, 0, 16383, 0, 0, 7372, 0, 0},
                  {7000, 7000, 7000, 12000, 12000, 12000, 14250, 14250, 14250})},
      {"echo",
       1,
       10,
       Constant(-32768, 9),
       {-22937, -22937, -22937, -32768, -32768, -32768, -32768, -32768, -32768}},
      {"echo", 1, 0, Impulse(32767, 4), {22936, 16383, 7372, 3318}},
      {"echo", 1, 2, Impulse(32767, 4), {22936, 16383, 7372, 3318}},
      // Four one-frame combs in series: the wet impulse arrives four frames late.
      {"reverb", 1, 0, Impulse(16384, 5), {11468, 0, 0, 0, 6881}},
      // Channels beyond stereo are only rescaled.
      {"reverb",
       3,
       44100,
       {16384, 16384, 1000, 1000, 32767, -32768, 0, 0, 0},
       {11468, 18350, 1120, 700, 32767, -32768, 0, 0, 0}},
      {"distort",
       1,
       44100,
       {0, 1, -1, 1000, 4096, 8192, 16384, 32767, -32768, 13031, -13031},
       {0, 2, -2, 1747, 6934, 12469, 15291, 15291, -15291, 15290, -15290}},
      {"distort", 2, 44100, drive, distorted},
      {"distort", 3, 44100, drive, distorted},
      {"bitcrush", 2, 44100, mixed, crushed},
      {"bitcrush", 3, 44100, mixed, crushed},
      {"widen", 2, 44100, sides, widened},
      {"widen", 1, 44100, wide, wide},
      {"widen", 3, 44100, wide, wide},
      {"widen", 6, 44100, wide, wide},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RunEffect(c.name, c.channels, c.rate, c.input), c.expected)
        << c.name << " " << c.channels << " x " << c.rate << ", first sample " << c.input[0];
  }
}

TEST(ClassicEffects, ConstantInputsSettle) {
  struct Case {
    const char* name;
    uint32_t rate;
    int16_t level;
    std::size_t frames;
    std::size_t from;  // every output from here on lies in [low, high]
    int16_t low;
    int16_t high;
  };
  const Case cases[] = {
      // The lowpass ends at the conversions' round trip; the highpass decays towards zero.
      {"lowpass", 44100, 32767, 400, 399, 32766, 32766},
      {"lowpass", 44100, -32768, 400, 399, -32767, -32767},
      {"lowpass", 44100, 16384, 400, 399, 16383, 16383},
      {"lowpass", 44100, 100, 400, 399, 100, 100},
      {"highpass", 44100, 16384, 3000, 2999, 0, 49},
      // The levels of the antique's quantiser around the filtered constant, noise included.
      {"antique", 44100, 32767, 3000, 100, 29259, 29490},
      {"antique", 44100, -32768, 3000, 100, -29490, -29490},
      {"antique", 44100, 16384, 3000, 100, 14456, 14687},
      {"compress", 44100, 16384, 8000, 3885, 9777, 9777},
      {"compress", 44100, 32767, 8000, 4357, 11626, 11626},
      {"compress", 44100, -32768, 8000, 7000, -11626, -11626},
      // 0.7 x + 0.5 x / (1 - 0.45).
      {"echo", 10, 10000, 300, 299, 16090, 16090},
      {"reverb", 44100, 300, 441000, 440999, 25293, 25293},
      {"reverb", 44100, 390, 441000, 440999, 32767, 32767},
      // x (wet / (1 - feedback) + dry): the buffer recirculates the input, not the output.
      {"flanger", 44100, 10000, 8000, 7000, 15570, 15571},
      {"flanger", 44100, -15000, 8000, 7000, -23357, -23356},
      {"chorus", 44100, 10000, 8000, 7000, 12555, 12556},
      {"chorus", 44100, -15000, 8000, 7000, -18833, -18832},
  };
  for (const Case& c : cases) {
    const Samples output = RunEffect(c.name, 1, c.rate, Constant(c.level, c.frames), 4096);
    for (std::size_t f = c.from; f < c.frames; ++f) {
      ASSERT_GE(output[f], c.low) << c.name << " " << c.level << " frame " << f;
      ASSERT_LE(output[f], c.high) << c.name << " " << c.level << " frame " << f;
    }
  }
}

// Each channel of these effects is what the mono effect makes of it: alike in every channel, or
// alone among silent ones.
TEST(ClassicEffects, ChannelsStandAlone) {
  const Samples tone = Tone(6000, 0.013, 30000.0);
  for (const char* name :
       {"tremolo", "echo", "flanger", "chorus", "compress", "distort", "bitcrush"}) {
    const Samples mono = RunEffect(name, 1, 8000, tone);
    for (uint32_t channels : {2u, 3u}) {
      Samples alike;
      Samples alone(tone.size() * channels, 0);
      for (std::size_t f = 0; f < tone.size(); ++f) {
        alike.insert(alike.end(), channels, tone[f]);
        alone[f * channels + channels - 1] = tone[f];
      }
      const Samples fromAlike = RunEffect(name, channels, 8000, alike);
      const Samples fromAlone = RunEffect(name, channels, 8000, alone);
      for (uint32_t c = 0; c < channels; ++c) {
        EXPECT_EQ(Channel(fromAlike, channels, c), mono) << name << " " << channels << " " << c;
        EXPECT_EQ(Channel(fromAlone, channels, c),
                  c + 1 == channels ? mono : Samples(tone.size(), 0))
            << name << " " << channels << " " << c;
      }
    }
  }
}

// Empty and negative frame counts leave the block and the effect's record as they were.
TEST(ClassicEffects, EmptyAndNegativeBlocksChangeNothing) {
  for (const char* name : kClassic) {
    EffectState state{};
    InitEffect(state, name, 2, 44100);
    std::vector<float> block(128);
    for (std::size_t i = 0; i < block.size(); ++i)
      block[i] = static_cast<float>(i % 7) * 0.1f - 0.3f;
    ProcessEffectFloats(state, block.data(), 64);
    const std::vector<float> processed = block;
    const auto* record = static_cast<const unsigned char*>(state.record);
    const std::vector<unsigned char> before(record, record + state.family->ops.stateSize);
    for (int32_t frames : {0, -1, -4096, INT32_MIN})
      ProcessEffectFloats(state, block.data(), frames);
    EXPECT_EQ(block, processed) << name;
    EXPECT_EQ(std::vector<unsigned char>(record, record + before.size()), before) << name;
    ReleaseEffect(state);
  }
}

Oscillator& TremoloOscillator(EffectState& s) {
  return StateOf<TremoloState>(s).oscillator;
}
Oscillator& SweepOscillator(EffectState& s) {
  return StateOf<ModDelayState>(s).oscillator;
}

// A phase moves on once a frame, with or without channels, and is reduced by 2 pi once strictly
// above it, by one subtraction a frame at most.
TEST(ClassicEffects, PhasesStepOncePerFrameAndWrapOnlyAboveTwoPi) {
  struct Case {
    const char* name;
    Oscillator& (*oscillator)(EffectState&);
    uint32_t channels;
    int32_t frames;
    float phase;
    float increment;
    float next;
  };
  const float above = std::nextafter(kTwoPi, 7.0f);
  const Case cases[] = {
      {"tremolo", TremoloOscillator, 1, 1, kTwoPi, 0.0f, kTwoPi},
      {"tremolo", TremoloOscillator, 1, 1, above, 0.0f, above - kTwoPi},
      {"tremolo", TremoloOscillator, 1, 1, 6.28f, 0.01f, (0.01f + 6.28f) - kTwoPi},
      {"tremolo", TremoloOscillator, 1, 1, 20.0f, 0.0f, 20.0f - kTwoPi},
      {"tremolo", TremoloOscillator, 2, 3, 1.0f, 0.5f, 2.5f},
      {"tremolo", TremoloOscillator, 0, 3, 1.0f, 0.5f, 2.5f},
      {"flanger", SweepOscillator, 1, 1, kTwoPi - 0.5f, 0.5f, kTwoPi},
      {"flanger", SweepOscillator, 0, 3, 1.0f, 0.5f, 2.5f},
      {"chorus", SweepOscillator, 1, 1, kTwoPi, 0.5f, kTwoPi + 0.5f - kTwoPi},
      {"chorus", SweepOscillator, 0, 3, 5.5f, 0.5f, 6.5f - kTwoPi + 0.5f},
  };
  for (const Case& c : cases) {
    EffectState state{};
    InitEffect(state, c.name, c.channels, 44100);
    c.oscillator(state) = {c.phase, c.increment};
    float samples[6] = {0.5f};
    ProcessEffectFloats(state, samples, c.frames);
    EXPECT_EQ(c.oscillator(state).phase, c.next)
        << c.name << " " << c.channels << ": " << c.phase << " + " << c.increment;
    if (c.channels == 0) {
      EXPECT_EQ(samples[0], 0.5f) << c.name;  // no channel, no sample touched
    }
    ReleaseEffect(state);
  }
}

// Buffers that cannot be had (the allocation fails, or would hold 2^32 values or more) leave the
// effect passing its audio through untouched, and its release safe to repeat.
TEST(ClassicEffects, MissingBuffersPassAudioThrough) {
  struct Case {
    const char* stage;
    uint32_t channels;
    uint32_t rate;
    int failOn;  // the allocation that fails; 0: none may be asked for
  };
  const Case cases[] = {
      {"echo", 2, 44100, 1},
      {"flanger", 1, 44100, 1},
      {"chorus", 2, 44100, 1},
      // Each of the reverb's combs may fail, the first or one after others succeeded.
      {"reverb", 1, 44100, 1},
      {"reverb", 1, 44100, 4},
      {"reverb", 2, 44100, 1},
      {"reverb", 2, 44100, 3},
      {"reverb", 2, 44100, 5},
      {"reverb", 2, 44100, 8},
      {"reverb", 3, 44100, 2},
      // 1503238553 frames of 3 channels would wrap to a small, wrong 32-bit size; five seconds
      // are more than 2^32 frames.
      {"echo", 3, 0xFFFFFFFFu, 0},
      {"echo=delay=5000", 3, 0xFFFFFFFFu, 0},
      {"chorus", 1u << 22, 44100, 0},  // 1102 frames of 2^22 channels
  };
  for (const Case& c : cases) {
    std::vector<float> floats(c.channels);
    Samples samples(c.channels);
    for (std::size_t i = 0; i < floats.size(); ++i) {
      floats[i] = i % 4 == 3 ? 1e30f : static_cast<float>(i % 5) * 0.5f - 1.0f;
      samples[i] = static_cast<int16_t>(i % 2 == 0 ? 32767 : -32768);
    }
    const std::vector<float> floatsIn = floats;
    const Samples samplesIn = samples;
    EffectState state{};
    {
      testing::ScopedFailingAllocator allocator(c.failOn);
      InitStage(state, c.stage, c.channels, c.rate);
      // The failing allocation was asked for; none at all for sizes beyond 32 bits.
      EXPECT_EQ(c.failOn == 0 ? allocator.Calls() == 0 : allocator.Calls() >= c.failOn, true)
          << c.stage << " " << c.channels;
    }
    EXPECT_FALSE(EffectHasItsBuffers(state)) << c.stage << " " << c.channels;
    ProcessEffectFloats(state, floats.data(), 1);
    ProcessEffect(state, samples.data(), 1);
    EXPECT_EQ(floats, floatsIn) << c.stage << " " << c.channels << ", failing " << c.failOn;
    EXPECT_EQ(samples, samplesIn) << c.stage << " " << c.channels << ", failing " << c.failOn;
    state.family->ops.release(state.record);
    ReleaseEffect(state);
  }
}

// A release empties the record, so that a second one, like one of a record never initialised,
// frees nothing (a double free aborts under the address sanitizer).
TEST(ClassicEffects, ReleaseTwiceIsSafe) {
  for (const char* name : {"echo", "reverb", "flanger", "chorus"}) {
    for (uint32_t channels : {0u, 1u, 2u, 3u}) {
      EffectState state{};
      InitEffect(state, name, channels, 44100);
      state.family->ops.release(state.record);
      EXPECT_FALSE(EffectHasItsBuffers(state)) << name << " " << channels;
      ReleaseEffect(state);
    }
  }
  for (const char* name : kClassic) {
    const EffectFamily& family = FamilyOf(KindOfName(name));
    std::vector<std::max_align_t> blank(family.ops.stateSize / sizeof(std::max_align_t) + 1);
    if (family.ops.release != nullptr) family.ops.release(blank.data());
  }
}

}  // namespace
}  // namespace wavfx
