#pragma once

#include <cstdint>
#include <cstdio>

#include "engine/effect.h"
#include "entry/apply_effect.h"

namespace wavfx {

constexpr uint32_t kBlockBytes = 2048;

struct StreamResult {
  StreamOutcome outcome;
  uint32_t bytesWritten;  // bytes of the blocks written in full
};

// Streams `dataSize` bytes of whole frames from `input` through `effect` to `output`, one block
// of at most 2048 bytes at a time. When the input ends early the whole frames that did arrive
// are still processed and written.
StreamResult StreamBlocks(std::FILE* input, std::FILE* output, uint32_t dataSize,
                          uint32_t blockAlign, EffectState& effect);

}  // namespace wavfx
