#pragma once

#include <cstdint>
#include <functional>

namespace wavfx {

// Coefficient tables shared by resamplers of the same reduced rates and quality. Designing a
// table costs more than converting a second of audio, and a batch of short clips uses the same
// few over and over. A table never changes once made; the last few that no resampler holds are
// kept for the next.
struct ResamplerTableKey {
  uint64_t inStep;
  uint64_t outStep;
  int32_t quality;
};

// The table for `key`, made by `make` when none is at hand; null when `make` fails (memory
// short). `release` frees a table `make` returned.
const void* AcquireResamplerTable(const ResamplerTableKey& key, const std::function<void*()>& make,
                                  void (*release)(void*));
// Gives back a table AcquireResamplerTable returned; null does nothing.
void ReleaseResamplerTable(const void* table);

}  // namespace wavfx
