// The vector kernels for AVX-512: sixteen floats, eight doubles per vector.
#include "dsp/simd_dispatch.h"

#if defined(__x86_64__)

#include <immintrin.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "dsp/cleared_kernel.h"
#include "dsp/compand_curve.h"
#include "dsp/effect_math.h"
#include "dsp/sample_conversion.h"
#include "dsp/true_peak.h"

// Every function from here on is compiled for AVX-512; the headers above are not.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f,avx512bw,avx512dq,avx512vl"))), \
                             apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512dq,avx512vl")
// GCC 12's AVX-512 intrinsics start some results from deliberately undefined vectors.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace wavfx {
namespace {

constexpr int kFloor = _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC;

struct Avx512 {
  static constexpr std::size_t kLanes = 16;
  using Float = __m512;
  using Double = __m512d;  // half the lanes of a Float
  using FloatMask = __mmask16;
  using DoubleMask = __mmask8;

  static Float Splat(float value) { return _mm512_set1_ps(value); }
  static Double SplatDouble(double value) { return _mm512_set1_pd(value); }
  static Float Load(const float* values) { return _mm512_loadu_ps(values); }
  static void Store(float* values, Float vector) { _mm512_storeu_ps(values, vector); }
  // Eight values, each in two neighbouring lanes.
  static Float LoadTwice(const float* values) {
    const Float loaded = _mm512_castps256_ps512(_mm256_loadu_ps(values));
    const __m512i twice = _mm512_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7);
    return _mm512_permutexvar_ps(twice, loaded);
  }

  // SampleToFloat of sixteen samples.
  static Float LoadSamples(const int16_t* samples) {
    const __m256i loaded = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(samples));
    return _mm512_cvtepi32_ps(_mm512_cvtepi16_epi32(loaded)) * Splat(3.0517578125e-05f);
  }

  // FloatToSample of sixteen values. Values beyond +-2 all give the clamped sample, so they are
  // limited to +-2 first, NaN becoming 0; the floor then fits 32 bits, and the saturating
  // narrowing to 16 bits is the clamp.
  static void StoreSamples(int16_t* samples, Float x) {
    x = _mm512_maskz_min_ps(_mm512_cmp_ps_mask(x, x, _CMP_ORD_Q), x, Splat(2.0f));
    x = _mm512_max_ps(x, Splat(-2.0f));
    const __m512i whole = Whole(x);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(samples), _mm512_cvtsepi32_epi16(whole));
  }

  // The floor of x * 32767 + 0.5 for |x| <= 2, as 32-bit integers, in single precision: the
  // product p rounded to the nearest whole number n (ties to even) is that floor except where
  // p lies half-way, when the product's exact remainder decides.
  static __m512i Whole(Float x) {
    constexpr int kNearest = _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC;
    const Float scale = Splat(32767.0f);
    const Float p = _mm512_mul_round_ps(x, scale, kNearest);
    const Float remainder = _mm512_fmsub_round_ps(x, scale, p, kNearest);
    const __m512i n = _mm512_cvt_roundps_epi32(p, kNearest);
    const Float offset = _mm512_sub_round_ps(p, _mm512_cvtepi32_ps(n), kNearest);
    const __mmask16 up = _mm512_mask_cmp_ps_mask(
        _mm512_cmp_ps_mask(offset, Splat(0.5f), _CMP_EQ_OQ), remainder, Splat(0.0f), _CMP_GE_OQ);
    const __mmask16 down = _mm512_mask_cmp_ps_mask(
        _mm512_cmp_ps_mask(offset, Splat(-0.5f), _CMP_EQ_OQ), remainder, Splat(0.0f), _CMP_LT_OQ);
    const __m512i one = _mm512_set1_epi32(1);
    return _mm512_mask_sub_epi32(_mm512_mask_add_epi32(n, up, n, one), down, n, one);
  }

  // a * b - c, rounded once.
  static Float MultiplySubtract(Float a, Float b, Float c) { return _mm512_fmsub_ps(a, b, c); }
  static Float MultiplyAdd(Float a, Float b, Float c) { return _mm512_fmadd_ps(a, b, c); }
  // Minimum and maximum take the second operand when the first is NaN.
  static Float Min(Float a, Float b) { return _mm512_min_ps(a, b); }
  static Float Max(Float a, Float b) { return _mm512_max_ps(a, b); }
  static Float Floor(Float x) { return _mm512_roundscale_ps(x, kFloor); }
  static Double FloorDouble(Double x) { return _mm512_roundscale_pd(x, kFloor); }
  static Float SwapPairs(Float x) { return _mm512_permute_ps(x, 0xB1); }

  // Integer lanes, for the noise generator, modulo 2^32.
  static __m512i LoadInts(const uint32_t* values) { return _mm512_loadu_si512(values); }
  static __m512i SplatInt(uint32_t value) { return _mm512_set1_epi32(static_cast<int>(value)); }
  static __m512i MultiplyAdd(__m512i a, __m512i b, __m512i c) {
    return _mm512_add_epi32(_mm512_mullo_epi32(a, b), c);
  }
  static void StoreInts(uint32_t* values, __m512i x) { _mm512_storeu_si512(values, x); }
  static Float IntsToFloats(__m512i x) { return _mm512_cvtepi32_ps(x); }
  static __m512i TruncateToInts(Float x) { return _mm512_cvttps_epi32(x); }
  // f + 1, or 0 where that is `span`.
  static __m512i NextFrames(__m512i frames, uint32_t span) {
    const __m512i next = _mm512_add_epi32(frames, _mm512_set1_epi32(1));
    const __mmask16 end = _mm512_cmpeq_epi32_mask(next, _mm512_set1_epi32(static_cast<int>(span)));
    return _mm512_maskz_mov_epi32(static_cast<__mmask16>(~end), next);
  }
  static uint32_t FirstLane(__m512i x) { return static_cast<uint32_t>(_mm512_cvtsi512_si32(x)); }
  // The low or high half of the lanes with their top bit cleared, as doubles.
  static Double LowLow31(__m512i x) { return Low31(_mm512_castsi512_si256(x)); }
  static Double HighLow31(__m512i x) { return Low31(_mm512_extracti64x4_epi64(x, 1)); }
  static Double Low31(__m256i x) {
    return _mm512_cvtepi32_pd(_mm256_and_si256(x, _mm256_set1_epi32(0x7FFFFFFF)));
  }
  // As the instructions: the first operand when it compares so, else the second.
  static Double MaxDouble(Double a, Double b) { return _mm512_max_pd(a, b); }
  static Double MinDouble(Double a, Double b) { return _mm512_min_pd(a, b); }

  static Double LowHalf(Float x) { return _mm512_cvtps_pd(_mm512_castps512_ps256(x)); }
  static Double HighHalf(Float x) { return _mm512_cvtps_pd(_mm512_extractf32x8_ps(x, 1)); }
  static Float Narrow(Double low, Double high) {
    return _mm512_insertf32x8(_mm512_castps256_ps512(_mm512_cvtpd_ps(low)), _mm512_cvtpd_ps(high),
                              1);
  }

  static constexpr unsigned kAllLanes = 0xFFFF;
  static FloatMask Greater(Float a, Float b) { return _mm512_cmp_ps_mask(a, b, _CMP_GT_OQ); }
  static FloatMask Less(Float a, Float b) { return _mm512_cmp_ps_mask(a, b, _CMP_LT_OQ); }
  static FloatMask GreaterEqual(Float a, Float b) { return _mm512_cmp_ps_mask(a, b, _CMP_GE_OQ); }
  static FloatMask LessEqual(Float a, Float b) { return _mm512_cmp_ps_mask(a, b, _CMP_LE_OQ); }
  static FloatMask Equal(Float a, Float b) { return _mm512_cmp_ps_mask(a, b, _CMP_EQ_OQ); }
  static FloatMask And(FloatMask a, FloatMask b) { return _kand_mask16(a, b); }
  static unsigned Bits(FloatMask mask) { return mask; }
  static Float Select(FloatMask mask, Float yes, Float no) {
    return _mm512_mask_blend_ps(mask, no, yes);
  }

  static DoubleMask Equal(Double a, Double b) { return _mm512_cmp_pd_mask(a, b, _CMP_EQ_OQ); }
  static Double Select(DoubleMask mask, Double yes, Double no) {
    return _mm512_mask_blend_pd(mask, no, yes);
  }
  // Wider integers, for the PCM conversions.
  static __m512i JoinInts(__m256i low, __m256i high) {
    return _mm512_inserti64x4(_mm512_castsi256_si512(low), high, 1);
  }
  static __m256i TruncateDoubles(Double x) { return _mm512_cvttpd_epi32(x); }
  static unsigned DoubleBitsOf(DoubleMask mask) { return mask; }
  static DoubleMask GreaterEqualDouble(Double a, Double b) {
    return _mm512_cmp_pd_mask(a, b, _CMP_GE_OQ);
  }
  static DoubleMask LessDouble(Double a, Double b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
  static DoubleMask AndDouble(DoubleMask a, DoubleMask b) { return _kand_mask8(a, b); }
  static Double LoadDouble(const double* values) { return _mm512_loadu_pd(values); }
  static void StoreDouble(double* values, Double x) { _mm512_storeu_pd(values, x); }
  // The bits of doubles as 64-bit integers, for fast_power.h.
  using DoubleBits = __m512i;
  static DoubleBits BitsOf(Double x) { return _mm512_castpd_si512(x); }
  static Double DoubleFromBits(DoubleBits x) { return _mm512_castsi512_pd(x); }
  static DoubleBits SplatBits(uint64_t x) { return _mm512_set1_epi64(static_cast<long long>(x)); }
  static DoubleBits AddBits(DoubleBits a, DoubleBits b) { return _mm512_add_epi64(a, b); }
  static DoubleBits SubtractBits(DoubleBits a, DoubleBits b) { return _mm512_sub_epi64(a, b); }
  static DoubleBits ShiftLeftBits(DoubleBits x, unsigned n) { return _mm512_slli_epi64(x, n); }
  static DoubleBits ShiftRightBits(DoubleBits x, unsigned n) { return _mm512_srli_epi64(x, n); }
  static DoubleBits CountWhere(DoubleBits count, DoubleMask mask) {
    return _mm512_mask_add_epi64(count, mask, count, _mm512_set1_epi64(1));
  }
  // Sixteen doubles in two vectors, read at lane indices from 0 to 15.
  struct DoubleTable {
    __m512d low, high;
  };
  static DoubleTable LoadDoubleTable(const double* t) {
    return {_mm512_loadu_pd(t), _mm512_loadu_pd(t + 8)};
  }
  static Double Lookup(const DoubleTable& t, DoubleBits index) {
    return _mm512_permutex2var_pd(t.low, index, t.high);
  }
  // Eight stereo frames of a buffer, at the frame numbers `frames`.
  static Float GatherFrames(const float* buffer, const uint32_t* frames) {
    const __m256i at = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(frames));
    return _mm512_castpd_ps(_mm512_i32gather_pd(at, buffer, 8));
  }
  // Whether any of eight frame numbers lies in [first, first + 7].
  static bool AnyNearFrames(const uint32_t* frames, uint32_t first) {
    return AnyOfEightFrom(frames, first);
  }
  static bool AnyOfEightFrom(const uint32_t* frames, uint32_t first) {
    const __m256i at = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(frames));
    const __m256i offset = _mm256_sub_epi32(at, _mm256_set1_epi32(static_cast<int>(first)));
    return _mm256_cmplt_epu32_mask(offset, _mm256_set1_epi32(8)) != 0;
  }
  // A stereo frame in the two low lanes of an SSE vector.
  using Pair = __m128;
  static Pair PairSplat(float value) { return _mm_set1_ps(value); }
  static Pair PairOf(float left, float right) { return _mm_setr_ps(left, right, 0.0f, 0.0f); }
  static Pair LoadPair(const float* values) {
    return _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(values)));
  }
  static void StorePair(float* values, Pair pair) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(values), _mm_castps_si128(pair));
  }
  static float LeftOf(Pair pair) { return _mm_cvtss_f32(pair); }
  static float RightOf(Pair pair) { return _mm_cvtss_f32(_mm_shuffle_ps(pair, pair, 1)); }
  // The vector of eight frames' pairs, in order.
  static Float FromPairs(const Pair* pairs) {
    const __m256 low =
        _mm256_set_m128(_mm_movelh_ps(pairs[2], pairs[3]), _mm_movelh_ps(pairs[0], pairs[1]));
    const __m256 high =
        _mm256_set_m128(_mm_movelh_ps(pairs[6], pairs[7]), _mm_movelh_ps(pairs[4], pairs[5]));
    return _mm512_insertf32x8(_mm512_castps256_ps512(low), high, 1);
  }
};

__m512i Splat64(uint64_t value) {
  return _mm512_set1_epi64(static_cast<int64_t>(value));
}

// The dither's TPDF (dither.cpp) eight samples at a time: lane i is channel i % channels of
// frame i / channels. The sums, products and rounding are the scalar code's, in its order.
std::size_t DitherTpdfAvx512(float* values, std::size_t frames, uint32_t channels,
                             const uint64_t* keys, uint64_t frame, double steps, double stepSize) {
  const bool stereo = channels == 2;
  const auto k0 = static_cast<int64_t>(keys[0]);
  const auto k1 = static_cast<int64_t>(stereo ? keys[1] : keys[0]);
  const __m512i key = _mm512_setr_epi64(k0, k1, k0, k1, k0, k1, k0, k1);
  const __m512i counter =
      _mm512_add_epi64(Splat64(frame), stereo ? _mm512_setr_epi64(1, 1, 2, 2, 3, 3, 4, 4)
                                              : _mm512_setr_epi64(1, 2, 3, 4, 5, 6, 7, 8));
  // key + counter * G, advanced by a sum: products modulo 2^64 distribute over it.
  const uint64_t golden = 0x9E3779B97F4A7C15u;
  __m512i weyl = _mm512_add_epi64(key, _mm512_mullo_epi64(counter, Splat64(golden)));
  const __m512i advance = Splat64((stereo ? 4 : 8) * golden);
  const __m512d limit = _mm512_set1_pd(steps + 2.0);
  const __m512d lowest = _mm512_set1_pd(-steps - 1.0);
  const __m512d highest = _mm512_set1_pd(steps);
  const std::size_t count = frames * channels / 8 * 8;
  for (std::size_t i = 0; i < count; i += 8) {
    __m512i z = weyl;
    z = _mm512_mullo_epi64(_mm512_xor_si512(z, _mm512_srli_epi64(z, 30)),
                           Splat64(0xBF58476D1CE4E5B9u));
    z = _mm512_mullo_epi64(_mm512_xor_si512(z, _mm512_srli_epi64(z, 27)),
                           Splat64(0x94D049BB133111EBu));
    z = _mm512_xor_si512(z, _mm512_srli_epi64(z, 31));
    const __m512i difference =
        _mm512_sub_epi64(_mm512_srli_epi64(z, 32), _mm512_and_si512(z, Splat64(0xFFFFFFFFu)));
    const __m512d noise = _mm512_mul_pd(_mm512_cvtepi64_pd(difference), _mm512_set1_pd(0x1p-32));
    __m256 x = _mm256_loadu_ps(values + i);
    x = _mm256_and_ps(x, _mm256_cmp_ps(x, x, _CMP_ORD_Q));
    __m512d scaled = _mm512_mul_pd(_mm512_cvtps_pd(x), _mm512_set1_pd(steps));
    scaled = _mm512_min_pd(_mm512_max_pd(scaled, _mm512_sub_pd(_mm512_setzero_pd(), limit)), limit);
    const __m512d q = _mm512_roundscale_pd(
        _mm512_add_pd(_mm512_add_pd(scaled, noise), _mm512_set1_pd(0.5)), kFloor);
    const __m512d grid = _mm512_min_pd(_mm512_max_pd(q, lowest), highest);
    _mm256_storeu_ps(values + i, _mm512_cvtpd_ps(_mm512_mul_pd(grid, _mm512_set1_pd(stepSize))));
    weyl = _mm512_add_epi64(weyl, advance);
  }
  return count / channels;
}

// The phaser's stages without feedback (phaser.cpp), skewed in time: lane
// (stages - 1 - k) * group + c holds stage k of channel c, two frames behind stage k - 1, so that
// one step moves every stage at once and a stage's input is its predecessor's output from two steps
// before, leaving each stage's own recurrence as the only one a step waits for. Every lane computes
// the scalar code's y = (a x + x') - a y' on the same frames; the first and last 2 (stages - 1)
// steps of a call only move the lanes whose frame lies within it. Lanes past the stages stay 0; the
// last stage's outputs are in the first lanes.
struct PhaserLanes {
  __m512 inputs, outputs, older, coefficients, olderCoefficients;
};

template <bool kEveryLane>
__m512 PhaserStep(PhaserLanes& lanes, __m512i shift, __m512 frame, __m512 coefficient,
                  __mmask16 used, __mmask16 moving) {
  const __m512 in = _mm512_maskz_permutex2var_ps(used, lanes.older, shift, frame);
  const __m512 a = _mm512_maskz_permutex2var_ps(used, lanes.olderCoefficients, shift, coefficient);
  const __m512 out = _mm512_sub_ps(_mm512_add_ps(_mm512_mul_ps(a, in), lanes.inputs),
                                   _mm512_mul_ps(a, lanes.outputs));
  lanes.older = lanes.outputs;
  lanes.olderCoefficients = lanes.coefficients;
  lanes.coefficients = a;
  lanes.inputs = kEveryLane ? in : _mm512_mask_mov_ps(lanes.inputs, moving, in);
  lanes.outputs = kEveryLane ? out : _mm512_mask_mov_ps(lanes.outputs, moving, out);
  return lanes.outputs;
}

// One or two channels' samples of a frame in the first lanes; loads and stores of exactly those
// samples, as wider ones would wait on the stores of the frames before.
template <uint32_t kGroup>
__m128 LoadGroup(const float* at) {
  return kGroup == 2 ? _mm_castsi128_ps(_mm_loadu_si64(at)) : _mm_load_ss(at);
}

template <uint32_t kGroup>
void StoreGroup(float* at, __m128 x) {
  if constexpr (kGroup == 2) {
    _mm_storeu_si64(at, _mm_castps_si128(x));
  } else {
    _mm_store_ss(at, x);
  }
}

// The chain's output of a frame, from the last stage's lanes of a step, mixed into the frame.
template <uint32_t kGroup>
void EmitGroup(float* at, __m512 outs, __m128 dry, __m128 wet) {
  const __m128 y = _mm512_castps512_ps128(outs);
  const __m128 x = LoadGroup<kGroup>(at);
  StoreGroup<kGroup>(at, _mm_add_ps(_mm_mul_ps(dry, x), _mm_mul_ps(wet, y)));
}

// The 16-bit samples from..to (at most sixteen) as floats, and back. Inlined: a call would
// spill the phaser's lanes.
[[gnu::always_inline]] inline void SamplesIn(const int16_t* samples, float* values,
                                             std::size_t from, std::size_t to) {
  if (to - from == 16) {
    _mm512_store_ps(values + from, Avx512::LoadSamples(samples + from));
    return;
  }
  for (std::size_t i = from; i < to; ++i)
    values[i] = SampleToFloat(samples[i]);
}

[[gnu::always_inline]] inline void SamplesOut(const float* values, int16_t* samples,
                                              std::size_t from, std::size_t to) {
  if (to - from == 16) {
    Avx512::StoreSamples(samples + from, _mm512_load_ps(values + from));
    return;
  }
  for (std::size_t i = from; i < to; ++i)
    samples[i] = FloatToSample(values[i]);
}

// With 16-bit samples (kPcm), `values` is a scratch of frames * kGroup floats, `stride` is
// kGroup, and the samples pass through it sixteen at a time: in when a step first reaches them,
// out a block after their frames are mixed, so that the stores have left. The conversions then
// overlap the stages' recurrences.
template <uint32_t kGroup, bool kPcm>
void PhaseGroupAvx512(float* values, std::size_t frames, std::size_t stride, uint32_t stages,
                      const uint32_t* runEnds, const float* runCoefficients, float* memories,
                      float dry, float wet, int16_t* samples) {
  constexpr uint32_t group = kGroup;           // channels side by side
  constexpr std::size_t kBlock = 16 / kGroup;  // frames of sixteen values
  const uint32_t used = group * stages;
  const uint32_t span = stages + 1;
  alignas(64) float inputs[16] = {};
  alignas(64) float outputs[16] = {};
  alignas(64) int32_t shift[16];
  alignas(64) int32_t lagOfLane[16];
  const auto stageOf = [&](uint32_t l) { return stages - 1 - l / group; };
  for (uint32_t l = 0; l < 16; ++l) {
    const uint32_t c = l % group;
    if (l < used) {
      inputs[l] = memories[c * span + stageOf(l)];
      outputs[l] = memories[c * span + stageOf(l) + 1];
    }
    // The first stage's lanes take the new frame from the second source.
    shift[l] = static_cast<int32_t>(l + group < used ? l + group : 16 + c);
    lagOfLane[l] = l < used ? static_cast<int32_t>(2 * stageOf(l)) : INT32_MAX;
  }
  alignas(64) float coefficientOf[kPhaserKernelFrames];
  for (std::size_t r = 0, f = 0; f < frames; ++r) {
    const __m512 c = _mm512_set1_ps(runCoefficients[r]);
    for (; f < runEnds[r]; f += 16) {
      const auto left = static_cast<uint32_t>(std::min<std::size_t>(runEnds[r] - f, 16));
      _mm512_mask_storeu_ps(coefficientOf + f, static_cast<__mmask16>((1u << left) - 1), c);
    }
    f = runEnds[r];
  }
  PhaserLanes lanes{_mm512_load_ps(inputs), _mm512_load_ps(outputs), _mm512_load_ps(outputs),
                    _mm512_setzero_ps(), _mm512_setzero_ps()};
  const __m512i shiftLanes = _mm512_load_si512(shift);
  const __m512i lags = _mm512_load_si512(lagOfLane);
  const auto usedLanes = static_cast<__mmask16>((1u << used) - 1);
  const __m128 dryLanes = _mm_set1_ps(dry);
  const __m128 wetLanes = _mm_set1_ps(wet);
  const std::size_t lag = 2 * (stages - 1);
  std::size_t brought = 0;  // frames whose samples are in `values`
  std::size_t sent = 0;     // frames whose mixed values are back in `samples`
  const auto sendBlock = [&] {
    SamplesOut(values, samples, sent * group, std::min(sent + kBlock, frames) * group);
    sent += kBlock;
  };
  const auto edgeStep = [&](std::size_t n) {
    const auto step = static_cast<int32_t>(n);
    const __mmask16 moving =
        _mm512_cmple_epi32_mask(lags, _mm512_set1_epi32(step)) &
        _mm512_cmpgt_epi32_mask(lags, _mm512_set1_epi32(step - static_cast<int32_t>(frames)));
    const bool fresh = n < frames;
    if (kPcm && fresh && n == brought) {
      SamplesIn(samples, values, n * group, std::min(n + kBlock, frames) * group);
      brought += kBlock;
    }
    const __m512 frame = fresh ? _mm512_castps128_ps512(LoadGroup<kGroup>(values + n * stride))
                               : _mm512_setzero_ps();
    const __m512 a = _mm512_set1_ps(fresh ? coefficientOf[n] : 0.0f);
    const __m512 outs = PhaserStep<false>(lanes, shiftLanes, frame, a, usedLanes, moving);
    if (n < lag) return;
    EmitGroup<kGroup>(values + (n - lag) * stride, outs, dryLanes, wetLanes);
    if (kPcm && sent + 2 * kBlock <= n + 1 - lag) sendBlock();
  };
  std::size_t n = 0;
  const std::size_t head = std::min(frames, (lag + kBlock - 1) / kBlock * kBlock);
  for (; n < head; ++n)
    edgeStep(n);
  // Every lane moves from here, a block of frames at a time; the lanes and constants are copied
  // so that they stay in registers.
  PhaserLanes steady = lanes;
  const __m512i shiftSteady = shiftLanes;
  const __m128 drySteady = dryLanes;
  const __m128 wetSteady = wetLanes;
  const std::size_t steps = kPcm ? kGroup : stride;
  for (; n + kBlock <= frames; n += kBlock) {
    if constexpr (kPcm) SamplesIn(samples, values, n * group, (n + kBlock) * group);
    const float* at = values + n * steps;
    float* mixed = values + (n - lag) * steps;
#pragma GCC unroll 16
    for (std::size_t j = 0; j < kBlock; ++j) {
      const __m512 frame = _mm512_castps128_ps512(LoadGroup<kGroup>(at + j * steps));
      const __m512 a = _mm512_set1_ps(coefficientOf[n + j]);
      const __m512 outs = PhaserStep<true>(steady, shiftSteady, frame, a, usedLanes, 0xFFFF);
      EmitGroup<kGroup>(mixed + j * steps, outs, drySteady, wetSteady);
    }
    if (kPcm && sent + 2 * kBlock <= n + kBlock - lag) sendBlock();
  }
  brought = n;
  lanes = steady;
  for (; n < frames + lag; ++n)
    edgeStep(n);
  while (kPcm && sent < frames)
    sendBlock();
  _mm512_store_ps(inputs, lanes.inputs);
  _mm512_store_ps(outputs, lanes.outputs);
  for (uint32_t l = 0; l < used; ++l) {
    memories[(l % group) * span + stageOf(l)] = inputs[l];
    if (l < group) memories[l * span + stages] = outputs[l];
  }
}

void PhaserAvx512(float* samples, std::size_t frames, std::size_t stride, uint32_t group,
                  uint32_t stages, const uint32_t* runEnds, const float* runCoefficients,
                  float* memories, float dry, float wet) {
  if (group == 2) {
    PhaseGroupAvx512<2, false>(samples, frames, stride, stages, runEnds, runCoefficients, memories,
                               dry, wet, nullptr);
  } else {
    PhaseGroupAvx512<1, false>(samples, frames, stride, stages, runEnds, runCoefficients, memories,
                               dry, wet, nullptr);
  }
}

void PhaserSamplesAvx512(int16_t* samples, std::size_t frames, uint32_t group, uint32_t stages,
                         const uint32_t* runEnds, const float* runCoefficients, float* memories,
                         float dry, float wet, float* scratch) {
  if (group == 2) {
    PhaseGroupAvx512<2, true>(scratch, frames, 2, stages, runEnds, runCoefficients, memories, dry,
                              wet, samples);
  } else {
    PhaseGroupAvx512<1, true>(scratch, frames, 1, stages, runEnds, runCoefficients, memories, dry,
                              wet, samples);
  }
}

}  // namespace
}  // namespace wavfx

#include "dsp/fast_power.h"
#include "dsp/fast_sine.h"
#include "dsp/simd_kernels.h"

namespace wavfx {

// Every kernel returns with the vector registers' upper halves clear (cleared_kernel.h).
const VectorKernels kAvx512Kernels = {
    .toFloats = Cleared<ToFloatVectors<Avx512>>::Call,
    .toSamples = Cleared<ToSampleVectors<Avx512>>::Call,
    .toSamplesCountingClips = Cleared<ToSampleVectorsCountingClips<Avx512>>::Call,
    .intsToFloats = Cleared<IntsToFloatVectors<Avx512>>::Call,
    .floatsToInts = Cleared<FloatsToIntVectors<Avx512>>::Call,
    .zeroNonFinite = Cleared<ZeroNonFiniteVectors<Avx512>>::Call,
    .unpack24 = Cleared<Unpack24Avx2>::Call,
    .pack24 = Cleared<Pack24Avx2>::Call,
    .distort = Cleared<DistortVectors<Avx512>>::Call,
    .crush = Cleared<CrushVectors<Avx512>>::Call,
    .widen = Cleared<WidenVectors<Avx512>>::Call,
    .age = Cleared<AgeVectors<Avx512>>::Call,
    // Four frames a step keep the filter's pace better than eight (measured on AMD Zen 4).
    .onePoleSamples = Cleared<OnePoleSamplesAvx2>::Call,
    .antiqueSamples = Cleared<AntiqueStereoVectors<Avx512, int16_t>>::Call,
    .antiqueFloats = Cleared<AntiqueStereoVectors<Avx512, float>>::Call,
    .compressorGains = Cleared<CompressorGainVectors<Avx512>>::Call,
    .compandGains = Cleared<CompandGainVectors<Avx512>>::Call,
    .scale = Cleared<ScaleVectors<Avx512>>::Call,
    .gain = Cleared<GainVectors<Avx512>>::Call,
    .echo = Cleared<EchoVectors<Avx512>>::Call,
    .comb = Cleared<CombVectors<Avx512>>::Call,
    .readPoints = Cleared<ReadPointVectors<Avx512>>::Call,
    .delayStereo = Cleared<DelayStereoVectors<Avx512>>::Call,
    .sinePlusOne = Cleared<SinePlusOneVectors<Avx512>>::Call,
    .halfSinePlusOne = Cleared<HalfSinePlusOneVectors<Avx512>>::Call,
    .ditherTpdf = Cleared<DitherTpdfAvx512>::Call,
    .phaser = Cleared<PhaserAvx512>::Call,
    .phaserSamples = Cleared<PhaserSamplesAvx512>::Call,
    .phaserCoefficients = Cleared<PhaserCoefficientVectors<Avx512>>::Call,
    .truePeak = Cleared<TruePeakVectors<Avx512>>::Call,
    .truePeakPoints = Cleared<TruePeakPointVectors<Avx512>>::Call,
    .mixRows = Cleared<MixRowVectors<Avx512>>::Call,
    .halfBand = Cleared<HalfBandVectors<Avx512>>::Call,
};

}  // namespace wavfx

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC diagnostic pop
#pragma GCC pop_options
#endif

#endif  // __x86_64__
