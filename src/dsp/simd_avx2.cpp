// The vector kernels for AVX2 (with FMA): eight floats, four doubles per vector.
#include "dsp/simd_dispatch.h"

#if defined(__x86_64__)

#include <immintrin.h>

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "dsp/cleared_kernel.h"
#include "dsp/compand_curve.h"
#include "dsp/effect_math.h"
#include "dsp/sample_conversion.h"
#include "dsp/true_peak.h"

// Every function from here on is compiled for AVX2; the headers above are not.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,fma"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,fma")
#endif

namespace wavfx {
namespace {

struct Avx2 {
  static constexpr std::size_t kLanes = 8;
  using Float = __m256;
  using Double = __m256d;  // half the lanes of a Float
  using FloatMask = __m256;
  using DoubleMask = __m256d;

  static Float Splat(float value) { return _mm256_set1_ps(value); }
  static Double SplatDouble(double value) { return _mm256_set1_pd(value); }
  static Float Load(const float* values) { return _mm256_loadu_ps(values); }
  static void Store(float* values, Float vector) { _mm256_storeu_ps(values, vector); }
  // Four values, each in two neighbouring lanes.
  static Float LoadTwice(const float* values) {
    const Float loaded = _mm256_castps128_ps256(_mm_loadu_ps(values));
    return _mm256_permutevar8x32_ps(loaded, _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3));
  }

  // SampleToFloat of eight samples.
  static Float LoadSamples(const int16_t* samples) {
    const __m128i loaded = _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples));
    return _mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(loaded)) * Splat(3.0517578125e-05f);
  }

  // FloatToSample of eight values. Values beyond +-2 all give the clamped sample, so they are
  // limited to +-2 first; the floor then fits 32 bits, and the saturating pack to 16 bits is
  // the clamp.
  static void StoreSamples(int16_t* samples, Float x) {
    x = _mm256_and_ps(x, _mm256_cmp_ps(x, x, _CMP_ORD_Q));
    x = _mm256_max_ps(_mm256_min_ps(x, Splat(2.0f)), Splat(-2.0f));
    const __m256i whole = Whole(x);
    _mm_storeu_si128(
        reinterpret_cast<__m128i*>(samples),
        _mm_packs_epi32(_mm256_castsi256_si128(whole), _mm256_extracti128_si256(whole, 1)));
  }

  // The floor of x * 32767 + 0.5 for |x| <= 2, as 32-bit integers, in single precision: the
  // product p rounded to the nearest whole number n (ties to even) is that floor except where
  // p lies half-way, when the product's exact remainder decides.
  static __m256i Whole(Float x) {
    const Float scale = Splat(32767.0f);
    const Float p = x * scale;
    const Float remainder = _mm256_fmsub_ps(x, scale, p);
    const Float nearest = _mm256_round_ps(p, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    const Float offset = p - nearest;
    const Float up = _mm256_and_ps(_mm256_cmp_ps(offset, Splat(0.5f), _CMP_EQ_OQ),
                                   _mm256_cmp_ps(remainder, Splat(0.0f), _CMP_GE_OQ));
    const Float down = _mm256_and_ps(_mm256_cmp_ps(offset, Splat(-0.5f), _CMP_EQ_OQ),
                                     _mm256_cmp_ps(remainder, Splat(0.0f), _CMP_LT_OQ));
    // A true comparison is -1 as an integer.
    const __m256i n = _mm256_cvttps_epi32(nearest);
    return _mm256_add_epi32(_mm256_sub_epi32(n, _mm256_castps_si256(up)),
                            _mm256_castps_si256(down));
  }

  // a * b - c, rounded once.
  static Float MultiplySubtract(Float a, Float b, Float c) { return _mm256_fmsub_ps(a, b, c); }
  static Float MultiplyAdd(Float a, Float b, Float c) { return _mm256_fmadd_ps(a, b, c); }
  // Minimum and maximum take the second operand when the first is NaN.
  static Float Min(Float a, Float b) { return _mm256_min_ps(a, b); }
  static Float Max(Float a, Float b) { return _mm256_max_ps(a, b); }
  static Float Floor(Float x) { return _mm256_floor_ps(x); }
  static Double FloorDouble(Double x) { return _mm256_floor_pd(x); }
  static Float SwapPairs(Float x) { return _mm256_permute_ps(x, 0xB1); }

  // Integer lanes, for the noise generator, modulo 2^32.
  static __m256i LoadInts(const uint32_t* values) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(values));
  }
  static __m256i SplatInt(uint32_t value) { return _mm256_set1_epi32(static_cast<int>(value)); }
  static __m256i MultiplyAdd(__m256i a, __m256i b, __m256i c) {
    return _mm256_add_epi32(_mm256_mullo_epi32(a, b), c);
  }
  static void StoreInts(uint32_t* values, __m256i x) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(values), x);
  }
  static Float IntsToFloats(__m256i x) { return _mm256_cvtepi32_ps(x); }
  static __m256i TruncateToInts(Float x) { return _mm256_cvttps_epi32(x); }
  // f + 1, or 0 where that is `span`.
  static __m256i NextFrames(__m256i frames, uint32_t span) {
    const __m256i next = _mm256_add_epi32(frames, _mm256_set1_epi32(1));
    const __m256i end = _mm256_cmpeq_epi32(next, _mm256_set1_epi32(static_cast<int>(span)));
    return _mm256_andnot_si256(end, next);
  }
  static uint32_t FirstLane(__m256i x) {
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm256_castsi256_si128(x)));
  }
  // The low or high half of the lanes with their top bit cleared, as doubles.
  static Double LowLow31(__m256i x) { return Low31(_mm256_castsi256_si128(x)); }
  static Double HighLow31(__m256i x) { return Low31(_mm256_extracti128_si256(x, 1)); }
  static Double Low31(__m128i x) {
    return _mm256_cvtepi32_pd(_mm_and_si128(x, _mm_set1_epi32(0x7FFFFFFF)));
  }
  // As the instructions: the first operand when it compares so, else the second.
  static Double MaxDouble(Double a, Double b) { return _mm256_max_pd(a, b); }
  static Double MinDouble(Double a, Double b) { return _mm256_min_pd(a, b); }

  static Double LowHalf(Float x) { return _mm256_cvtps_pd(_mm256_castps256_ps128(x)); }
  static Double HighHalf(Float x) { return _mm256_cvtps_pd(_mm256_extractf128_ps(x, 1)); }
  static Float Narrow(Double low, Double high) {
    return _mm256_set_m128(_mm256_cvtpd_ps(high), _mm256_cvtpd_ps(low));
  }

  static constexpr unsigned kAllLanes = 0xFF;
  static FloatMask Greater(Float a, Float b) { return _mm256_cmp_ps(a, b, _CMP_GT_OQ); }
  static FloatMask Less(Float a, Float b) { return _mm256_cmp_ps(a, b, _CMP_LT_OQ); }
  static FloatMask GreaterEqual(Float a, Float b) { return _mm256_cmp_ps(a, b, _CMP_GE_OQ); }
  static FloatMask LessEqual(Float a, Float b) { return _mm256_cmp_ps(a, b, _CMP_LE_OQ); }
  static FloatMask Equal(Float a, Float b) { return _mm256_cmp_ps(a, b, _CMP_EQ_OQ); }
  static FloatMask And(FloatMask a, FloatMask b) { return _mm256_and_ps(a, b); }
  static unsigned Bits(FloatMask mask) { return static_cast<unsigned>(_mm256_movemask_ps(mask)); }
  static Float Select(FloatMask mask, Float yes, Float no) {
    return _mm256_blendv_ps(no, yes, mask);
  }

  static DoubleMask Equal(Double a, Double b) { return _mm256_cmp_pd(a, b, _CMP_EQ_OQ); }
  static Double Select(DoubleMask mask, Double yes, Double no) {
    return _mm256_blendv_pd(no, yes, mask);
  }
  // Wider integers, for the PCM conversions.
  static __m256i JoinInts(__m128i low, __m128i high) { return _mm256_set_m128i(high, low); }
  static __m128i TruncateDoubles(Double x) { return _mm256_cvttpd_epi32(x); }
  static unsigned DoubleBitsOf(DoubleMask mask) {
    return static_cast<unsigned>(_mm256_movemask_pd(mask));
  }
  static DoubleMask GreaterEqualDouble(Double a, Double b) {
    return _mm256_cmp_pd(a, b, _CMP_GE_OQ);
  }
  static DoubleMask LessDouble(Double a, Double b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
  static DoubleMask AndDouble(DoubleMask a, DoubleMask b) { return _mm256_and_pd(a, b); }
  static Double LoadDouble(const double* values) { return _mm256_loadu_pd(values); }
  static void StoreDouble(double* values, Double x) { _mm256_storeu_pd(values, x); }
  // The bits of doubles as 64-bit integers, for fast_power.h.
  using DoubleBits = __m256i;
  static DoubleBits BitsOf(Double x) { return _mm256_castpd_si256(x); }
  static Double DoubleFromBits(DoubleBits x) { return _mm256_castsi256_pd(x); }
  static DoubleBits SplatBits(uint64_t x) { return _mm256_set1_epi64x(static_cast<long long>(x)); }
  static DoubleBits AddBits(DoubleBits a, DoubleBits b) { return _mm256_add_epi64(a, b); }
  static DoubleBits SubtractBits(DoubleBits a, DoubleBits b) { return _mm256_sub_epi64(a, b); }
  static DoubleBits ShiftLeftBits(DoubleBits x, int n) { return _mm256_slli_epi64(x, n); }
  static DoubleBits ShiftRightBits(DoubleBits x, int n) { return _mm256_srli_epi64(x, n); }
  // Four stereo frames of a buffer, at the frame numbers `frames`.
  static Float GatherFrames(const float* buffer, const uint32_t* frames) {
    const auto at = [buffer, frames](int i) {
      return reinterpret_cast<const __m64*>(buffer + 2 * std::size_t{frames[i]});
    };
    const __m128 low = _mm_loadh_pi(_mm_loadl_pi(_mm_setzero_ps(), at(0)), at(1));
    const __m128 high = _mm_loadh_pi(_mm_loadl_pi(_mm_setzero_ps(), at(2)), at(3));
    return _mm256_set_m128(high, low);
  }
  // Whether any of four frame numbers lies in [first, first + 3].
  static bool AnyNearFrames(const uint32_t* frames, uint32_t first) {
    return AnyOfFourFrom(frames, first);
  }
  static bool AnyOfFourFrom(const uint32_t* frames, uint32_t first) {
    const __m128i at = _mm_loadu_si128(reinterpret_cast<const __m128i*>(frames));
    const __m128i offset = _mm_sub_epi32(at, _mm_set1_epi32(static_cast<int>(first)));
    const __m128i near = _mm_cmpeq_epi32(_mm_min_epu32(offset, _mm_set1_epi32(3)), offset);
    return _mm_movemask_epi8(near) != 0;
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
  // The vector of four frames' pairs, in order.
  static Float FromPairs(const Pair* pairs) {
    return _mm256_set_m128(_mm_movelh_ps(pairs[2], pairs[3]), _mm_movelh_ps(pairs[0], pairs[1]));
  }
};

}  // namespace
}  // namespace wavfx

#include "dsp/fast_power.h"
#include "dsp/fast_sine.h"
#include "dsp/simd_kernels.h"

namespace wavfx {

std::size_t OnePoleSamplesAvx2(int16_t* samples, std::size_t frames, float a, float* memories,
                               bool highpass) {
  return OnePoleSampleVectors<Avx2>(samples, frames, a, memories, highpass);
}

namespace {

// The byte of a 3-byte sample's word that each lane's byte takes (-1: zero), for a vector of four
// samples in either byte order: the sample lands left-justified in its 32 bits.
__m256i Spread24(bool bigEndian) {
  const __m128i lanes = bigEndian
                            ? _mm_setr_epi8(-1, 2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9)
                            : _mm_setr_epi8(-1, 0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11);
  return _mm256_broadcastsi128_si256(lanes);
}

__m256i Gather24(bool bigEndian) {
  const __m128i lanes = bigEndian
                            ? _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1)
                            : _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  return _mm256_broadcastsi128_si256(lanes);
}

}  // namespace

// Eight samples a step, from two 16-byte loads 12 bytes apart; each load reads 4 bytes past its
// samples, so the last 10 samples or more are left to the scalar code.
std::size_t Unpack24Avx2(const unsigned char* data, int32_t* samples, std::size_t count,
                         bool bigEndian) {
  const __m256i spread = Spread24(bigEndian);
  std::size_t i = 0;
  for (; i + 10 <= count; i += 8, data += 24) {
    const __m256i bytes =
        _mm256_set_m128i(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 12)),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(data)));
    const __m256i words = _mm256_shuffle_epi8(bytes, spread);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(samples + i), _mm256_srai_epi32(words, 8));
  }
  return i;
}

// The same in reverse: each 16-byte store writes 4 bytes past its samples, which the next store
// (or the scalar code, for the last 10 samples or more) writes again.
std::size_t Pack24Avx2(const int32_t* samples, unsigned char* data, std::size_t count,
                       bool bigEndian) {
  const __m256i gather = Gather24(bigEndian);
  std::size_t i = 0;
  for (; i + 10 <= count; i += 8, data += 24) {
    const __m256i bytes = _mm256_shuffle_epi8(
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(samples + i)), gather);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(data), _mm256_castsi256_si128(bytes));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(data + 12), _mm256_extracti128_si256(bytes, 1));
  }
  return i;
}

// Every kernel returns with the vector registers' upper halves clear (cleared_kernel.h).
const VectorKernels kAvx2Kernels = {
    .toFloats = Cleared<ToFloatVectors<Avx2>>::Call,
    .toSamples = Cleared<ToSampleVectors<Avx2>>::Call,
    .toSamplesCountingClips = Cleared<ToSampleVectorsCountingClips<Avx2>>::Call,
    .intsToFloats = Cleared<IntsToFloatVectors<Avx2>>::Call,
    .floatsToInts = Cleared<FloatsToIntVectors<Avx2>>::Call,
    .zeroNonFinite = Cleared<ZeroNonFiniteVectors<Avx2>>::Call,
    .unpack24 = Cleared<Unpack24Avx2>::Call,
    .pack24 = Cleared<Pack24Avx2>::Call,
    .distort = Cleared<DistortVectors<Avx2>>::Call,
    .crush = Cleared<CrushVectors<Avx2>>::Call,
    .widen = Cleared<WidenVectors<Avx2>>::Call,
    .age = Cleared<AgeVectors<Avx2>>::Call,
    .onePoleSamples = Cleared<OnePoleSamplesAvx2>::Call,
    .antiqueSamples = Cleared<AntiqueStereoVectors<Avx2, int16_t>>::Call,
    .antiqueFloats = Cleared<AntiqueStereoVectors<Avx2, float>>::Call,
    .compressorGains = Cleared<CompressorGainVectors<Avx2>>::Call,
    .compandGains = Cleared<CompandGainVectors<Avx2>>::Call,
    .scale = Cleared<ScaleVectors<Avx2>>::Call,
    .gain = Cleared<GainVectors<Avx2>>::Call,
    .echo = Cleared<EchoVectors<Avx2>>::Call,
    .comb = Cleared<CombVectors<Avx2>>::Call,
    .readPoints = Cleared<ReadPointVectors<Avx2>>::Call,
    .delayStereo = Cleared<DelayStereoVectors<Avx2>>::Call,
    .sinePlusOne = Cleared<SinePlusOneVectors<Avx2>>::Call,
    .halfSinePlusOne = Cleared<HalfSinePlusOneVectors<Avx2>>::Call,
    .ditherTpdf = nullptr,
    .phaser = nullptr,
    .phaserSamples = nullptr,
    .phaserCoefficients = Cleared<PhaserCoefficientVectors<Avx2>>::Call,
    .truePeak = Cleared<TruePeakVectors<Avx2>>::Call,
    .truePeakPoints = Cleared<TruePeakPointVectors<Avx2>>::Call,
    .mixRows = Cleared<MixRowVectors<Avx2>>::Call,
    .halfBand = Cleared<HalfBandVectors<Avx2>>::Call,
};

}  // namespace wavfx

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#endif  // __x86_64__
