// The resampler's dot products for AVX2 and AVX-512: the partial sums of the scalar code
// (64 floats or 32 doubles, tap j going to sum j mod 64 or 32) as vector lanes, multiplied and
// added without fusing, then halved in the scalar code's order.
#include "dsp/resampler.h"

#if defined(__x86_64__)

#include <immintrin.h>

namespace wavfx {
namespace {

__attribute__((target("avx2"))) float HalveFloats8(__m256 v) {
  __m128 s = _mm_add_ps(_mm256_castps256_ps128(v), _mm256_extractf128_ps(v, 1));
  s = _mm_add_ps(s, _mm_movehl_ps(s, s));
  return _mm_cvtss_f32(_mm_add_ss(s, _mm_shuffle_ps(s, s, 1)));
}

__attribute__((target("avx2"))) double HalveDoubles4(__m256d v) {
  const __m128d s = _mm_add_pd(_mm256_castpd256_pd128(v), _mm256_extractf128_pd(v, 1));
  return _mm_cvtsd_f64(_mm_add_sd(s, _mm_unpackhi_pd(s, s)));
}

}  // namespace

__attribute__((target("avx2"))) float ResampleDotFloatAvx2(const float* x, const float* c,
                                                           std::size_t taps) {
  __m256 s[8];
  for (auto& v : s)
    v = _mm256_setzero_ps();
  for (std::size_t i = 0; i < taps; i += 64) {
    for (int k = 0; k < 8; ++k) {
      const __m256 p =
          _mm256_mul_ps(_mm256_loadu_ps(x + i + 8 * k), _mm256_loadu_ps(c + i + 8 * k));
      s[k] = _mm256_add_ps(s[k], p);
    }
  }
  for (int k = 0; k < 4; ++k)
    s[k] = _mm256_add_ps(s[k], s[k + 4]);
  for (int k = 0; k < 2; ++k)
    s[k] = _mm256_add_ps(s[k], s[k + 2]);
  return HalveFloats8(_mm256_add_ps(s[0], s[1]));
}

__attribute__((target("avx2"))) double ResampleDotDoubleAvx2(const double* x, const double* c,
                                                             std::size_t taps) {
  __m256d s[8];
  for (auto& v : s)
    v = _mm256_setzero_pd();
  for (std::size_t i = 0; i < taps; i += 32) {
    for (int k = 0; k < 8; ++k) {
      const __m256d p =
          _mm256_mul_pd(_mm256_loadu_pd(x + i + 4 * k), _mm256_loadu_pd(c + i + 4 * k));
      s[k] = _mm256_add_pd(s[k], p);
    }
  }
  for (int k = 0; k < 4; ++k)
    s[k] = _mm256_add_pd(s[k], s[k + 4]);
  for (int k = 0; k < 2; ++k)
    s[k] = _mm256_add_pd(s[k], s[k + 2]);
  return HalveDoubles4(_mm256_add_pd(s[0], s[1]));
}

__attribute__((target("avx512f"))) float ResampleDotFloatAvx512(const float* x, const float* c,
                                                                std::size_t taps) {
  __m512 s[4];
  for (auto& v : s)
    v = _mm512_setzero_ps();
  for (std::size_t i = 0; i < taps; i += 64) {
    for (int k = 0; k < 4; ++k) {
      const __m512 p =
          _mm512_mul_ps(_mm512_loadu_ps(x + i + 16 * k), _mm512_loadu_ps(c + i + 16 * k));
      s[k] = _mm512_add_ps(s[k], p);
    }
  }
  alignas(64) float lanes[16];
  _mm512_store_ps(lanes, _mm512_add_ps(_mm512_add_ps(s[0], s[2]), _mm512_add_ps(s[1], s[3])));
  return HalveFloats8(_mm256_add_ps(_mm256_load_ps(lanes), _mm256_load_ps(lanes + 8)));
}

__attribute__((target("avx512f"))) double ResampleDotDoubleAvx512(const double* x, const double* c,
                                                                  std::size_t taps) {
  __m512d s[4];
  for (auto& v : s)
    v = _mm512_setzero_pd();
  for (std::size_t i = 0; i < taps; i += 32) {
    for (int k = 0; k < 4; ++k) {
      const __m512d p =
          _mm512_mul_pd(_mm512_loadu_pd(x + i + 8 * k), _mm512_loadu_pd(c + i + 8 * k));
      s[k] = _mm512_add_pd(s[k], p);
    }
  }
  alignas(64) double lanes[8];
  _mm512_store_pd(lanes, _mm512_add_pd(_mm512_add_pd(s[0], s[2]), _mm512_add_pd(s[1], s[3])));
  return HalveDoubles4(_mm256_add_pd(_mm256_load_pd(lanes), _mm256_load_pd(lanes + 4)));
}

}  // namespace wavfx

#endif
