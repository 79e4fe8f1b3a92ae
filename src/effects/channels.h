#pragma once

#include <cstdint>

#include "effects/family.h"

namespace wavfx {

// Changes the channel count from N to M = `count`. M = N keeps the stream; more channels copy
// the input's cyclically (output channel j is input channel j mod N: one channel becomes M
// copies); fewer average: output channel i is the mean of input channels i, i + M, i + 2M, ...
// below N, summed in that order in single precision and the sum times float(1 / terms) (1 / terms
// rounded to single precision), so that N -> 1 gives the mean of all channels.
struct ChannelsState {
  uint32_t inChannels;
  uint32_t outChannels;
};

extern const EffectFamily kChannelsFamily;

}  // namespace wavfx
