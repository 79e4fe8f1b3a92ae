#include "dsp/pcm_conversion.h"

#include <cmath>

#include "dsp/simd_dispatch.h"

namespace wavfx {

void IntsToFloats(const int32_t* samples, float* values, std::size_t count, int bits) {
  const float scale = std::ldexp(1.0f, 1 - bits);  // a power of two: the product is exact
  const VectorKernels* kernels = ActiveKernels();
  std::size_t i = kernels != nullptr ? kernels->intsToFloats(samples, values, count, scale) : 0;
  for (; i < count; ++i) {
    values[i] = static_cast<float>(samples[i]) * scale;
  }
}

uint64_t FloatsToInts(const float* values, int32_t* samples, std::size_t count, int bits) {
  const double top = std::ldexp(1.0, bits - 1) - 1.0;
  const double bottom = -top - 1.0;
  uint64_t clipped = 0;
  const VectorKernels* kernels = ActiveKernels();
  std::size_t i =
      kernels != nullptr ? kernels->floatsToInts(values, samples, count, top, clipped) : 0;
  for (; i < count; ++i) {
    const float x = values[i] == values[i] ? values[i] : 0.0f;
    double scaled = static_cast<double>(x) * top + 0.5;
    // Both bounds are whole, so clamping before the floor gives the floor's clamped value.
    const bool high = scaled >= top + 1.0;
    const bool low = scaled < bottom;
    clipped += high || low ? 1 : 0;
    scaled = high ? top : (low ? bottom : scaled);
    // The floor of a value within the 32-bit range: the truncation, one less when that is above.
    const auto whole = static_cast<int32_t>(scaled);
    samples[i] = whole - (static_cast<double>(whole) > scaled ? 1 : 0);
  }
  return clipped;
}

}  // namespace wavfx
