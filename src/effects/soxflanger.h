#pragma once

#include <cstdint>

#include "effects/family.h"

namespace wavfx {

// SoX's flanger: per channel a history of `length` frames (single precision) fed with the input
// plus feedback times the last delayed value, read `lfo[...]` frames back with linear or
// quadratic interpolation; the sweep is one table of floats shared by the channels, each
// channel starting `phase` of a period later than the one before.
constexpr uint32_t kSoxFlangerChannels = 4;

struct SoxFlangerState {
  float* memory;  // length * channels history values, then lfoLength sweep values; owned
  double last[kSoxFlangerChannels];  // each channel's last delayed value
  uint32_t length;
  uint32_t position;
  uint32_t lfoLength;
  uint32_t lfoPosition;
  uint32_t shift[kSoxFlangerChannels];  // where each channel reads the sweep, after the first
  uint32_t channels;
  bool quadratic;
  double inGain;
  double delayGain;
  double feedback;
};

extern const EffectFamily kSoxFlangerFamily;

}  // namespace wavfx
