#pragma once

// The vector kernels, written once over the traits of an instruction set: simd_avx2.cpp and
// simd_avx512.cpp each compile them for their own, with every function of the file targeted at
// it. Vector operations are the scalar code's IEEE operations lane by lane, in the same order
// and without fused multiply-add, so every lane ends with the scalar path's bits. Kernels that
// return a count leave the values from there on to the scalar code.
//
// Everything here has internal linkage, so the two compilations never meet at link time. The
// including file includes the headers below before it switches the target on, all but
// fast_sine.h, whose templates are to be compiled for the target.

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "dsp/compand_curve.h"
#include "dsp/effect_math.h"
#include "dsp/fast_power.h"
#include "dsp/fast_sine.h"
#include "dsp/sample_conversion.h"
#include "dsp/true_peak.h"

namespace wavfx {
namespace {

constexpr float kSoftClipThird = std::bit_cast<float>(0x3EAAAAAAu);

template <class V>
void ToFloatVectors(const int16_t* samples, float* values, std::size_t count) {
  std::size_t i = 0;
  for (; i + V::kLanes <= count; i += V::kLanes) {
    V::Store(values + i, V::LoadSamples(samples + i));
  }
  for (; i < count; ++i) {
    values[i] = SampleToFloat(samples[i]);
  }
}

template <class V>
void ToSampleVectors(const float* values, int16_t* samples, std::size_t count) {
  std::size_t i = 0;
  for (; i + V::kLanes <= count; i += V::kLanes) {
    V::StoreSamples(samples + i, V::Load(values + i));
  }
  for (; i < count; ++i) {
    samples[i] = FloatToSample(values[i]);
  }
}

template <class V>
std::size_t ToSampleVectorsCountingClips(const float* values, int16_t* samples, std::size_t count,
                                         uint64_t& clipped) {
  std::size_t i = 0;
  for (; i + V::kLanes <= count; i += V::kLanes) {
    const auto x = V::Load(values + i);
    V::StoreSamples(samples + i, x);
    clipped +=
        static_cast<uint64_t>(std::popcount(V::Bits(V::GreaterEqual(x, V::Splat(kClipsFrom))) |
                                            V::Bits(V::Less(x, V::Splat(kClipsBelow)))));
  }
  return i;
}

template <class V>
std::size_t IntsToFloatVectors(const int32_t* samples, float* values, std::size_t count,
                               float scale) {
  std::size_t i = 0;
  for (; i + V::kLanes <= count; i += V::kLanes) {
    const auto ints = V::LoadInts(reinterpret_cast<const uint32_t*>(samples + i));
    V::Store(values + i, V::IntsToFloats(ints) * V::Splat(scale));
  }
  return i;
}

// Each value that is not finite becomes 0 (x - x is 0 exactly for the finite ones); adds how
// many there were to `found`.
template <class V>
std::size_t ZeroNonFiniteVectors(float* values, std::size_t count, uint64_t& found) {
  std::size_t i = 0;
  for (; i + V::kLanes <= count; i += V::kLanes) {
    const auto x = V::Load(values + i);
    const auto finite = V::Equal(x - x, V::Splat(0.0f));
    const unsigned bits = V::Bits(finite);
    if (bits == V::kAllLanes) continue;
    found += static_cast<uint64_t>(V::kLanes) - static_cast<uint64_t>(std::popcount(bits));
    V::Store(values + i, V::Select(finite, x, V::Splat(0.0f)));
  }
  return i;
}

// floor(x * top + 0.5) clamped to [-top - 1, top], counting the values clamped in `outside`.
// Clamping before the floor gives the floor's clamped value: both bounds are whole, and a value
// from top to top + 1 floors to top either way.
template <class V>
auto WholeOfDoubles(typename V::Double x, double top, uint64_t& outside) {
  const double bottom = -top - 1.0;
  const auto scaled = x * top + 0.5;
  const unsigned high = V::DoubleBitsOf(V::GreaterEqualDouble(scaled, V::SplatDouble(top + 1.0)));
  const unsigned low = V::DoubleBitsOf(V::LessDouble(scaled, V::SplatDouble(bottom)));
  outside += static_cast<uint64_t>(std::popcount(high | low));
  const auto clamped =
      V::MinDouble(V::MaxDouble(scaled, V::SplatDouble(bottom)), V::SplatDouble(top));
  return V::TruncateDoubles(V::FloorDouble(clamped));
}

template <class V>
std::size_t FloatsToIntVectors(const float* values, int32_t* samples, std::size_t count, double top,
                               uint64_t& clipped) {
  uint64_t outside = 0;
  std::size_t i = 0;
  for (; i + V::kLanes <= count; i += V::kLanes) {
    auto x = V::Load(values + i);
    x = V::Select(V::Equal(x, x), x, V::Splat(0.0f));  // NaN gives 0
    const auto ints = V::JoinInts(WholeOfDoubles<V>(V::LowHalf(x), top, outside),
                                  WholeOfDoubles<V>(V::HighHalf(x), top, outside));
    V::StoreInts(reinterpret_cast<uint32_t*>(samples + i), ints);
  }
  clipped += outside;
  return i;
}

template <class V>
std::size_t DistortVectors(float* values, std::size_t count, float drive, float outputLevel) {
  const auto driveVector = V::Splat(drive);
  const auto level = V::Splat(outputLevel);
  const auto third = V::Splat(kSoftClipThird);
  std::size_t i = 0;
  for (; i + V::kLanes <= count; i += V::kLanes) {
    auto v = V::Load(values + i) * driveVector;
    v = V::Min(v, V::Splat(1.0f));
    v = V::Max(v, V::Splat(-1.0f));
    V::Store(values + i, level * (v - v * v * v * third));
  }
  return i;
}

// Maxima and minima return their second operand when the first is NaN: a NaN gives level 0.
template <class V>
std::size_t CrushVectors(float* values, std::size_t count, float half, float top, float step) {
  std::size_t i = 0;
  for (; i + V::kLanes <= count; i += V::kLanes) {
    const auto t = (V::Load(values + i) + V::Splat(1.0f)) * V::Splat(half);
    auto q = V::Floor(t);
    q = V::Max(q, V::Splat(0.0f));
    q = V::Min(q, V::Splat(top));
    V::Store(values + i, V::Splat(step) * q - V::Splat(1.0f));
  }
  return i;
}

// Left lanes compute side + mid; right lanes compute (-side) + mid, which is mid - side: the
// side of a right lane, width * ((R - L) * 0.5), is exactly the negated side of its left lane.
template <class V>
std::size_t WidenVectors(float* values, std::size_t frames, float width) {
  const std::size_t count = 2 * frames;
  std::size_t i = 0;
  for (; i + V::kLanes <= count; i += V::kLanes) {
    const auto own = V::Load(values + i);
    const auto other = V::SwapPairs(own);
    const auto mid = (own + other) * V::Splat(0.5f);
    const auto side = V::Splat(width) * ((own - other) * V::Splat(0.5f));
    V::Store(values + i, side + mid);
  }
  return i / 2;
}

// The antique effect's generator, seed * 1664525 + 1013904223 modulo 2^32, taken k steps at
// once: seed * a_k + c_k, for k = 1 to 16.
struct GeneratorSteps {
  uint32_t multipliers[16];
  uint32_t increments[16];
};

constexpr GeneratorSteps MakeGeneratorSteps() {
  GeneratorSteps steps{};
  uint32_t multiplier = 1;
  uint32_t increment = 0;
  for (int k = 0; k < 16; ++k) {
    multiplier *= 1664525u;
    increment = increment * 1664525u + 1013904223u;
    steps.multipliers[k] = multiplier;
    steps.increments[k] = increment;
  }
  return steps;
}

constexpr GeneratorSteps kGeneratorSteps = MakeGeneratorSteps();

// The multiplier's inverse modulo 2^32, by Newton's iteration (each step doubles the bits).
constexpr uint32_t InverseModulo2To32(uint32_t odd) {
  uint32_t x = odd;
  for (int i = 0; i < 5; ++i)
    x *= 2u - odd * x;
  return x;
}

// The antique effect's noise and quantiser with their settings. Every lane carries its own
// generator state, moved on by a vector's length of steps per vector, so no lane waits on
// another and the states never leave the vector registers.
template <class V>
class Ageing {
 public:
  Ageing(uint32_t seed, float noiseLevel, double half, float level)
      : seeds_(V::MultiplyAdd(V::SplatInt(seed), V::LoadInts(kGeneratorSteps.multipliers),
                              V::LoadInts(kGeneratorSteps.increments))),
        noiseLevel_(noiseLevel),
        halfSingle_(static_cast<float>(half)),
        topSingle_(static_cast<float>(half * 2.0)),
        level_(level) {}

  // A vector of filtered values aged, with the scalar code's results through exact rewrites:
  // the noise's two scalings are one (doubling is exact), the clamp of v * half to
  // [0, L - 1] is a clamp of v to [0, 2] (v * half is exact in double), and the quantiser
  // runs in single precision. Minima and maxima return their second operand when it is NaN,
  // so a NaN stays NaN.
  typename V::Float Age(typename V::Float filtered) {
    constexpr double kNoiseScale = 4.656612875245797e-10 * 2.0;
    const auto noise = V::Narrow(V::LowLow31(seeds_) * kNoiseScale - 1.0,
                                 V::HighLow31(seeds_) * kNoiseScale - 1.0);
    seeds_ = V::MultiplyAdd(seeds_, V::SplatInt(kGeneratorSteps.multipliers[V::kLanes - 1]),
                            V::SplatInt(kGeneratorSteps.increments[V::kLanes - 1]));
    auto v = noise * V::Splat(noiseLevel_) + filtered + V::Splat(1.0f);
    v = V::Min(V::Splat(2.0f), V::Max(V::Splat(0.0f), v));
    return QuantiseLevel(v) * V::Splat(level_);
  }

  // float(floor(v * half) * step - 1.0) for v in [0, 2] or NaN. The floor of the exact product
  // follows from the single-precision product and its exact remainder (a fused
  // multiply-subtract): a product rounded up onto a whole number is one too high. Level k
  // maps to (2k - top) / top correctly rounded, which is what the double expression gives at
  // every level of every depth (VectorPaths.AntiqueQuantiserAgreesAtEveryDepth).
  typename V::Float QuantiseLevel(typename V::Float v) const {
    const auto half = V::Splat(halfSingle_);
    const auto scaled = v * half;
    const auto remainder = V::MultiplySubtract(v, half, scaled);
    auto k = V::Floor(scaled);
    const auto roundedUp = V::And(V::Equal(k, scaled), V::Less(remainder, V::Splat(0.0f)));
    k = V::Select(roundedUp, k - V::Splat(1.0f), k);
    const auto top = V::Splat(topSingle_);
    return (k + k - top) / top;
  }

  // The seed of the last value aged: one generator step back from the next vector's first.
  uint32_t Seed() const {
    constexpr uint32_t kInverse = InverseModulo2To32(1664525u);
    return (V::FirstLane(seeds_) - 1013904223u) * kInverse;
  }

 private:
  decltype(V::SplatInt(0)) seeds_;
  float noiseLevel_;
  float halfSingle_;
  float topSingle_;
  float level_;
};

template <class V>
std::size_t AgeVectors(float* values, std::size_t count, uint32_t& seed, float noiseLevel,
                       double half, float outputLevel) {
  if (count < V::kLanes) return 0;
  Ageing<V> ageing(seed, noiseLevel, half, outputLevel);
  std::size_t i = 0;
  for (; i + V::kLanes <= count; i += V::kLanes) {
    V::Store(values + i, ageing.Age(V::Load(values + i)));
  }
  seed = ageing.Seed();
  return i;
}

// A vector of frames as floats, from 16-bit samples or floats, and back.
template <class V>
typename V::Float LoadFrames(const int16_t* samples) {
  return V::LoadSamples(samples);
}
template <class V>
typename V::Float LoadFrames(const float* values) {
  return V::Load(values);
}
template <class V>
void StoreFrames(int16_t* samples, typename V::Float values) {
  V::StoreSamples(samples, values);
}
template <class V>
void StoreFrames(float* samples, typename V::Float values) {
  V::Store(samples, values);
}

// What follows the filter where nothing does.
struct NoAgeing {
  template <class Float>
  Float Age(Float values) const {
    return values;
  }
};

// A one-pole filter over stereo frames in place, 16-bit samples converted in and out in the same
// loop, or floats.
// The two channels' recurrences, a frame a step in the low lanes of a Pair, set the pace. Each
// vector (with `age`, after the antique effect's noise and quantiser) is converted and stored
// after the next one's recurrences: its values are ready by then, so the conversion fills idle
// units instead of waiting in the schedulers.
template <class V, bool kHighpass, class Sample, class After>
std::size_t FilterStereo(Sample* samples, std::size_t frames, float a, float* memories,
                         After& after) {
  constexpr std::size_t kFrames = V::kLanes / 2;
  const std::size_t vectors = frames / kFrames;
  if (vectors == 0) return 0;
  alignas(64) float in[V::kLanes];
  typename V::Pair out[kFrames];
  const auto pole = V::PairSplat(a);
  const auto gain = V::PairSplat(1.0f - a);
  auto memory = V::PairOf(memories[0], memories[1]);
  auto previous = V::Splat(0.0f);
  for (std::size_t vector = 0; vector < vectors; ++vector) {
    Sample* at = samples + 2 * kFrames * vector;
    V::Store(in, LoadFrames<V>(at));
    for (std::size_t j = 0; j < V::kLanes; j += 2) {
      const auto x = V::LoadPair(in + j);
      memory = gain * x + memory * pole;
      out[j / 2] = kHighpass ? x - memory : memory;
    }
    if (vector > 0) StoreFrames<V>(at - 2 * kFrames, previous);
    previous = V::FromPairs(out);
    previous = after.Age(previous);
  }
  StoreFrames<V>(samples + 2 * kFrames * (vectors - 1), previous);
  memories[0] = V::LeftOf(memory);
  memories[1] = V::RightOf(memory);
  return vectors * kFrames;
}

template <class V>
std::size_t OnePoleSampleVectors(int16_t* samples, std::size_t frames, float a, float* memories,
                                 bool highpass) {
  NoAgeing none;
  return highpass ? FilterStereo<V, true>(samples, frames, a, memories, none)
                  : FilterStereo<V, false>(samples, frames, a, memories, none);
}

// The antique effect's filter, noise and quantiser over stereo frames in place.
template <class V, class Sample>
std::size_t AntiqueStereoVectors(Sample* samples, std::size_t frames, float a, float* memories,
                                 uint32_t& seed, float noiseLevel, double half, float level) {
  if (frames < V::kLanes / 2) return 0;
  Ageing<V> ageing(seed, noiseLevel, half, level);
  const std::size_t done = FilterStereo<V, false>(samples, frames, a, memories, ageing);
  seed = ageing.Seed();
  return done;
}

// One vector of the compressor's gains, in place; returns the lanes that the margin leaves
// undecided.
template <class V>
unsigned CompressorGainVector(float* levels, float threshold, float exponent) {
  using fast_power::kMargin;
  const auto one = V::Splat(1.0f);
  const auto level = V::Load(levels);
  const auto above = V::Greater(level, V::Splat(threshold));
  if (V::Bits(above) == 0) {
    V::Store(levels, one);
    return 0;
  }
  const auto ratio = level / V::Splat(threshold);
  const auto served =
      V::And(V::GreaterEqual(ratio, one), V::LessEqual(ratio, V::Splat(fast_power::kMaxBase)));
  const auto cleaned = V::Select(served, ratio, one);
  const auto low = fast_power::Power<V>(V::LowHalf(cleaned), exponent);
  const auto high = fast_power::Power<V>(V::HighHalf(cleaned), exponent);
  const auto below = V::Narrow(low - low * kMargin, high - high * kMargin);
  const auto beyond = V::Narrow(low + low * kMargin, high + high * kMargin);
  V::Store(levels, V::Select(above, one / below, one));
  return V::Bits(above) & ~V::Bits(V::And(served, V::Equal(below, beyond)));
}

// The compressor's gains of `count` envelope levels in place: 1 up to the threshold, above it
// 1 / PowerOfRatio(level / threshold, exponent), with fast_power.h's rule, two vectors at a time
// so that their long chains of steps overlap. Lanes the margin leaves undecided go through the
// scalar function, which hands them to the library.
template <class V>
std::size_t CompressorGainVectors(float* levels, std::size_t count, float threshold,
                                  float exponent) {
  if (!(exponent >= 0.0f && exponent <= 1.0f)) return 0;
  constexpr std::size_t kStep = 2 * V::kLanes;
  std::size_t i = 0;
  for (; i + kStep <= count; i += kStep) {
    alignas(64) float original[kStep];
    V::Store(original, V::Load(levels + i));
    V::Store(original + V::kLanes, V::Load(levels + i + V::kLanes));
    const unsigned first = CompressorGainVector<V>(levels + i, threshold, exponent);
    const unsigned second = CompressorGainVector<V>(levels + i + V::kLanes, threshold, exponent);
    uint64_t undecided = first | uint64_t{second} << V::kLanes;
    for (; undecided != 0; undecided &= undecided - 1) {
      const int j = std::countr_zero(undecided);
      levels[i + static_cast<std::size_t>(j)] =
          1.0f / PowerOfRatio(original[j] / threshold, exponent);
    }
  }
  return i;
}

// NaturalLog of positive finite lanes: frexp from the bits, subnormals scaled by 2^54 first.
// (bits - m0) >> 52, m0 the mantissa bits of sqrt(1/2), is the exponent field less one where
// the mantissa lies below sqrt(1/2)'s: k + 1022.
template <class V>
typename V::Double NaturalLogVector(typename V::Double x) {
  using namespace fast_power;
  constexpr uint64_t kSqrtHalfMantissa = kSqrtHalfBits & ((uint64_t{1} << 52) - 1);
  const auto subnormal = V::LessDouble(x, V::SplatDouble(0x1p-1022));
  x = V::Select(subnormal, x * 0x1p54, x);
  const auto bits = V::BitsOf(x);
  const auto biased = V::ShiftRightBits(V::SubtractBits(bits, V::SplatBits(kSqrtHalfMantissa)), 52);
  const auto m = V::DoubleFromBits(V::AddBits(V::SubtractBits(bits, V::ShiftLeftBits(biased, 52)),
                                              V::SplatBits(uint64_t{1022} << 52)));
  const auto whole = WholeToDouble<V, typename V::Double>(biased) -
                     V::Select(subnormal, V::SplatDouble(1022.0 + 54.0), V::SplatDouble(1022.0));
  return whole * kLn2High + (LogNearOne(m) + whole * kLn2Low);
}

// 2^n for whole n from -1022 to 1023: n + 1.5 2^52 holds n + 2^51 in its low bits.
template <class V>
typename V::Double PowerOfTwoVector(typename V::Double n) {
  const auto held = V::BitsOf(n + 0x1.8p52);
  return V::DoubleFromBits(V::ShiftLeftBits(V::AddBits(held, V::SplatBits(1023)), 52));
}

// NaturalExp of lanes that are not NaN. ldexp's scaling by 2^n (n from -1075 to 1024) is two
// products by powers of two, the first exact, so that only the second rounds, as ldexp does.
template <class V>
typename V::Double NaturalExpVector(typename V::Double y) {
  using namespace fast_power;
  y = V::Select(V::LessDouble(y, V::SplatDouble(-745.0)), V::SplatDouble(-745.0), y);
  y = V::Select(V::LessDouble(V::SplatDouble(710.0), y), V::SplatDouble(710.0), y);
  const auto n = V::FloorDouble(y * kOneOverLn2 + 0.5);
  const auto z = (y - n * kLn2High) - n * kLn2Low;
  const auto half = V::FloorDouble(n * 0.5);
  return ExpNearZero(z) * PowerOfTwoVector<V>(half) * PowerOfTwoVector<V>(n - half);
}

// The gain of lanes at log level l on segment (x, y, a, b), or the top gain where `passing`.
template <class V>
typename V::Double CompandGainOn(const CompandCurve& c, typename V::Double level,
                                 typename V::Double l, typename V::DoubleMask passing,
                                 typename V::Double x, typename V::Double y, typename V::Double a,
                                 typename V::Double b) {
  const auto d = l - x;
  const auto top = V::SplatDouble(c.topGain);
  auto gain = V::Select(passing, top, NaturalExpVector<V>(y + d * (a * d + b)));
  gain = V::Select(V::LessDouble(level, V::SplatDouble(HUGE_VAL)), gain, top);
  return V::Select(V::LessDouble(V::SplatDouble(c.floorLevel), level), gain,
                   V::SplatDouble(c.floorGain));
}

// CompandGain of one vector of levels: each lane finds its segment as the scalar loop does,
// stopping at the first boundary it does not pass.
template <class V>
typename V::Double CompandGainVector(const CompandCurve& c, typename V::Double level) {
  const CompandSegment* s = c.segments;
  const auto l = NaturalLogVector<V>(level);
  auto x = V::SplatDouble(s[1].x), y = V::SplatDouble(s[1].y);
  auto a = V::SplatDouble(s[1].a), b = V::SplatDouble(s[1].b);
  auto passing = V::Equal(x, x);
  for (uint32_t k = 1; k < c.last; ++k) {
    const auto boundary = V::SplatDouble(s[k + 1].x);
    passing = V::AndDouble(passing, V::LessDouble(boundary, l));
    if (V::DoubleBitsOf(passing) == 0) break;
    x = V::Select(passing, boundary, x);
    y = V::Select(passing, V::SplatDouble(s[k + 1].y), y);
    a = V::Select(passing, V::SplatDouble(s[k + 1].a), a);
    b = V::Select(passing, V::SplatDouble(s[k + 1].b), b);
  }
  return CompandGainOn<V>(c, level, l, passing, x, y, a, b);
}

// A curve of up to kCompandTableRows segments as four tables of their x, y, a and b.
constexpr uint32_t kCompandTableRows = 16;

template <class V>
struct CompandTables {
  typename V::DoubleTable x, y, a, b;
};

template <class V>
CompandTables<V> LoadCompandTables(const CompandCurve& c) {
  double fields[4][kCompandTableRows] = {};
  for (uint32_t k = 0; k <= c.last; ++k) {
    fields[0][k] = c.segments[k].x;
    fields[1][k] = c.segments[k].y;
    fields[2][k] = c.segments[k].a;
    fields[3][k] = c.segments[k].b;
  }
  return {V::LoadDoubleTable(fields[0]), V::LoadDoubleTable(fields[1]),
          V::LoadDoubleTable(fields[2]), V::LoadDoubleTable(fields[3])};
}

// Where the boundaries never fall, the segment the scalar loop stops at is 1 plus the number of
// boundaries below the level, and the level passes them all where it passes the last: the same
// segment, found by counting instead of a branch a boundary.
template <class V>
typename V::Double CompandGainCounted(const CompandCurve& c, const CompandTables<V>& t,
                                      typename V::Double level) {
  const CompandSegment* s = c.segments;
  const auto l = NaturalLogVector<V>(level);
  auto k = V::SplatBits(1);
  for (uint32_t j = 2; j <= c.last; ++j)
    k = V::CountWhere(k, V::LessDouble(V::SplatDouble(s[j].x), l));
  const auto x = V::Lookup(t.x, k), y = V::Lookup(t.y, k);
  const auto a = V::Lookup(t.a, k), b = V::Lookup(t.b, k);
  const auto passing = V::LessDouble(V::SplatDouble(s[c.last].x), l);
  return CompandGainOn<V>(c, level, l, passing, x, y, a, b);
}

inline bool CountableCurve(const CompandCurve& c) {
  if (c.last < 2 || c.last >= kCompandTableRows) return false;
  for (uint32_t j = 2; j < c.last; ++j)
    if (!(c.segments[j].x <= c.segments[j + 1].x)) return false;
  return true;
}

template <class V>
std::size_t CompandGainVectors(const CompandCurve& c, const double* levels, double* gains,
                               std::size_t count) {
  constexpr std::size_t kDoubles = V::kLanes / 2;
  std::size_t i = 0;
  if constexpr (requires { typename V::DoubleTable; }) {
    if (CountableCurve(c)) {
      const CompandTables<V> tables = LoadCompandTables<V>(c);
      for (; i + kDoubles <= count; i += kDoubles)
        V::StoreDouble(gains + i, CompandGainCounted<V>(c, tables, V::LoadDouble(levels + i)));
      return i;
    }
  }
  for (; i + kDoubles <= count; i += kDoubles)
    V::StoreDouble(gains + i, CompandGainVector<V>(c, V::LoadDouble(levels + i)));
  return i;
}

template <class V>
std::size_t ScaleVectors(float* values, const float* gains, std::size_t frames,
                         std::size_t channels) {
  std::size_t frame = 0;
  if (channels == 1) {
    for (; frame + V::kLanes <= frames; frame += V::kLanes) {
      float* at = values + frame;
      V::Store(at, V::Load(at) * V::Load(gains + frame));
    }
  } else if (channels == 2) {
    for (; frame + V::kLanes / 2 <= frames; frame += V::kLanes / 2) {
      float* at = values + 2 * frame;
      V::Store(at, V::Load(at) * V::LoadTwice(gains + frame));
    }
  }
  return frame;
}

template <class V>
std::size_t GainVectors(float* values, std::size_t count, float gain) {
  const auto g = V::Splat(gain);
  std::size_t i = 0;
  for (; i + V::kLanes <= count; i += V::kLanes)
    V::Store(values + i, V::Load(values + i) * g);
  return i;
}

template <class V>
std::size_t EchoVectors(float* values, float* slots, std::size_t count, float wetGain,
                        float dryGain, float feedback) {
  std::size_t i = 0;
  for (; i + V::kLanes <= count; i += V::kLanes) {
    const auto x = V::Load(values + i);
    const auto delayed = V::Load(slots + i);
    V::Store(values + i, V::Splat(wetGain) * delayed + V::Splat(dryGain) * x);
    V::Store(slots + i, V::Splat(feedback) * delayed + x);
  }
  return i;
}

template <class V>
std::size_t CombVectors(float* values, float* slots, std::size_t count, float feedback) {
  std::size_t i = 0;
  for (; i + V::kLanes <= count; i += V::kLanes) {
    const auto old = V::Load(slots + i);
    V::Store(slots + i, old * V::Splat(feedback) + V::Load(values + i));
    V::Store(values + i, old);
  }
  return i;
}

// With pos = wFrame - delay between -span and 2 span, the scalar code's wrapping loops add or
// take away span at most once, and the first limit test passes: a vector does the same with
// one addition and one subtraction where the lanes need them.
template <class V>
std::size_t ReadPointVectors(const float* lfo, const uint32_t* wFrames, std::size_t count,
                             float sweep, float minDelay, uint32_t span, uint32_t* older,
                             uint32_t* newer, float* frac) {
  const auto spanFloat = V::Splat(static_cast<float>(span));
  std::size_t i = 0;
  for (; i + V::kLanes <= count; i += V::kLanes) {
    const auto delay = V::Load(lfo + i) * V::Splat(sweep) + V::Splat(minDelay);
    auto pos = V::IntsToFloats(V::LoadInts(wFrames + i)) - delay;
    const auto inRange =
        V::And(V::Greater(pos, V::Splat(0.0f) - spanFloat), V::Less(pos, spanFloat + spanFloat));
    if (V::Bits(inRange) != V::kAllLanes) break;
    pos = V::Select(V::Less(pos, V::Splat(0.0f)), pos + spanFloat, pos);
    pos = V::Select(V::GreaterEqual(pos, spanFloat), pos - spanFloat, pos);
    const auto whole = V::TruncateToInts(pos);
    V::StoreInts(older + i, whole);
    V::StoreInts(newer + i, V::NextFrames(whole, span));
    V::Store(frac + i, pos - V::IntsToFloats(whole));
  }
  return i;
}

// The flanger's and chorus's frames for stereo, from frame `at` of `count`: each frame's
// delayed value blends buffer frames older[i] and newer[i], the newer weighing frac[i]; the slot
// at sample `w` of the buffer takes the input plus feedback. A vector goes ahead while its
// slots do not wrap and none of its reads falls on them, where the frame by frame order would
// read a slot just written. Returns the frame reached; `w` moves on with it.
template <class V>
std::size_t DelayStereoVectors(float* buffer, uint32_t length, uint32_t& w, const uint32_t* older,
                               const uint32_t* newer, const float* frac, float* samples,
                               std::size_t at, std::size_t count, float wetGain, float dryGain,
                               float feedback) {
  constexpr std::size_t kFrames = V::kLanes / 2;
  std::size_t i = at;
  for (; i + kFrames <= count; i += kFrames) {
    if (w + V::kLanes > length || V::AnyNearFrames(older + i, w / 2) ||
        V::AnyNearFrames(newer + i, w / 2)) {
      break;
    }
    const auto weight = V::LoadTwice(frac + i);
    const auto keep = V::Splat(1.0f) - weight;
    const auto delayed =
        V::GatherFrames(buffer, older + i) * keep + V::GatherFrames(buffer, newer + i) * weight;
    float* sample = samples + 2 * i;
    const auto x = V::Load(sample);
    V::Store(buffer + w, V::Splat(feedback) * delayed + x);
    V::Store(sample, V::Splat(wetGain) * delayed + V::Splat(dryGain) * x);
    w = w + V::kLanes >= length ? 0 : w + static_cast<uint32_t>(V::kLanes);
  }
  return i;
}

// sin(phase) for the phases that fast_sine serves, in the steps of effect_math.cpp.
template <class V>
typename V::Double SineOfServedPhases(typename V::Double phase) {
  using namespace fast_sine;
  const auto halfTurns = V::FloorDouble(HalfTurns(phase));
  const auto sine = SinPolynomial(Reduce(phase, halfTurns));
  return V::Select(V::Equal(halfTurns, V::SplatDouble(1.0)), -sine, sine);
}

// TenToThe of lanes whose whole part lies within +-3, in its steps: 10^frac from fast_power,
// and the whole part's power of ten as its product of tens.
template <class V>
typename V::Double TenToTheSmall(typename V::Double x, typename V::Double logTen) {
  const auto n = V::FloorDouble(x);
  const auto power = fast_power::ExpOf<V>(logTen * (x - n));
  const auto negative = V::LessDouble(n, V::SplatDouble(0.0));
  const auto whole = V::Select(negative, -n, n);
  auto tens = V::SplatDouble(1.0);
  for (double k = 1.0; k <= 3.0; k += 1.0)
    tens = V::Select(V::LessDouble(whole, V::SplatDouble(k)), tens, tens * 10.0);
  return V::Select(negative, power / tens, power * tens);
}

// The phaser's stage coefficients of a half vector of sweeps (depth in decades times s).
template <class V>
typename V::Double PhaserCoefficientHalf(typename V::Double decades, const PhaserSweep& sweep,
                                         typename V::Double logTen) {
  auto hz = sweep.centre * TenToTheSmall<V>(decades, logTen);
  hz = V::MaxDouble(V::MinDouble(hz, V::SplatDouble(sweep.highest)), V::SplatDouble(sweep.lowest));
  const auto w = hz * sweep.radiansPerHz;
  const auto g =
      fast_sine::SinPolynomial(w) / fast_sine::SinPolynomial(V::SplatDouble(sweep.halfPi) - w);
  return (g - 1.0) / (g + 1.0);
}

template <class V>
std::size_t PhaserCoefficientVectors(const float* sinesPlusOne, float* coefficients,
                                     std::size_t count, const PhaserSweep& sweep) {
  const auto logTen = fast_power::LogOf<V>(V::SplatDouble(10.0));
  const auto depth = V::SplatDouble(sweep.depthDecades);
  const auto three = V::SplatDouble(3.0);
  std::size_t i = 0;
  for (; i + V::kLanes <= count; i += V::kLanes) {
    const auto sines = V::Load(sinesPlusOne + i) - V::Splat(1.0f);
    const auto low = depth * V::LowHalf(sines);
    const auto high = depth * V::HighHalf(sines);
    // Sweeps beyond 10^+-3 go to the scalar code.
    if (V::DoubleBitsOf(V::GreaterEqualDouble(low, three)) |
        V::DoubleBitsOf(V::GreaterEqualDouble(high, three)) |
        V::DoubleBitsOf(V::LessDouble(low, -three)) | V::DoubleBitsOf(V::LessDouble(high, -three)))
      break;
    V::Store(coefficients + i, V::Narrow(PhaserCoefficientHalf<V>(low, sweep, logTen),
                                         PhaserCoefficientHalf<V>(high, sweep, logTen)));
  }
  return i;
}

// The oscillator's value for a sine moved by the margin, before the rounding to float.
template <class V, bool kHalf>
typename V::Double OscillatorBound(typename V::Double sine, double margin) {
  const auto value = (sine + margin) + 1.0;
  if constexpr (kHalf) return value * 0.5;
  return value;
}

// SinePlusOne (kHalf false) or HalfSinePlusOne (kHalf true) of `count` phases. Lanes whose
// result is not decided by the margin go through the scalar function, which hands them to the
// library.
template <class V, bool kHalf>
void OscillatorVectors(const float* phases, float* values, std::size_t count) {
  using namespace fast_sine;
  std::size_t i = 0;
  for (; i + V::kLanes <= count; i += V::kLanes) {
    const auto phase = V::Load(phases + i);
    const auto served =
        V::And(V::GreaterEqual(phase, V::Splat(0.0f)), V::LessEqual(phase, V::Splat(kMaxPhase)));
    const auto cleaned = V::Select(served, phase, V::Splat(0.0f));
    const auto lowSine = SineOfServedPhases<V>(V::LowHalf(cleaned));
    const auto highSine = SineOfServedPhases<V>(V::HighHalf(cleaned));
    const auto below = V::Narrow(OscillatorBound<V, kHalf>(lowSine, -kMargin),
                                 OscillatorBound<V, kHalf>(highSine, -kMargin));
    const auto above = V::Narrow(OscillatorBound<V, kHalf>(lowSine, kMargin),
                                 OscillatorBound<V, kHalf>(highSine, kMargin));
    V::Store(values + i, below);
    const unsigned decided = V::Bits(V::And(served, V::Equal(below, above)));
    for (std::size_t j = 0; j < V::kLanes; ++j) {
      if ((decided >> j & 1u) == 0) {
        values[i + j] = kHalf ? HalfSinePlusOne(phases[i + j]) : SinePlusOne(phases[i + j]);
      }
    }
  }
  for (; i < count; ++i) {
    values[i] = kHalf ? HalfSinePlusOne(phases[i]) : SinePlusOne(phases[i]);
  }
}

template <class V>
void SinePlusOneVectors(const float* phases, float* values, std::size_t count) {
  OscillatorVectors<V, false>(phases, values, count);
}

// The half-band decimator's outputs (HalfBandFloat), a lane per output with the scalar code's
// operations in its order, four vectors at a time while they last.
template <class V>
std::size_t HalfBandVectors(const float* even, const float* odd, const float* h, std::size_t pairs,
                            std::size_t count, float* y) {
  constexpr std::size_t kLanes = V::kLanes;
  const auto half = V::Splat(0.5f);
  std::size_t i = 0;
  for (; i + 4 * kLanes <= count; i += 4 * kLanes) {
    typename V::Float s[4];
    for (std::size_t v = 0; v < 4; ++v)
      s[v] = V::Splat(0.0f);
    const float* o = odd + i;
    for (std::size_t k = pairs; k-- > 0;) {
      const auto c = V::Splat(h[k]);
      const float* a = o + pairs - 1 - k;
      const float* b = o + pairs + k;
      for (std::size_t v = 0; v < 4; ++v)
        s[v] = V::MultiplyAdd(c, V::Load(a + v * kLanes) + V::Load(b + v * kLanes), s[v]);
    }
    for (std::size_t v = 0; v < 4; ++v)
      V::Store(y + i + v * kLanes, s[v] + half * V::Load(even + i + v * kLanes));
  }
  for (; i + kLanes <= count; i += kLanes) {
    auto s = V::Splat(0.0f);
    const float* o = odd + i;
    for (std::size_t k = pairs; k-- > 0;)
      s = V::MultiplyAdd(V::Splat(h[k]), V::Load(o + pairs - 1 - k) + V::Load(o + pairs + k), s);
    V::Store(y + i, s + half * V::Load(even + i));
  }
  return i;
}

template <class V>
void HalfSinePlusOneVectors(const float* phases, float* values, std::size_t count) {
  OscillatorVectors<V, true>(phases, values, count);
}

// Lanes are neighbouring points, one vector per phase, each lane summing its taps in order.
// The magnitude is the larger of x and -x; a NaN point leaves the largest as it was.
template <class V>
void MixRowVectors(const float* rows, std::size_t taps, const float* w, float* out) {
  const auto w0 = V::Splat(w[0]), w1 = V::Splat(w[1]), w2 = V::Splat(w[2]), w3 = V::Splat(w[3]);
  for (std::size_t j = 0; j < taps; j += V::kLanes) {
    const float* r = rows + j;
    const auto s = (w0 * V::Load(r) + w1 * V::Load(r + taps)) + w2 * V::Load(r + 2 * taps);
    V::Store(out + j, s + w3 * V::Load(r + 3 * taps));
  }
}

// The four phase sums of the points whose windows start at window[0], window[1], ...: a lane per
// point, taps in order. Group g's vectors (sums[4 g] to sums[4 g + 3]) take the kLanes points
// from g * kLanes; several groups keep more independent sums in flight.
template <class V, std::size_t kGroups, class F>
void TruePeakPhaseVectors(const float* window, F (&sums)[4 * kGroups]) {
  for (std::size_t t = 0; t < kTruePeakTaps; ++t) {
    for (std::size_t g = 0; g < kGroups; ++g) {
      const auto x = V::Load(window + g * V::kLanes + t);
      for (std::size_t p = 0; p < 4; ++p)
        sums[4 * g + p] = sums[4 * g + p] + V::Splat(kTruePeakFilter[t][p]) * x;
    }
  }
}

// The largest magnitude of kGroups * kLanes points from `window` and `most`.
template <class V, std::size_t kGroups, class F>
F LargestOfGroups(const float* window, F most) {
  const auto zero = V::Splat(0.0f);
  F sums[4 * kGroups];
  for (F& sum : sums)
    sum = zero;
  TruePeakPhaseVectors<V, kGroups>(window, sums);
  for (const F sum : sums)
    most = V::Max(V::Max(sum, zero - sum), most);
  return most;
}

template <class V, class F>
float LargestLane(F most, float largest) {
  alignas(64) float lanes[V::kLanes];
  V::Store(lanes, most);
  for (const float lane : lanes)
    largest = lane > largest ? lane : largest;
  return largest;
}

// True when every sample of the windows of kGroups * kLanes points from `window` is at most
// `floor` over kTruePeakSpread: no such point's value can exceed `floor`. NaNs fail the test.
template <class V, std::size_t kGroups, class F>
bool SamplesBelow(const float* window, F floor) {
  const auto zero = V::Splat(0.0f);
  const auto spread = V::Splat(static_cast<float>(kTruePeakSpread));
  const auto below = [&](const float* at) {
    const auto x = V::Load(at);
    return V::LessEqual(spread * V::Max(x, zero - x), floor);
  };
  constexpr std::size_t kSamples = kGroups * V::kLanes + kTruePeakTaps - 1;
  auto all = below(window);
  for (std::size_t at = V::kLanes; at < kSamples; at += V::kLanes)
    all = V::And(all, below(window + (at + V::kLanes <= kSamples ? at : kSamples - V::kLanes)));
  return V::Bits(all) == (1u << V::kLanes) - 1;
}

// Groups of points that the samples bound at or below the largest so far are not computed: the
// result is the same.
template <class V>
std::size_t TruePeakVectors(const float* window, std::size_t points, float& largest) {
  constexpr std::size_t kGroups = 4;
  auto most = V::Splat(largest);
  auto floor = most;
  std::size_t n = 0;
  for (; n + kGroups * V::kLanes <= points; n += kGroups * V::kLanes) {
    if (SamplesBelow<V, kGroups>(window + n, floor)) continue;
    most = LargestOfGroups<V, kGroups>(window + n, most);
    floor = V::Splat(LargestLane<V>(most, largest));
  }
  for (; n + V::kLanes <= points; n += V::kLanes)
    most = LargestOfGroups<V, 1>(window + n, most);
  largest = LargestLane<V>(most, largest);
  return n;
}

// LargestMagnitude of each point: the lanes are neighbouring points, each taking the scalar
// code's comparisons of its four phases.
template <class V>
std::size_t TruePeakPointVectors(const float* window, std::size_t points, float* largest) {
  const auto zero = V::Splat(0.0f);
  const auto magnitude = [&](auto x) { return V::Select(V::Less(x, zero), zero - x, x); };
  const auto larger = [](auto x, auto y) { return V::Select(V::Greater(x, y), x, y); };
  std::size_t n = 0;
  for (; n + V::kLanes <= points; n += V::kLanes) {
    decltype(V::Splat(0.0f)) sums[4] = {zero, zero, zero, zero};
    TruePeakPhaseVectors<V, 1>(window + n, sums);
    const auto [a, b, c, d] = sums;
    const auto low = larger(magnitude(a), magnitude(b));
    const auto high = larger(magnitude(c), magnitude(d));
    V::Store(largest + n, larger(low, high));
  }
  return n;
}

}  // namespace
}  // namespace wavfx
