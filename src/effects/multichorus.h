#pragma once

#include <cstdint>
#include <string>

#include "dsp/delay_line.h"
#include "effects/family.h"

namespace wavfx {

constexpr uint32_t kMaxChorusVoices = 7;

// One voice: its delay in frames swings through a sine or a triangle of `length` frames. The
// delay at a point of the period is `low + (high - low) * wave`, rounded half away from zero.
struct ChorusVoice {
  float delayMs;
  float decay;
  float speedHz;
  float depthMs;
  bool triangle;
  double low;
  double high;
  uint32_t length;  // frames of one period
  uint32_t offset;  // where the period starts
  uint32_t phase;
};

// SoX's chorus: every channel's output is gainOut * (gainIn * x + sum of decay * x delayed by
// each voice), the delayed values taken from a history of `span` frames of the input alone.
struct MultichorusState {
  DelayLine line;  // `span` frames of `channels` values; empty when inactive or released
  ChorusVoice voices[kMaxChorusVoices];
  uint32_t voiceCount;
  uint32_t span;
  uint32_t counter;  // the frame of the history the next input takes
  uint32_t channels;
  float gainIn;
  float gainOut;
};

// Reads voices as "delay/decay/speed/depth/shape|..." (ms, 0..1, Hz, ms, s or t; blanks may
// stand for '/'); an empty text is the one voice "55/0.4/0.25/2/t".
bool ParseChorusVoices(const char* text, ChorusVoice* voices, uint32_t& count,
                       std::string& problem);

// The frames of history the voices need at `rate`: the longest delay plus depth, truncated.
uint32_t ChorusSpan(const ChorusVoice* voices, uint32_t count, double rate);

extern const EffectFamily kMultichorusFamily;

}  // namespace wavfx
