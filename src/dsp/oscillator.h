#pragma once

#include <cstddef>
#include <cstdint>

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

// A sine oscillator of the tremolo, the flanger and the chorus.
struct Oscillator {
  float phase;
  float increment;
};

// Starts at phase 0, turning rateHz times a second at sampleRate frames a second. A zero rate
// makes the increment infinite.
void InitOscillator(Oscillator& oscillator, float rateHz, int32_t sampleRate);

// SinePlusOne or HalfSinePlusOne of the phases of `count` frames, each before its frame's
// advance; the phase moves past them.
void SinePlusOneValues(Oscillator& oscillator, float* values, std::size_t count);
void HalfSinePlusOneValues(Oscillator& oscillator, float* values, std::size_t count);

}  // namespace wavfx
