#pragma once

#include <cstddef>

namespace wavfx {

// 2 pi rounded to single precision: the oscillators wrap their phase past it.
constexpr float kTwoPiFloat = 6.2831855f;

// One frame's advance of an oscillator: the increment added, then 2 pi taken off once if the
// phase went past it.
inline float AdvancePhase(float phase, float increment) {
  phase = increment + phase;
  return phase > kTwoPiFloat ? phase - kTwoPiFloat : phase;
}

// The phases of `count` frames, each before its frame's advance, from `phase` on; `phase` moves
// past them. The values are those of AdvancePhase frame by frame.
void AdvancePhases(float& phase, float increment, float* phases, std::size_t count);

}  // namespace wavfx
