// The resampler's dot products for AVX2 and AVX-512: the partial sums of the scalar code
// (64 floats or 32 doubles, tap j going to sum j mod 64 or 32) as vector lanes, each product added
// by a fused multiply-add (std::fma in the scalar code), then halved in the scalar code's order.
#include "dsp/resampler.h"

#if defined(__x86_64__)

#include <immintrin.h>

// GCC 12's shuffle intrinsics read a deliberately undefined vector, which -Wuninitialized (and at
// some optimisation levels -Wmaybe-uninitialized) flags. Clang knows neither diagnostic's cause.
#pragma GCC diagnostic ignored "-Wuninitialized"
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace wavfx {
namespace {

__attribute__((target("avx2,fma"))) float HalveFloats8(__m256 v) {
  __m128 s = _mm_add_ps(_mm256_castps256_ps128(v), _mm256_extractf128_ps(v, 1));
  s = _mm_add_ps(s, _mm_movehl_ps(s, s));
  return _mm_cvtss_f32(_mm_add_ss(s, _mm_shuffle_ps(s, s, 1)));
}

__attribute__((target("avx2,fma"))) double HalveDoubles4(__m256d v) {
  const __m128d s = _mm_add_pd(_mm256_castpd256_pd128(v), _mm256_extractf128_pd(v, 1));
  return _mm_cvtsd_f64(_mm_add_sd(s, _mm_unpackhi_pd(s, s)));
}

// The halving of four dots' 16 lanes each, j with j + 8, then + 4, + 2, + 1, into out[0 .. 4).
__attribute__((target("avx512f"))) void HalveFour(__m512 t0, __m512 t1, __m512 t2, __m512 t3,
                                                  float* out) {
  // Lanes j and j + 8 of each, two dots a register; then j and j + 4, four dots a register.
  const __m512 p01 =
      _mm512_add_ps(_mm512_shuffle_f32x4(t0, t1, 0x44), _mm512_shuffle_f32x4(t0, t1, 0xEE));
  const __m512 p23 =
      _mm512_add_ps(_mm512_shuffle_f32x4(t2, t3, 0x44), _mm512_shuffle_f32x4(t2, t3, 0xEE));
  __m512 q =
      _mm512_add_ps(_mm512_shuffle_f32x4(p01, p23, 0x88), _mm512_shuffle_f32x4(p01, p23, 0xDD));
  q = _mm512_add_ps(q, _mm512_permute_ps(q, 0x4E));
  q = _mm512_add_ps(q, _mm512_permute_ps(q, 0xB1));
  alignas(64) float lanes[16];
  _mm512_store_ps(lanes, q);
  for (int d = 0; d < 4; ++d)
    out[d] = lanes[4 * d];
}

// The 64 sums s0 .. s7 (8 lanes each) of one dot halved as the scalar code does.
__attribute__((target("avx2,fma"))) float HalveFloats64(const __m256* s) {
  const __m256 a = _mm256_add_ps(_mm256_add_ps(s[0], s[4]), _mm256_add_ps(s[2], s[6]));
  const __m256 b = _mm256_add_ps(_mm256_add_ps(s[1], s[5]), _mm256_add_ps(s[3], s[7]));
  return HalveFloats8(_mm256_add_ps(a, b));
}

}  // namespace

// Partial sums in named registers: an array of vectors stays in memory at -O2.
__attribute__((target("avx2,fma"))) float ResampleDotFloatAvx2(const float* x, const float* c,
                                                               std::size_t taps) {
  __m256 s0 = _mm256_setzero_ps(), s1 = s0, s2 = s0, s3 = s0, s4 = s0, s5 = s0, s6 = s0, s7 = s0;
  for (std::size_t i = 0; i < taps; i += 64) {
    const float* a = x + i;
    const float* b = c + i;
    s0 = _mm256_fmadd_ps(_mm256_loadu_ps(a), _mm256_loadu_ps(b), s0);
    s1 = _mm256_fmadd_ps(_mm256_loadu_ps(a + 8), _mm256_loadu_ps(b + 8), s1);
    s2 = _mm256_fmadd_ps(_mm256_loadu_ps(a + 16), _mm256_loadu_ps(b + 16), s2);
    s3 = _mm256_fmadd_ps(_mm256_loadu_ps(a + 24), _mm256_loadu_ps(b + 24), s3);
    s4 = _mm256_fmadd_ps(_mm256_loadu_ps(a + 32), _mm256_loadu_ps(b + 32), s4);
    s5 = _mm256_fmadd_ps(_mm256_loadu_ps(a + 40), _mm256_loadu_ps(b + 40), s5);
    s6 = _mm256_fmadd_ps(_mm256_loadu_ps(a + 48), _mm256_loadu_ps(b + 48), s6);
    s7 = _mm256_fmadd_ps(_mm256_loadu_ps(a + 56), _mm256_loadu_ps(b + 56), s7);
  }
  const __m256 sums[8] = {s0, s1, s2, s3, s4, s5, s6, s7};
  return HalveFloats64(sums);
}

__attribute__((target("avx2,fma"))) double ResampleDotDoubleAvx2(const double* x, const double* c,
                                                                 std::size_t taps) {
  __m256d s0 = _mm256_setzero_pd(), s1 = s0, s2 = s0, s3 = s0, s4 = s0, s5 = s0, s6 = s0, s7 = s0;
  for (std::size_t i = 0; i < taps; i += 32) {
    const double* a = x + i;
    const double* b = c + i;
    s0 = _mm256_fmadd_pd(_mm256_loadu_pd(a), _mm256_loadu_pd(b), s0);
    s1 = _mm256_fmadd_pd(_mm256_loadu_pd(a + 4), _mm256_loadu_pd(b + 4), s1);
    s2 = _mm256_fmadd_pd(_mm256_loadu_pd(a + 8), _mm256_loadu_pd(b + 8), s2);
    s3 = _mm256_fmadd_pd(_mm256_loadu_pd(a + 12), _mm256_loadu_pd(b + 12), s3);
    s4 = _mm256_fmadd_pd(_mm256_loadu_pd(a + 16), _mm256_loadu_pd(b + 16), s4);
    s5 = _mm256_fmadd_pd(_mm256_loadu_pd(a + 20), _mm256_loadu_pd(b + 20), s5);
    s6 = _mm256_fmadd_pd(_mm256_loadu_pd(a + 24), _mm256_loadu_pd(b + 24), s6);
    s7 = _mm256_fmadd_pd(_mm256_loadu_pd(a + 28), _mm256_loadu_pd(b + 28), s7);
  }
  s0 = _mm256_add_pd(s0, s4);
  s1 = _mm256_add_pd(s1, s5);
  s2 = _mm256_add_pd(s2, s6);
  s3 = _mm256_add_pd(s3, s7);
  return HalveDoubles4(_mm256_add_pd(_mm256_add_pd(s0, s2), _mm256_add_pd(s1, s3)));
}

__attribute__((target("avx512f"))) float ResampleDotFloatAvx512(const float* x, const float* c,
                                                                std::size_t taps) {
  __m512 s0 = _mm512_setzero_ps(), s1 = s0, s2 = s0, s3 = s0;
  for (std::size_t i = 0; i < taps; i += 64) {
    const float* a = x + i;
    const float* b = c + i;
    s0 = _mm512_fmadd_ps(_mm512_loadu_ps(a), _mm512_loadu_ps(b), s0);
    s1 = _mm512_fmadd_ps(_mm512_loadu_ps(a + 16), _mm512_loadu_ps(b + 16), s1);
    s2 = _mm512_fmadd_ps(_mm512_loadu_ps(a + 32), _mm512_loadu_ps(b + 32), s2);
    s3 = _mm512_fmadd_ps(_mm512_loadu_ps(a + 48), _mm512_loadu_ps(b + 48), s3);
  }
  alignas(64) float lanes[16];
  _mm512_store_ps(lanes, _mm512_add_ps(_mm512_add_ps(s0, s2), _mm512_add_ps(s1, s3)));
  return HalveFloats8(_mm256_add_ps(_mm256_load_ps(lanes), _mm256_load_ps(lanes + 8)));
}

__attribute__((target("avx512f"))) double ResampleDotDoubleAvx512(const double* x, const double* c,
                                                                  std::size_t taps) {
  __m512d s0 = _mm512_setzero_pd(), s1 = s0, s2 = s0, s3 = s0;
  for (std::size_t i = 0; i < taps; i += 32) {
    const double* a = x + i;
    const double* b = c + i;
    s0 = _mm512_fmadd_pd(_mm512_loadu_pd(a), _mm512_loadu_pd(b), s0);
    s1 = _mm512_fmadd_pd(_mm512_loadu_pd(a + 8), _mm512_loadu_pd(b + 8), s1);
    s2 = _mm512_fmadd_pd(_mm512_loadu_pd(a + 16), _mm512_loadu_pd(b + 16), s2);
    s3 = _mm512_fmadd_pd(_mm512_loadu_pd(a + 24), _mm512_loadu_pd(b + 24), s3);
  }
  alignas(64) double lanes[8];
  _mm512_store_pd(lanes, _mm512_add_pd(_mm512_add_pd(s0, s2), _mm512_add_pd(s1, s3)));
  return HalveDoubles4(_mm256_add_pd(_mm256_load_pd(lanes), _mm256_load_pd(lanes + 4)));
}

namespace {

// Four dot products at once: x[d] with c[d], the phases loaded once when shared. Each takes the
// single dot's partial sums; the halving steps from 16 lanes down are shared by all four.
template <bool kShared>
__attribute__((target("avx512f"))) void FourDotsAvx512(const float* const* x, const float* const* c,
                                                       std::size_t taps, float* out) {
  const float *a0 = x[0], *a1 = x[1], *a2 = x[2], *a3 = x[3];
  const float *b0 = c[0], *b1 = kShared ? b0 : c[1], *b2 = kShared ? b0 : c[2],
              *b3 = kShared ? b0 : c[3];
  __m512 s00 = _mm512_setzero_ps(), s01 = s00, s02 = s00, s03 = s00, s10 = s00, s11 = s00,
         s12 = s00, s13 = s00, s20 = s00, s21 = s00, s22 = s00, s23 = s00, s30 = s00, s31 = s00,
         s32 = s00, s33 = s00;
#define WAVFX_STEP(d, k)                                        \
  s##d##k = _mm512_fmadd_ps(_mm512_loadu_ps(a##d + i + 16 * k), \
                            _mm512_loadu_ps(b##d + i + 16 * k), s##d##k)
  for (std::size_t i = 0; i < taps; i += 64) {
    WAVFX_STEP(0, 0);
    WAVFX_STEP(1, 0);
    WAVFX_STEP(2, 0);
    WAVFX_STEP(3, 0);
    WAVFX_STEP(0, 1);
    WAVFX_STEP(1, 1);
    WAVFX_STEP(2, 1);
    WAVFX_STEP(3, 1);
    WAVFX_STEP(0, 2);
    WAVFX_STEP(1, 2);
    WAVFX_STEP(2, 2);
    WAVFX_STEP(3, 2);
    WAVFX_STEP(0, 3);
    WAVFX_STEP(1, 3);
    WAVFX_STEP(2, 3);
    WAVFX_STEP(3, 3);
  }
#undef WAVFX_STEP
  HalveFour(_mm512_add_ps(_mm512_add_ps(s00, s02), _mm512_add_ps(s01, s03)),
            _mm512_add_ps(_mm512_add_ps(s10, s12), _mm512_add_ps(s11, s13)),
            _mm512_add_ps(_mm512_add_ps(s20, s22), _mm512_add_ps(s21, s23)),
            _mm512_add_ps(_mm512_add_ps(s30, s32), _mm512_add_ps(s31, s33)), out);
}

// Four dots of one phase c, a quarter of the partial sums (16, in two vectors) at a time.
__attribute__((target("avx2,fma"))) void SharedDotsAvx2(const float* const* x, const float* c,
                                                        std::size_t taps, float* out) {
  __m256 sums[4][8];
  for (std::size_t q = 0; q < 64; q += 16) {
    __m256 s0 = _mm256_setzero_ps(), s1 = s0, s2 = s0, s3 = s0, s4 = s0, s5 = s0, s6 = s0, s7 = s0;
    for (std::size_t i = q; i < taps; i += 64) {
      const __m256 b0 = _mm256_loadu_ps(c + i);
      const __m256 b1 = _mm256_loadu_ps(c + i + 8);
      s0 = _mm256_fmadd_ps(_mm256_loadu_ps(x[0] + i), b0, s0);
      s1 = _mm256_fmadd_ps(_mm256_loadu_ps(x[0] + i + 8), b1, s1);
      s2 = _mm256_fmadd_ps(_mm256_loadu_ps(x[1] + i), b0, s2);
      s3 = _mm256_fmadd_ps(_mm256_loadu_ps(x[1] + i + 8), b1, s3);
      s4 = _mm256_fmadd_ps(_mm256_loadu_ps(x[2] + i), b0, s4);
      s5 = _mm256_fmadd_ps(_mm256_loadu_ps(x[2] + i + 8), b1, s5);
      s6 = _mm256_fmadd_ps(_mm256_loadu_ps(x[3] + i), b0, s6);
      s7 = _mm256_fmadd_ps(_mm256_loadu_ps(x[3] + i + 8), b1, s7);
    }
    const std::size_t v = q / 8;
    sums[0][v] = s0;
    sums[0][v + 1] = s1;
    sums[1][v] = s2;
    sums[1][v + 1] = s3;
    sums[2][v] = s4;
    sums[2][v + 1] = s5;
    sums[3][v] = s6;
    sums[3][v + 1] = s7;
  }
  for (int d = 0; d < 4; ++d)
    out[d] = HalveFloats64(sums[d]);
}

bool Shared(const float* const* c) {
  return c[1] == c[0] && c[2] == c[0] && c[3] == c[0];
}

// The mixed coefficients of `taps`-long rows r, r + taps, ... at tap i: ((w0 r0 + w1 r1) + w2 r2) +
// w3 r3, as the scalar code rounds them.
__attribute__((target("avx512f"))) inline __m512 Mix16(const float* r, std::size_t taps,
                                                       const __m512* w) {
  const __m512 a = _mm512_add_ps(_mm512_mul_ps(w[0], _mm512_loadu_ps(r)),
                                 _mm512_mul_ps(w[1], _mm512_loadu_ps(r + taps)));
  const __m512 b = _mm512_add_ps(a, _mm512_mul_ps(w[2], _mm512_loadu_ps(r + 2 * taps)));
  return _mm512_add_ps(b, _mm512_mul_ps(w[3], _mm512_loadu_ps(r + 3 * taps)));
}

__attribute__((target("avx2,fma"))) inline __m256 Mix8(const float* r, std::size_t taps,
                                                       const __m256* w) {
  const __m256 a = _mm256_add_ps(_mm256_mul_ps(w[0], _mm256_loadu_ps(r)),
                                 _mm256_mul_ps(w[1], _mm256_loadu_ps(r + taps)));
  const __m256 b = _mm256_add_ps(a, _mm256_mul_ps(w[2], _mm256_loadu_ps(r + 2 * taps)));
  return _mm256_add_ps(b, _mm256_mul_ps(w[3], _mm256_loadu_ps(r + 3 * taps)));
}

}  // namespace

__attribute__((target("avx512f"))) void ResampleMixDotFloatAvx512(
    const float* const* x, const float* const* rows, const uint64_t* parts, uint64_t steps,
    std::size_t count, std::size_t taps, const std::size_t* slots, float* out) {
  __m512 t[4] = {_mm512_setzero_ps(), _mm512_setzero_ps(), _mm512_setzero_ps(),
                 _mm512_setzero_ps()};
  for (std::size_t d = 0; d < count; ++d) {
    float w[4];
    ResampleWeights(parts[d], steps, w);
    const __m512 wd[4] = {_mm512_set1_ps(w[0]), _mm512_set1_ps(w[1]), _mm512_set1_ps(w[2]),
                          _mm512_set1_ps(w[3])};
    const float* a = x[d];
    const float* r = rows[d];
    __m512 s0 = _mm512_setzero_ps(), s1 = s0, s2 = s0, s3 = s0;
    for (std::size_t i = 0; i < taps; i += 64) {
      s0 = _mm512_fmadd_ps(_mm512_loadu_ps(a + i), Mix16(r + i, taps, wd), s0);
      s1 = _mm512_fmadd_ps(_mm512_loadu_ps(a + i + 16), Mix16(r + i + 16, taps, wd), s1);
      s2 = _mm512_fmadd_ps(_mm512_loadu_ps(a + i + 32), Mix16(r + i + 32, taps, wd), s2);
      s3 = _mm512_fmadd_ps(_mm512_loadu_ps(a + i + 48), Mix16(r + i + 48, taps, wd), s3);
    }
    t[d] = _mm512_add_ps(_mm512_add_ps(s0, s2), _mm512_add_ps(s1, s3));
  }
  float sums[4];
  HalveFour(t[0], t[1], t[2], t[3], sums);
  for (std::size_t d = 0; d < count; ++d)
    out[slots[d]] = sums[d];
}

__attribute__((target("avx2,fma"))) void ResampleMixDotFloatAvx2(
    const float* const* x, const float* const* rows, const uint64_t* parts, uint64_t steps,
    std::size_t count, std::size_t taps, const std::size_t* slots, float* out) {
  for (std::size_t d = 0; d < count; ++d) {
    float w[4];
    ResampleWeights(parts[d], steps, w);
    const __m256 wd[4] = {_mm256_set1_ps(w[0]), _mm256_set1_ps(w[1]), _mm256_set1_ps(w[2]),
                          _mm256_set1_ps(w[3])};
    const float* a = x[d];
    const float* r = rows[d];
    __m256 s0 = _mm256_setzero_ps(), s1 = s0, s2 = s0, s3 = s0, s4 = s0, s5 = s0, s6 = s0, s7 = s0;
#define WAVFX_STEP(k) \
  s##k = _mm256_fmadd_ps(_mm256_loadu_ps(a + i + 8 * k), Mix8(r + i + 8 * k, taps, wd), s##k)
    for (std::size_t i = 0; i < taps; i += 64) {
      WAVFX_STEP(0);
      WAVFX_STEP(1);
      WAVFX_STEP(2);
      WAVFX_STEP(3);
      WAVFX_STEP(4);
      WAVFX_STEP(5);
      WAVFX_STEP(6);
      WAVFX_STEP(7);
    }
#undef WAVFX_STEP
    const __m256 sums[8] = {s0, s1, s2, s3, s4, s5, s6, s7};
    out[slots[d]] = HalveFloats64(sums);
  }
}

void ResampleDot4FloatAvx2(const float* const* x, const float* const* c, std::size_t taps,
                           float* out) {
  if (Shared(c)) return SharedDotsAvx2(x, c[0], taps, out);
  for (int d = 0; d < 4; ++d)
    out[d] = ResampleDotFloatAvx2(x[d], c[d], taps);
}

void ResampleDot4FloatAvx512(const float* const* x, const float* const* c, std::size_t taps,
                             float* out) {
  if (Shared(c)) return FourDotsAvx512<true>(x, c, taps, out);
  FourDotsAvx512<false>(x, c, taps, out);
}

// The phase kernels keep the whole batch in vector code: scalar SSE code between AVX-512 calls
// costs more than the dot products on some processors.
__attribute__((target("avx2,fma"))) void ResamplePhaseFloatAvx2(const float* const* x,
                                                                const std::size_t* slots,
                                                                std::size_t count, const float* c,
                                                                std::size_t taps, float* out) {
  std::size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    float values[4];
    SharedDotsAvx2(x + i, c, taps, values);
    for (std::size_t d = 0; d < 4; ++d)
      out[slots[i + d]] = values[d];
  }
  for (; i < count; ++i)
    out[slots[i]] = ResampleDotFloatAvx2(x[i], c, taps);
}

__attribute__((target("avx512f"))) void ResamplePhaseFloatAvx512(const float* const* x,
                                                                 const std::size_t* slots,
                                                                 std::size_t count, const float* c,
                                                                 std::size_t taps, float* out) {
  const float* const cs[4] = {c, c, c, c};
  std::size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    float values[4];
    FourDotsAvx512<true>(x + i, cs, taps, values);
    for (std::size_t d = 0; d < 4; ++d)
      out[slots[i + d]] = values[d];
  }
  for (; i < count; ++i)
    out[slots[i]] = ResampleDotFloatAvx512(x[i], c, taps);
}

}  // namespace wavfx

#endif
