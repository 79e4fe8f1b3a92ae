#pragma once

#include <cstdint>

#include "effects/family.h"

namespace wavfx {

// Fades the stream in over its first `in` and out over its last `out` (seconds rounded to the
// nearest frame, halves up, or frame counts written with a trailing 's').
//
// Frame i of a fade-in of I frames (0 <= i < I) is scaled by float(curve(i / I)); the frame k
// frames before the last (k = 0 for the last) of a fade-out of O frames by float(curve(k / O)):
// the fade-out mirrors the fade-in, both reaching 0 at the stream's edge. A frame inside both is
// scaled by the fade-in's gain, then by the fade-out's. t = i / I, the curve and its sines are
// computed in double precision, with + - * / alone (the sine of dsp/fast_sine.h, the power of
// TenToThe in dsp/effect_math.h), so that every build gives the same gains; each sample times
// its gain is rounded to single precision:
//   linear  t
//   qsin    sin(t pi / 2)                 (a quarter of a sine)
//   hsin    sin(t pi / 2)^2               (half a sine: (1 - cos(t pi)) / 2)
//   log     10^(5 (t - 1))                (from -100 dB, logarithmic)
//   para    1 - (1 - t)^2                 (an inverted parabola)
//
// Unless the stream's length is told before its start (then the stage runs in place, touching
// only the ramps), its end is known only when it comes: the last O frames are held back (O times
// the channel count floats, at most kMaxSamplesPerBuffer) and faded out as they are drained; the
// stage's latency is the count held at the moment.
struct FadeState {
  float* held;  // a ring of O frames; null when O is 0, the memory could not be had or in place
  uint64_t inFrames;
  uint64_t outFrames;
  uint64_t length;   // the stream's frames when told, else 0
  uint64_t seen;     // frames taken so far
  uint64_t fill;     // frames held
  uint64_t oldest;   // the ring's frame holding the oldest of them
  uint64_t drained;  // of those held, frames drained since the stream ended
  uint32_t channels;
  uint32_t curve;
};

extern const EffectFamily kFadeFamily;

}  // namespace wavfx
