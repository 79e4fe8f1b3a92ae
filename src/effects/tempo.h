#pragma once

#include <cstddef>
#include <cstdint>

#include "dsp/resampler.h"
#include "dsp/wsola.h"
#include "effects/family.h"

namespace wavfx {

// A stage that changes the tempo with the pitch kept (tempo), or the pitch with the length kept
// (pitch: the tempo changed by 1 / r, then the stream resampled by r) through the time stretch
// of dsp/wsola.h and the converter of dsp/resampler.h. A stage that leaves the stream as it is
// (a factor of 1, 0 cents) copies its samples exactly.
struct TempoState {
  Wsola wsola;
  Resampler resampler;
  bool identity;
  bool resamples;  // pitch
  uint32_t channels;
  float* middle;  // the stretched frames waiting for the converter
  std::size_t middleAt, middleFill;
  uint64_t zerosLeft;  // pitch: zero frames still to give the converter after the stretch's end
  uint64_t length;     // pitch: the whole output, once the input has ended
  bool ending;         // pitch: draining
  uint64_t produced;
  uint32_t rate;
};

// tempo: the output holds floor(frames / factor + 0.5) frames, as SoX's `tempo`.
extern const EffectFamily kTempoFamily;
// pitch: with r = 2^(cents / 1200) and the stretch factor f = 1 / r written to 12 significant
// digits (as SoX's `pitch` takes it), the stretch gives L = floor(frames / f + 0.5) frames,
// resampled by a ratio p / q near 1 / f (the last convergent of its continued fraction with q at
// most 1024, or less while the converter would interpolate its phases; within 1 / q^2), and the
// output holds
// floor(L / ((rate / f) / rate) + 0.5) frames.
extern const EffectFamily kPitchFamily;

}  // namespace wavfx
