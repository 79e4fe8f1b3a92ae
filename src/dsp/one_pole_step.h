#pragma once

#include <cfloat>
#include <cstdint>

namespace wavfx {

// The pole exp(-2 pi cutoff / sampleRate), computed in double and rounded once.
float OnePoleCoefficient(float cutoff, uint32_t sampleRate);

// One step of a first-order recursive lowpass: y = (1 - a) x + m a, each operation rounded on
// its own; y becomes the memory.
inline float OnePoleStep(float x, float& memory, float a) {
  const float y = (1.0f - a) * x + memory * a;
  memory = y;
  return y;
}

// In silence a filter memory decays into subnormal floats, where x86 arithmetic is slow, and
// settles there for good (a times the smallest subnormal rounds back to it). Setting such a
// memory to 0 changes no sample that 16-bit input gives: with a nonzero input, of at least
// 2^-15, (1 - a) x is at least 2^-39 (a is
// a float below 1; when a is 1, (1 - a) x is 0 and the output is the memory itself, which
// converts to the sample 0 either way), beside which m a vanishes in the rounding; with a zero
// input the output is m a or 0, both of which convert to the sample 0. The memory stays below
// 2^-126 or is 0 until a nonzero input makes both alike again.
inline void FlushSubnormalMemory(float& memory) {
  if (memory > -FLT_MIN && memory < FLT_MIN) memory = 0.0f;
}

}  // namespace wavfx
