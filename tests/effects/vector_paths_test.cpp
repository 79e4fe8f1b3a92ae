#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "dsp/sample_conversion.h"
#include "dsp/simd_dispatch.h"
#include "dsp/true_peak.h"
#include "effects/antique.h"
#include "effects/compand.h"
#include "effects/compressor.h"
#include "effects/one_pole.h"
#include "effects/phaser.h"
#include "engine/chain.h"
#include "engine/chain_text.h"
#include "engine/effect.h"
#include "measure/meter.h"
#include "support/effect_runner.h"

namespace wavfx {
namespace {

using testing::RunEffect;

std::vector<VectorPath> AvailablePaths() {
  std::vector<VectorPath> paths;
  for (const VectorPath path : {VectorPath::Scalar, VectorPath::Avx2, VectorPath::Avx512}) {
    if (VectorPathAvailable(path)) paths.push_back(path);
  }
  return paths;
}

// Restores the automatic choice of path when a test ends.
class VectorPaths : public ::testing::Test {
 protected:
  void TearDown() override { ResetVectorPathForTesting(); }
};

uint32_t NextRandom(uint32_t& state) {
  state = state * 1664525u + 1013904223u;
  return state;
}

// Noise at a few levels, silences (long enough for feedback to decay into subnormal floats),
// full-scale extremes and a tone.
std::vector<int16_t> MixedSignal(std::size_t frames, uint32_t channels) {
  std::vector<int16_t> samples(frames * channels);
  uint32_t random = 12345;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const std::size_t frame = i / channels;
    const std::size_t part = frame * 8 / frames;
    const auto noise = static_cast<int32_t>(NextRandom(random) >> 16) - 32768;
    switch (part) {
      case 0:
        samples[i] = static_cast<int16_t>(noise);
        break;
      case 1:
      case 2:
      case 3:
        samples[i] = 0;
        break;
      case 4:
        samples[i] = static_cast<int16_t>(noise / 64);
        break;
      case 5:
        samples[i] = static_cast<int16_t>(i % 2 ? 32767 : -32768);
        break;
      case 6:
        samples[i] =
            static_cast<int16_t>(std::lround(20000 * std::sin(0.01 * static_cast<double>(frame))));
        break;
      default:
        samples[i] = static_cast<int16_t>(NextRandom(random) % 3) - 1;
        break;
    }
  }
  return samples;
}

TEST_F(VectorPaths, EveryEffectGivesTheScalarPathsSamples) {
  for (const EffectName& name : EffectNames()) {
    for (const uint32_t channels : {1u, 2u, 3u}) {
      for (const uint32_t rate : {44100u, 8000u, 10u}) {
        const auto input = MixedSignal(rate == 10 ? 3000 : 120000, channels);
        std::vector<int16_t> reference;
        for (const VectorPath path : AvailablePaths()) {
          SetVectorPathForTesting(path);
          ASSERT_EQ(ActiveVectorPath(), path);
          // Blocks of a prime number of frames, so that vectors end mid-block.
          const auto output = RunEffect(name.literal, channels, rate, input, 509);
          if (reference.empty()) {
            reference = output;
          } else {
            ASSERT_EQ(output, reference) << name.literal << " " << channels << " channels at "
                                         << rate << " Hz, path " << static_cast<int>(path);
          }
        }
      }
    }
  }
}

TEST_F(VectorPaths, FramesWiderThanAChunkAgree) {
  for (const EffectName& name : EffectNames()) {
    const auto input = MixedSignal(64, 700);
    std::vector<int16_t> reference;
    for (const VectorPath path : AvailablePaths()) {
      SetVectorPathForTesting(path);
      const auto output = RunEffect(name.literal, 700, 44100, input, 5);
      if (reference.empty()) {
        reference = output;
      } else {
        ASSERT_EQ(output, reference) << name.literal << " path " << static_cast<int>(path);
      }
    }
  }
}

TEST_F(VectorPaths, MemorylessEffectsAgreeOnEverySample) {
  std::vector<int16_t> every(65536);
  for (int s = 0; s < 65536; ++s)
    every[static_cast<std::size_t>(s)] = static_cast<int16_t>(s - 32768);
  for (const char* effect : {"distort", "bitcrush", "tremolo", "widen", "compress"}) {
    std::vector<int16_t> reference;
    for (const VectorPath path : AvailablePaths()) {
      SetVectorPathForTesting(path);
      const auto output = RunEffect(effect, 2, 44100, every, 1000);
      if (reference.empty()) {
        reference = output;
      } else {
        ASSERT_EQ(output, reference) << effect << " path " << static_cast<int>(path);
      }
    }
  }
}

// The phaser's float output, bit for bit, across sweeps that reach both clamps and every stage
// count the skewed kernel lays out (one channel, or two side by side), in blocks of random size.
TEST_F(VectorPaths, PhaserGivesTheScalarPathsBits) {
  struct Sweep {
    float rate;
    double depth, centre;
    float feedback;
    uint32_t stages;
  };
  for (const Sweep& sweep : {Sweep{0.01f, 0.5, 1300.0, 0.0f, 6},
                             Sweep{100.0f, 1.0, 19000.0, 0.0f, 1}, Sweep{37.0f, 1.0, 25.0, 0.0f, 3},
                             Sweep{5.0f, 0.7, 700.0, 0.0f, 8}, Sweep{90.0f, 0.9, 3000.0, 0.0f, 12},
                             Sweep{3.0f, 0.0, 500.0, 0.0f, 2}, Sweep{7.0f, 1.0, 900.0, 0.6f, 4}}) {
    for (const uint32_t channels : {1u, 2u, 3u}) {
      const std::vector<int16_t> mixed = MixedSignal(20000, channels);
      std::vector<uint32_t> reference;
      for (const VectorPath path : AvailablePaths()) {
        SetVectorPathForTesting(path);
        PhaserState state{};
        InitPhaser(state, 44100, channels, sweep.rate, sweep.depth, sweep.centre, sweep.feedback,
                   0.7f, sweep.stages);
        std::vector<float> values(mixed.size());
        SamplesToFloats(mixed.data(), values.data(), mixed.size());
        uint32_t random = 99;
        for (std::size_t at = 0; at < 20000;) {
          const auto frames = std::min<std::size_t>(NextRandom(random) % 1500 + 1, 20000 - at);
          ProcessPhaser(state, values.data() + at * channels, static_cast<int32_t>(frames));
          at += frames;
        }
        ReleasePhaser(state);
        std::vector<uint32_t> bits(values.size());
        std::transform(values.begin(), values.end(), bits.begin(),
                       [](float v) { return std::bit_cast<uint32_t>(v); });
        if (reference.empty()) reference = bits;
        ASSERT_EQ(bits, reference) << sweep.stages << " stages, " << channels << " channels, path "
                                   << static_cast<int>(path);
      }
    }
  }
}

// The phaser's own 16-bit path (a lone stage in a chain) gives the bits of converting around it,
// in blocks shorter and longer than its chunks, with and without the skewed kernel.
TEST_F(VectorPaths, PhaserOn16BitSamplesGivesTheConvertedBits) {
  for (const char* text : {"phaser", "phaser=stages=4:rate=37:depth=1:centre=25",
                           "phaser=stages=5:rate=100:depth=1:centre=19000",
                           "phaser=stages=8:rate=90:depth=0.9:centre=3000:mix=1",
                           "phaser=stages=12", "phaser=stages=6:feedback=0.6"}) {
    ChainRecipe recipe;
    ChainError error;
    ASSERT_TRUE(ParseChain(text, recipe, error)) << text;
    for (const uint32_t channels : {1u, 2u, 3u}) {
      const std::vector<int16_t> input = MixedSignal(60000, channels);
      std::vector<int16_t> reference;
      for (const VectorPath path : AvailablePaths()) {
        SetVectorPathForTesting(path);
        std::vector<int16_t> samples = input;
        EffectChain chain;
        ASSERT_TRUE(InitChain(chain, recipe, channels, 44100));
        uint32_t random = 7;
        for (std::size_t at = 0; at < 60000;) {
          const std::size_t longest = NextRandom(random) % 2 ? 9000 : 100;
          const auto frames = std::min<std::size_t>(NextRandom(random) % longest + 1, 60000 - at);
          ProcessChainSamples(chain, samples.data() + at * channels, frames);
          at += frames;
        }
        ReleaseChain(chain);
        if (reference.empty()) reference = samples;
        ASSERT_EQ(samples, reference)
            << text << ", " << channels << " channels, path " << static_cast<int>(path);
      }
    }
  }
}

// The true peak, loudness sums and statistics of every channel, whatever the path and however the
// stream is cut; and the largest interpolated value of a quiet window with one peak anywhere,
// where groups of points that the samples bound below the largest are left out.
TEST_F(VectorPaths, MeterIsTheSameOnEveryPathAndCut) {
  std::vector<float> window(211);
  for (std::size_t i = 0; i < window.size(); ++i)
    window[i] = (i % 3 == 0 ? -0.01f : 0.01f) * static_cast<float>(i % 5);
  for (std::size_t peak = 0; peak < window.size(); ++peak) {
    const float quiet = window[peak];
    window[peak] = 0.5f;
    float expected = 0.2f;
    for (std::size_t n = 0; n < 200; ++n)
      expected = std::max(expected, LargestMagnitude(TruePeakPoint(window.data() + n, 1)));
    for (const VectorPath path : AvailablePaths()) {
      SetVectorPathForTesting(path);
      EXPECT_EQ(LargestPointMagnitude(window.data(), 200, 0.2f), expected) << peak;
    }
    window[peak] = quiet;
  }

  const std::vector<int16_t> mixed = MixedSignal(6000, 3);
  std::vector<float> samples(mixed.size());
  for (std::size_t i = 0; i < mixed.size(); ++i)
    samples[i] = SampleToFloat(mixed[i]) * (i % 7 == 0 ? 3e38f : 1.0f);
  std::vector<double> expected;
  for (const VectorPath path : AvailablePaths()) {
    SetVectorPathForTesting(path);
    for (const std::size_t cut : {std::size_t{1}, std::size_t{5}, std::size_t{6000}}) {
      Meter meter;
      InitMeter(meter, 3, 48000, {});
      for (std::size_t at = 0; at < 6000; at += cut)
        MeterFloats(meter, samples.data() + at * 3, std::min(cut, 6000 - at));
      std::vector<double> values(meter.truePeaks.begin(), meter.truePeaks.end());
      values.insert(values.end(), meter.loudness.memories.begin(), meter.loudness.memories.end());
      values.insert(values.end(), meter.loudness.squares.begin(), meter.loudness.squares.end());
      values.push_back(meter.loudness.recentEnergy[0]);
      for (const ChannelStats& stats : meter.stats) {
        values.insert(values.end(), {stats.sum, stats.sumOfSquares, stats.minimum, stats.maximum});
      }
      if (expected.empty()) expected = values;
      ASSERT_EQ(values.size(), expected.size());
      EXPECT_EQ(std::memcmp(values.data(), expected.data(), sizeof(double) * values.size()), 0)
          << "path " << static_cast<int>(path) << " in blocks of " << cut;
    }
  }
}

// The limiter on every path and however the stream is cut, with peaks far above its ceiling and
// interpolated sums that overflow.
TEST_F(VectorPaths, LimiterIsTheSameOnEveryPathAndCut) {
  const std::vector<int16_t> mixed = MixedSignal(6000, 2);
  std::vector<float> input(mixed.size());
  for (std::size_t i = 0; i < mixed.size(); ++i)
    input[i] = SampleToFloat(mixed[i]) * (i % 997 == 0 ? 3e38f : 4.0f);
  for (const char* text : {"limiter", "limiter=lookahead=20:truepeak=0", "limiter=lookahead=0.1"}) {
    std::vector<float> expected;
    for (const VectorPath path : AvailablePaths()) {
      SetVectorPathForTesting(path);
      for (const int32_t cut : {1, 37, 6000}) {
        EffectState state;
        testing::InitStage(state, text, 2, 44100);
        std::vector<float> samples = input;
        for (int32_t at = 0; at < 6000; at += cut)
          ProcessEffectFloats(state, samples.data() + 2 * at, std::min(cut, 6000 - at));
        ReleaseEffect(state);
        if (expected.empty()) expected = samples;
        ASSERT_EQ(std::memcmp(samples.data(), expected.data(), sizeof(float) * samples.size()), 0)
            << text << ", path " << static_cast<int>(path) << " in blocks of " << cut;
      }
    }
  }
}

// The compander's gains on every path, bit for bit against the scalar function, at levels over
// the whole range: zero, subnormals, the floor, both sides of every segment's edge and of the
// log's split at sqrt(1/2), 1 and beyond, infinity and NaN; with curves whose gains reach the
// exponential's subnormal results and its overflow, and one of more segments than the AVX-512
// path's tables hold.
TEST_F(VectorPaths, CompandGainsAreTheScalarBitsAtEveryLevel) {
  const double inf = std::numeric_limits<double>::infinity();
  for (const char* text : {"compand", "compand=points=-80/-80/-40/-20/-10/-10:gain=-3",
                           "compand=points=-inf/-60/-40/-30/-10/-8:knee=4:gain=-2",
                           "compand=points=-12000/-12000/-6000/-1:knee=100:gain=200",
                           "compand=points=-20000/-20000/-1/-9000", "compand=points=-30",
                           "compand=points=-90/-90/-80/-75/-70/-60/-60/-50/-50/-42/-40/-35/-30/"
                           "-28/-20/-19/-10/-10"}) {
    EffectState state;
    testing::InitStage(state, text, 1, 44100);
    const CompandCurve& curve = StateOf<CompandState>(state).curve;
    std::vector<double> edges = {0x1p-1074,      0x1p-1060, DBL_MIN, 1.0,
                                 std::sqrt(0.5), 2.0,       DBL_MAX, curve.floorLevel};
    for (uint32_t k = 0; k <= curve.last + 1; ++k)
      edges.push_back(std::exp(curve.segments[k].x));
    std::vector<double> levels = {0.0, -0.0, -1.0,
                                  inf, -inf, std::numeric_limits<double>::quiet_NaN()};
    for (const double edge : edges) {
      double below = edge, above = edge;
      for (int i = 0; i < 4; ++i) {
        levels.insert(levels.end(), {below, above});
        below = std::nextafter(below, 0.0);
        above = std::nextafter(above, inf);
      }
    }
    uint32_t random = 5;
    for (int i = 0; i < 20000; ++i)
      levels.push_back(std::ldexp(1.0 + NextRandom(random) * 0x1p-32,
                                  static_cast<int>(NextRandom(random) % 1120) - 1080));
    std::vector<uint64_t> expected;
    for (const double level : levels)
      expected.push_back(std::bit_cast<uint64_t>(CompandGain(curve, level)));
    for (const VectorPath path : AvailablePaths()) {
      SetVectorPathForTesting(path);
      std::vector<double> gains(levels.size());
      CompandGains(curve, levels.data(), gains.data(), levels.size());
      for (std::size_t i = 0; i < levels.size(); ++i) {
        ASSERT_EQ(std::bit_cast<uint64_t>(gains[i]), expected[i])
            << text << ", level " << levels[i] << ", path " << static_cast<int>(path);
      }
    }
    ReleaseEffect(state);
  }
}

TEST_F(VectorPaths, ConversionsAgreeWithTheScalarFunctions) {
  std::vector<float> values;
  for (uint64_t bits = 0; bits < (uint64_t{1} << 32); bits += 4099) {
    values.push_back(std::bit_cast<float>(static_cast<uint32_t>(bits)));
  }
  const float inf = std::numeric_limits<float>::infinity();
  for (const float special : {0.0f,
                              -0.0f,
                              inf,
                              -inf,
                              std::numeric_limits<float>::quiet_NaN(),
                              FLT_MIN,
                              -FLT_MIN,
                              1.0f,
                              -1.0f,
                              2.0f,
                              -2.0f,
                              1.0000153f,
                              -1.0000154f,
                              0.5f / 32767.0f,
                              -0.5f / 32767.0f,
                              32766.5f / 32767.0f,
                              kClipsFrom,
                              std::nextafter(kClipsFrom, 0.0f),
                              kClipsBelow,
                              std::nextafter(kClipsBelow, -2.0f)}) {
    values.push_back(special);
  }
  std::vector<int16_t> expected(values.size());
  uint64_t expectedClips = 0;
  for (std::size_t i = 0; i < values.size(); ++i) {
    expected[i] = FloatToSample(values[i]);
    const double scaled = static_cast<double>(values[i]) * 32767.0 + 0.5;
    expectedClips += scaled >= 32768.0 || scaled < -32768.0 ? 1 : 0;
  }
  std::vector<int16_t> every(65536);
  std::vector<float> expectedFloats(every.size());
  for (std::size_t i = 0; i < every.size(); ++i) {
    every[i] = static_cast<int16_t>(static_cast<int32_t>(i) - 32768);
    expectedFloats[i] = SampleToFloat(every[i]);
  }
  for (const VectorPath path : AvailablePaths()) {
    SetVectorPathForTesting(path);
    std::vector<int16_t> samples(values.size());
    FloatsToSamples(values.data(), samples.data(), values.size());
    EXPECT_EQ(samples, expected) << static_cast<int>(path);
    std::vector<int16_t> counted(values.size());
    EXPECT_EQ(FloatsToSamplesCountingClips(values.data(), counted.data(), values.size()),
              expectedClips);
    EXPECT_EQ(counted, expected) << static_cast<int>(path);
    // Lengths that end mid-vector.
    std::vector<float> floats(every.size());
    SamplesToFloats(every.data(), floats.data(), every.size() - 5);
    SamplesToFloats(every.data() + every.size() - 5, floats.data() + every.size() - 5, 5);
    EXPECT_EQ(floats, expectedFloats) << static_cast<int>(path);
  }
}

// The filters, the antique effect and the compressor set memories and envelopes that have
// decayed into subnormal floats to 0. These references keep them, as the arithmetic alone
// would; the outputs must not differ.

std::vector<int16_t> ReferenceOnePole(const std::vector<int16_t>& input, uint32_t rate,
                                      float cutoff, bool highpass) {
  OnePoleState state{};
  InitOnePole(state, rate, cutoff, 1);
  float memory = 0.0f;
  std::vector<int16_t> output;
  for (const int16_t sample : input) {
    const float x = SampleToFloat(sample);
    const float y = (1.0f - state.coefficient) * x + memory * state.coefficient;
    memory = y;
    output.push_back(FloatToSample(highpass ? x - y : y));
  }
  return output;
}

std::vector<int16_t> ReferenceCompressor(const std::vector<int16_t>& input, int32_t rate) {
  CompressorState state{};
  InitCompressor(state, rate, -12.0f, 4.0f, 10.0f, 100.0f, 1);
  float envelope = 0.0f;
  std::vector<int16_t> output;
  for (const int16_t sample : input) {
    const float peak = std::fabs(SampleToFloat(sample));
    const float c = peak > envelope ? state.attackCoeff : state.releaseCoeff;
    envelope = (1.0f - c) * peak + c * envelope;
    float gain = 1.0f;
    if (envelope > state.threshold) {
      gain = 1.0f /
             static_cast<float>(std::pow(static_cast<double>(envelope / state.threshold), 0.75));
    }
    output.push_back(FloatToSample(SampleToFloat(sample) * gain));
  }
  return output;
}

// Bursts of noise and of tiny values between silences long enough to reach subnormal floats.
std::vector<int16_t> BurstsAndSilences(uint32_t rate) {
  std::vector<int16_t> samples;
  uint32_t random = 99;
  for (int burst = 0; burst < 4; ++burst) {
    const int32_t scale = burst % 2 == 0 ? 1 : 32768;
    for (uint32_t i = 0; i < rate / 10; ++i) {
      samples.push_back(
          static_cast<int16_t>((static_cast<int32_t>(NextRandom(random) >> 16) - 32768) / scale));
    }
    samples.insert(samples.end(), static_cast<std::size_t>(rate) * (burst == 1 ? 12 : 3), 0);
  }
  return samples;
}

TEST_F(VectorPaths, FlushedFilterMemoriesChangeNoSample) {
  for (const uint32_t rate : {44100u, 8000u, 1000000u}) {
    const auto input = BurstsAndSilences(std::min(rate, 44100u));
    EXPECT_EQ(RunEffect("lowpass", 1, rate, input), ReferenceOnePole(input, rate, 3000.0f, false));
    EXPECT_EQ(RunEffect("highpass", 1, rate, input), ReferenceOnePole(input, rate, 300.0f, true));
  }
}

TEST_F(VectorPaths, FlushedFilterMemoriesEndAtZero) {
  OnePoleState state{};
  InitOnePole(state, 44100, 3000.0f, 2);
  std::vector<float> block(2 * 512, 0.0f);
  block[0] = 1.0f;
  block[1] = -1.0f;
  for (int i = 0; i < 10; ++i) {
    ProcessLowpass(state, block.data(), 512);
    std::fill(block.begin(), block.end(), 0.0f);
  }
  // Without the flush both memories would stay at the smallest subnormal float for good.
  EXPECT_EQ(state.memory0, 0.0f);
  EXPECT_EQ(state.memory1, 0.0f);
}

TEST_F(VectorPaths, FlushedEnvelopeChangesNoSample) {
  for (const int32_t rate : {44100, 8000}) {
    const auto input = BurstsAndSilences(static_cast<uint32_t>(rate));
    EXPECT_EQ(RunEffect("compress", 1, static_cast<uint32_t>(rate), input),
              ReferenceCompressor(input, rate));
  }
}

TEST_F(VectorPaths, AntiqueIsTheSameWhateverTheBlocks) {
  // The memories are flushed at the end of a block only; block sizes must not matter.
  const auto input = BurstsAndSilences(44100);
  const auto whole = RunEffect("antique", 1, 44100, input, 1 << 30);
  for (const int32_t blockFrames : {1, 7, 512, 4096}) {
    EXPECT_EQ(RunEffect("antique", 1, 44100, input, blockFrames), whole) << blockFrames;
  }
}

// The antique effect's noise and quantiser on every path, mono and stereo, with its filter
// passing values through: at every bit depth, values on and beside every level's edge, and random
// values with the loudest noise; NaN, infinities and values far out of range among them.
TEST_F(VectorPaths, AntiqueQuantiserAgreesAtEveryDepth) {
  for (int32_t bits = 1; bits <= 16; ++bits) {
    const double half = static_cast<double>((1 << bits) - 1) * 0.5;
    std::vector<float> input;
    for (int32_t k = 0; k <= (1 << bits); ++k) {
      const float edge = static_cast<float>(k / half) - 1.0f;
      float below = edge, above = edge;
      for (int i = 0; i < 3; ++i) {
        input.insert(input.end(), {below, above});
        below = std::nextafter(below, -2.0f);
        above = std::nextafter(above, 2.0f);
      }
    }
    // Values whose product with half lies just below a whole number n, where the product in
    // single precision rounds up onto n: v = j / 2^e with j * top = n * 2^(e + 1) - r.
    const auto top = static_cast<uint64_t>((1 << bits) - 1);
    for (const int e : {23, 24}) {
      for (uint64_t n = top / 2; n < top; ++n) {
        for (uint64_t r = 1; r <= 3; ++r) {
          const uint64_t product = (n << (e + 1)) - r;
          const uint64_t j = product / top;
          if (product % top != 0 || j < (1u << 23) || j >= (1u << 24)) continue;
          input.push_back(std::ldexp(static_cast<float>(j), -e) - 1.0f);
        }
      }
    }
    uint32_t random = 7;
    for (int i = 0; i < 4000; ++i) {
      input.push_back(static_cast<float>(NextRandom(random)) * 6e-10f - 1.3f);
    }
    for (const float odd : {std::numeric_limits<float>::quiet_NaN(), INFINITY, -INFINITY, 3.0f,
                            -3.0f, FLT_TRUE_MIN, -0.0f, 1e30f}) {
      input.push_back(odd);
    }
    for (const auto& [channels, noise] :
         {std::pair{1u, 0.0f}, {1u, 0.1f}, {2u, 0.0f}, {2u, 0.1f}}) {
      std::vector<uint32_t> reference;
      for (const VectorPath path : AvailablePaths()) {
        SetVectorPathForTesting(path);
        AntiqueState state{};
        InitAntique(state, 44100, channels, 4000.0f, noise, bits, 0.9f);
        state.coefficient = 0.0f;
        std::vector<float> output = input;
        ProcessAntique(state, output.data(), static_cast<int32_t>(output.size() / channels));
        std::vector<uint32_t> outputBits;
        for (const float value : output)
          outputBits.push_back(std::bit_cast<uint32_t>(value));
        outputBits.push_back(state.noiseSeed);
        if (reference.empty()) {
          reference = outputBits;
        } else {
          ASSERT_EQ(outputBits, reference)
              << bits << " bits, noise " << noise << ", path " << static_cast<int>(path);
        }
      }
    }
  }
}

}  // namespace
}  // namespace wavfx
