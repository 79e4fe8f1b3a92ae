#include "dsp/pcm_conversion.h"

#include <cmath>

namespace wavfx {

void IntsToFloats(const int32_t* samples, float* values, std::size_t count, int bits) {
  const float scale = std::ldexp(1.0f, 1 - bits);  // a power of two: the product is exact
  for (std::size_t i = 0; i < count; ++i) {
    values[i] = static_cast<float>(samples[i]) * scale;
  }
}

uint64_t FloatsToInts(const float* values, int32_t* samples, std::size_t count, int bits) {
  const double top = std::ldexp(1.0, bits - 1) - 1.0;
  const double bottom = -top - 1.0;
  uint64_t clipped = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const float x = values[i] == values[i] ? values[i] : 0.0f;
    double scaled = static_cast<double>(x) * top + 0.5;
    // Both bounds are whole, so clamping before the floor gives the floor's clamped value.
    const bool high = scaled >= top + 1.0;
    const bool low = scaled < bottom;
    clipped += high || low ? 1 : 0;
    scaled = high ? top : (low ? bottom : scaled);
    samples[i] = static_cast<int32_t>(std::floor(scaled));
  }
  return clipped;
}

}  // namespace wavfx
