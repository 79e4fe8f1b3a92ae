#pragma once

#include <cstddef>
#include <cstdint>

namespace wavfx {

// Integer samples of depth `bits` (8 to 32) and the effects' floats. In: x = (float)s *
// 2^-(bits - 1), in single precision (exact up to 24 bits; 32-bit samples round to nearest, ties
// to even). Out: floor(double(x) * (2^(bits - 1) - 1) + 0.5), clamped to the depth's range, NaN
// giving 0. At 16 bits these are exactly SampleToFloat and FloatToSample. An 8-bit sample here
// is the stored unsigned byte minus 128.
void IntsToFloats(const int32_t* samples, float* values, std::size_t count, int bits);

// Returns how many values were clamped (infinities included).
uint64_t FloatsToInts(const float* values, int32_t* samples, std::size_t count, int bits);

}  // namespace wavfx
