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
  // Branch-free, so that the loop vectorises: clamping before the floor gives the floor's clamped
  // value (both bounds are whole), and the floor of a value in range is its truncation, less one
  // where that rounded up.
  for (std::size_t i = 0; i < count; ++i) {
    const float x = values[i] == values[i] ? values[i] : 0.0f;
    const double scaled = static_cast<double>(x) * top + 0.5;
    clipped += (scaled >= top + 1.0) | (scaled < bottom) ? 1u : 0u;
    double bounded = scaled < top ? scaled : top;
    bounded = bounded > bottom ? bounded : bottom;
    const auto whole = static_cast<int32_t>(bounded);
    samples[i] = whole - (static_cast<double>(whole) > bounded ? 1 : 0);
  }
  return clipped;
}

}  // namespace wavfx
