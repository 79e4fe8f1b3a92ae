#pragma once

#include <cstddef>
#include <cstdint>

// A decimator by two ahead of the resampler's polyphase stage, for outputs well below half the
// input rate: a linear-phase half-band FIR whose taps at even distances from the centre are 0.
//
// Output m is the filtered input at frame 2m, the input taken as zeros before its start:
//   y[m] = 0.5 x[2m] + sum over k = 0 .. P - 1 of h[k] (x[2m - 2k - 1] + x[2m + 2k + 1]),
// in single precision: each pair's sum added by one fused multiply-add from k = P - 1 down to 0
// (the smallest taps first), then the centre's product, on every path and build.

namespace wavfx {

// y[i] for i in [0, count) from even[i] = x[2m] and odd[i + j] = x[2m + 2(j - P) + 1].
void HalfBandFloat(const float* even, const float* odd, const float* h, std::size_t pairs,
                   std::size_t count, float* y);

struct HalfBand {
  std::size_t pairs;  // P; 0 when there is no such stage
  float* h;           // P coefficients, owned
  float* lines;       // owned: per channel, a line of even input frames, then one of odd ones
  std::size_t capacity;
  uint32_t channels;
  // Each even line holds x[2m] for m from `origin`; each odd line x[2m + 1] from m = origin - P.
  uint64_t origin;
  std::size_t evenFill;
  std::size_t oddFill;
  uint64_t taken;  // input frames taken, and zeros after the end
  uint64_t made;   // outputs written
  // The vector kernel for whole vectors of outputs (returning how many), or null.
  std::size_t (*vectors)(const float* even, const float* odd, const float* h, std::size_t pairs,
                         std::size_t count, float* y);
};

// Allocates the stage for `pairs` coefficients (filled by the caller into h) and lines of
// 2 P + block values. Returns false, with nothing to release, when memory is short.
bool InitHalfBand(HalfBand& b, std::size_t pairs, uint32_t channels, std::size_t block);

// Starts a new stream: no input, P zeros before the first odd frame.
void ResetHalfBand(HalfBand& b);

// The most input frames the lines take now (after dropping what no output needs any more).
std::size_t HalfBandRoom(HalfBand& b);

// Takes `frames` interleaved frames (zeros when `in` is null), at most HalfBandRoom.
void AppendToHalfBand(HalfBand& b, const float* in, std::size_t frames);

// Writes up to `room` outputs the input allows, channel c at out + c * stride; returns how many.
std::size_t RunHalfBand(HalfBand& b, float* out, std::size_t stride, std::size_t room);

// The outputs `inFrames` input frames allow.
uint64_t HalfBandOutputsFor(const HalfBand& b, uint64_t inFrames);

// Frees the memory; a second call does nothing.
void ReleaseHalfBand(HalfBand& b);

}  // namespace wavfx
