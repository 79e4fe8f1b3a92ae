#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace wavfx {

// ITU-R BS.1770-4 Annex 2 true-peak interpolation: 4x oversampling by the standard's 48-tap FIR,
// 12 taps per phase. Point n of a stream has four values, phase p (0..3) being
// sum over t = 0..11 of kTruePeakTaps[t][p] * x[n - 11 + t], summed in that order: the window
// runs oldest first, and samples before the stream are 0.
constexpr std::size_t kTruePeakTaps = 12;
constexpr std::size_t kTruePeakPhases = 4;
alignas(16) extern const float kTruePeakFilter[kTruePeakTaps][kTruePeakPhases];

// At least the sum of the absolute taps of any phase (2.0228...) with the rounding of 12 sums: a
// bound on every partial sum over the largest sample it meets.
constexpr double kTruePeakSpread = 2.03;

// The four phases side by side (GCC's and Clang's vector extension): each lane's arithmetic is
// the scalar operation, so the bits are the scalar code's on every build.
using Phases = float __attribute__((vector_size(16)));

inline Phases TruePeakTaps(std::size_t t) {
  Phases taps;
  std::memcpy(&taps, kTruePeakFilter[t], sizeof taps);
  return taps;
}

// The phase sums of taps first to last - 1 over samples x[0], x[stride], ... (x[0] meets tap
// `first`), in single precision, taps in order.
inline Phases TruePeakSums(const float* x, std::size_t stride, std::size_t first,
                           std::size_t last) {
  Phases sum = {0.0f, 0.0f, 0.0f, 0.0f};
  for (std::size_t t = first; t < last; ++t)
    sum = sum + TruePeakTaps(t) * x[(t - first) * stride];
  return sum;
}

// The largest absolute value of the four.
inline float LargestMagnitude(Phases values) {
  const Phases magnitude = values < 0.0f ? -values : values;
  const float a = magnitude[0] > magnitude[1] ? magnitude[0] : magnitude[1];
  const float b = magnitude[2] > magnitude[3] ? magnitude[2] : magnitude[3];
  return a > b ? a : b;
}

// The four values of the point whose window (12 samples, oldest first, `stride` floats apart)
// starts at `window`.
inline Phases TruePeakPoint(const float* window, std::size_t stride) {
  return TruePeakSums(window, stride, 0, kTruePeakTaps);
}

// The largest of `largest` and the magnitudes of the values of points 0 to `points` - 1 of
// `window` (point n's window starts at window[n]); NaN values are never the largest.
float LargestPointMagnitude(const float* window, std::size_t points, float largest);

}  // namespace wavfx
