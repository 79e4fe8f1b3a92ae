#pragma once

#include <cstdint>

#include "engine/chain.h"
#include "engine/registry.h"

namespace wavfx {

// The sizes a stage asked for its buffers, in order; a count beyond kMaxLayoutBuffers matches
// nothing.
constexpr uint32_t kMaxLayoutBuffers = 16;
struct BufferLayout {
  uint32_t count;
  uint64_t sizes[kMaxLayoutBuffers];
};

// A chain of one stage whose parameter values may change between blocks without the heap. The
// stage's buffers live in memory reserved at initialisation: two areas, each as large as the
// stage needs at any corner of its parameters' ranges; a new layout is made in the area the
// stage does not use.
struct TunableChain {
  EffectChain chain;
  float* memory;      // owned; two areas of `capacity` floats
  uint64_t capacity;  // floats per area
  uint32_t area;      // the area the stage's buffers are in, 0 or 1
  BufferLayout layout;
  void* recordMemory;  // owned; the two records below
  void* records[2];    // the stage's record, and room for the next settings' record
  uint32_t record;     // which of the two the stage uses
};

// Initialises the stage for `settings`. Returns false when the memory could not be had; the
// chain must be released either way.
bool InitTunableChain(TunableChain& tunable, const EffectSettings& settings, uint32_t channels,
                      uint32_t sampleRate);

// Gives the stage new values for its kind. What it carries from one block to the next stays:
// filter memories, oscillator phases, the noise sequence, the envelope, and the contents of the
// delay lines while none of them changes its length (otherwise they all start empty). Returns
// false, changing nothing, for another kind or values whose buffers would not fit.
bool RetuneChain(TunableChain& tunable, const EffectSettings& settings);

// Starts the stage over with its current values, as initialised.
void RestartChain(TunableChain& tunable);

// Frees the reserved memory; a second call does nothing.
void ReleaseTunableChain(TunableChain& tunable);

}  // namespace wavfx
