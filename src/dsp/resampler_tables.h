#pragma once

#include <cstdint>
#include <functional>

namespace wavfx {

// Coefficient tables shared by resamplers whose filters and phases are the same: every ratio
// that raises the rate has the same interpolated table, and the same exact one for each O.
// Designing a table costs more than converting a second of audio, and a batch of short clips uses
// the same few over and over. A table never changes once made; the last few that no resampler
// holds are kept for the next.
struct ResamplerTableKey {
  uint64_t phases;  // O, or P when interpolated
  bool interpolated;
  bool mixed;  // the O phases mixed from the interpolated table, filled as they are first used
  uint32_t taps;
  double cutoff;
  int32_t quality;
};

// The table for `key`, made by `make` when none is at hand; null when `make` fails (memory
// short). `release` frees a table `make` returned.
const void* AcquireResamplerTable(const ResamplerTableKey& key, const std::function<void*()>& make,
                                  void (*release)(void*));
// Gives back a table AcquireResamplerTable returned; null does nothing.
void ReleaseResamplerTable(const void* table);

}  // namespace wavfx
