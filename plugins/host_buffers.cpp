#include "host_buffers.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace wavfx {
namespace {

// x - x is 0 for every finite x and NaN for NaN and the infinities.
inline float Finite(float x) {
  return x - x == 0.0f ? x : 0.0f;
}

#if defined(__x86_64__)
// Eight frames at a time in AVX registers, where the compiler's own vectors are narrower.
__attribute__((target("avx"))) inline __m256 FiniteAvx(__m256 x) {
  return _mm256_and_ps(_mm256_cmp_ps(_mm256_sub_ps(x, x), _mm256_setzero_ps(), _CMP_EQ_OQ), x);
}

__attribute__((target("avx"))) uint32_t CopyFiniteAvx(const float* in, float* out, uint32_t count) {
  uint32_t i = 0;
  for (; i + 8 <= count; i += 8)
    _mm256_storeu_ps(out + i, FiniteAvx(_mm256_loadu_ps(in + i)));
  return i;
}

__attribute__((target("avx"))) uint32_t InterleaveFiniteAvx(const float* left, const float* right,
                                                            float* frames, uint32_t count) {
  uint32_t i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m256 l = FiniteAvx(_mm256_loadu_ps(left + i));
    const __m256 r = FiniteAvx(_mm256_loadu_ps(right + i));
    const __m256 low = _mm256_unpacklo_ps(l, r);
    const __m256 high = _mm256_unpackhi_ps(l, r);
    _mm256_storeu_ps(frames + 2 * i, _mm256_permute2f128_ps(low, high, 0x20));
    _mm256_storeu_ps(frames + 2 * i + 8, _mm256_permute2f128_ps(low, high, 0x31));
  }
  return i;
}

__attribute__((target("avx"))) uint32_t DeinterleaveAvx(const float* frames, float* left,
                                                        float* right, uint32_t count) {
  uint32_t i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m256 a = _mm256_loadu_ps(frames + 2 * i);
    const __m256 b = _mm256_loadu_ps(frames + 2 * i + 8);
    const __m256 first = _mm256_permute2f128_ps(a, b, 0x20);
    const __m256 second = _mm256_permute2f128_ps(a, b, 0x31);
    _mm256_storeu_ps(left + i, _mm256_shuffle_ps(first, second, 0x88));
    _mm256_storeu_ps(right + i, _mm256_shuffle_ps(first, second, 0xDD));
  }
  return i;
}

bool HasAvx() {
  static const bool avx = __builtin_cpu_supports("avx");
  return avx;
}
#endif

}  // namespace

void CopyFinite(const float* in, float* out, uint32_t count) {
  uint32_t i = 0;
#if defined(__x86_64__)
  if (HasAvx()) i = CopyFiniteAvx(in, out, count);
#endif
  for (; i < count; ++i)
    out[i] = Finite(in[i]);
}

void InterleaveFinite(const float* left, const float* right, float* frames, uint32_t count) {
  uint32_t i = 0;
#if defined(__x86_64__)
  if (HasAvx()) i = InterleaveFiniteAvx(left, right, frames, count);
#endif
  for (; i < count; ++i) {
    frames[2 * i] = Finite(left[i]);
    frames[2 * i + 1] = Finite(right[i]);
  }
}

void Deinterleave(const float* frames, float* left, float* right, uint32_t count) {
  uint32_t i = 0;
#if defined(__x86_64__)
  if (HasAvx()) i = DeinterleaveAvx(frames, left, right, count);
#endif
  for (; i < count; ++i) {
    left[i] = frames[2 * i];
    right[i] = frames[2 * i + 1];
  }
}

}  // namespace wavfx
