#pragma once

#include <cstdint>

namespace wavfx {

// Quantises each sample down to one of `levels` equally spaced steps from -1.
struct BitcrusherState {
  int32_t levels;
  uint32_t channels;
};

void InitBitcrusher(BitcrusherState& state, int32_t bits, uint32_t channels);
void ProcessBitcrusher(BitcrusherState& state, int16_t* samples, int32_t frames);

}  // namespace wavfx
