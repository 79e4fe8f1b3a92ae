#pragma once

#include <cstdint>

#include "dsp/resampler.h"
#include "effects/family.h"

namespace wavfx {

// A stage that converts the sample rate (resample) or plays the stream faster or slower (speed)
// through the band-limited converter of dsp/resampler.h. A stage whose settings leave the rate
// as it is copies its samples exactly.
struct ResampleState {
  Resampler resampler;
  bool identity;  // same rate, or a speed of 1: frames are copied
  uint32_t channels;
};

// resample: the output holds round(frames * rate / input rate) frames, aligned with the input.
extern const EffectFamily kResampleFamily;

// The converter's qualities by name, for the families that take one.
inline constexpr const char* kResampleQualities[] = {"low", "medium", "high", "veryhigh"};
inline constexpr ParameterSyntax kResampleQualitySyntax = {kResampleQualities, 4, false, false};

// speed: pitch and tempo change together, as a tape played faster. The factor is taken to six
// decimals, f = round(factor * 10^6) / 10^6, and the stream is resampled as from a rate of f times
// its own, to its own rate (round(frames / f) frames) or, given one, to `rate` in one conversion
// (round(frames * rate / (f * in)) frames).
extern const EffectFamily kSpeedFamily;

}  // namespace wavfx
