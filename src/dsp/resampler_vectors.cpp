// The resampler's dot products for AVX2 and AVX-512: the partial sums of the scalar code
// (64 floats or 32 doubles, tap j going to sum j mod 64 or 32) as vector lanes, each product added
// by a fused multiply-add (std::fma in the scalar code), then halved in the scalar code's order.
#include "dsp/resampler.h"

#if defined(__x86_64__)

#include <immintrin.h>

// GCC 12's shuffle intrinsics read a deliberately undefined vector, which -Wuninitialized flags.
#pragma GCC diagnostic ignored "-Wuninitialized"

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
  s0 = _mm256_add_ps(s0, s4);
  s1 = _mm256_add_ps(s1, s5);
  s2 = _mm256_add_ps(s2, s6);
  s3 = _mm256_add_ps(s3, s7);
  return HalveFloats8(_mm256_add_ps(_mm256_add_ps(s0, s2), _mm256_add_ps(s1, s3)));
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

// Four dot products at once: x[d] with c[d]. Each takes the single dot's partial sums; the
// halving steps from 16 lanes down are shared by all four, lane by lane the same additions.
__attribute__((target("avx512f"))) void ResampleDot4FloatAvx512(const float* const* x,
                                                                const float* const* c,
                                                                std::size_t taps, float* out) {
  const float *a0 = x[0], *a1 = x[1], *a2 = x[2], *a3 = x[3];
  const float *b0 = c[0], *b1 = c[1], *b2 = c[2], *b3 = c[3];
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
  const __m512 t[4] = {_mm512_add_ps(_mm512_add_ps(s00, s02), _mm512_add_ps(s01, s03)),
                       _mm512_add_ps(_mm512_add_ps(s10, s12), _mm512_add_ps(s11, s13)),
                       _mm512_add_ps(_mm512_add_ps(s20, s22), _mm512_add_ps(s21, s23)),
                       _mm512_add_ps(_mm512_add_ps(s30, s32), _mm512_add_ps(s31, s33))};
  // Lanes j and j + 8 of each, two dots a register; then j and j + 4, four dots a register.
  const __m512 p01 =
      _mm512_add_ps(_mm512_shuffle_f32x4(t[0], t[1], 0x44), _mm512_shuffle_f32x4(t[0], t[1], 0xEE));
  const __m512 p23 =
      _mm512_add_ps(_mm512_shuffle_f32x4(t[2], t[3], 0x44), _mm512_shuffle_f32x4(t[2], t[3], 0xEE));
  __m512 q =
      _mm512_add_ps(_mm512_shuffle_f32x4(p01, p23, 0x88), _mm512_shuffle_f32x4(p01, p23, 0xDD));
  q = _mm512_add_ps(q, _mm512_permute_ps(q, 0x4E));
  q = _mm512_add_ps(q, _mm512_permute_ps(q, 0xB1));
  alignas(64) float lanes[16];
  _mm512_store_ps(lanes, q);
  for (int d = 0; d < 4; ++d)
    out[d] = lanes[4 * d];
}

}  // namespace wavfx

#endif
