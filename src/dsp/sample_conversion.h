#pragma once

#include <cstddef>
#include <cstdint>

namespace wavfx {

// Samples enter the effects divided by 32768 and leave multiplied by 32767; the asymmetry is
// part of the sound: samples above 16384 or below -16383 come back one step closer to zero.

inline float SampleToFloat(int16_t sample) {
  return static_cast<float>(sample) * 3.0517578125e-05f;
}

inline int16_t ClampSample(int32_t value) {
  if (value > 32767) return 32767;
  if (value < -32768) return -32768;
  return static_cast<int16_t>(value);
}

// Rounds x * 32767 to the nearest integer, halves upward, and clamps to 16 bits. The product
// and the half are added in double precision, where they are exact. Values beyond the 16-bit
// range saturate, infinities included; NaN gives 0. Clamping before the floor gives the same
// result as clamping after it, since both bounds are whole; the floor is then a truncation
// corrected by one below zero, with no library call and no branch.
inline int16_t FloatToSample(float x) {
  const float number = x == x ? x : 0.0f;
  double scaled = static_cast<double>(number) * 32767.0 + 0.5;
  scaled = scaled < 32767.0 ? scaled : 32767.0;
  scaled = scaled > -32768.0 ? scaled : -32768.0;
  auto whole = static_cast<int32_t>(scaled);
  whole -= static_cast<double>(whole) > scaled ? 1 : 0;
  return static_cast<int16_t>(whole);
}

// Whether FloatToSample clamps x: x * 32767 + 0.5 at or above 32768 or below -32768, which for
// a float is x at or above kClipsFrom or below kClipsBelow (NaN is no clip).
constexpr float kClipsFrom = 0x1.000102p+0f;
constexpr float kClipsBelow = -0x1.0003p+0f;
inline bool ClipsAt16Bits(float x) {
  return x >= kClipsFrom || x < kClipsBelow;
}

// SampleToFloat and FloatToSample of `count` values, with the vector kernels when the processor
// has them; the second form also returns how many values ClipsAt16Bits.
void SamplesToFloats(const int16_t* in, float* out, std::size_t count);
void FloatsToSamples(const float* in, int16_t* out, std::size_t count);
uint64_t FloatsToSamplesCountingClips(const float* in, int16_t* out, std::size_t count);

// Replaces non-finite values by 0; returns how many there were.
uint64_t ZeroNonFinite(float* values, std::size_t count);

}  // namespace wavfx
