#pragma once

#include <cstdint>

namespace wavfx {

// The fields of a WAVE_FORMAT_EXTENSIBLE format chunk that libsndfile neither reports nor sets.
struct WavExtensible {
  uint16_t containerBits;
  uint16_t validBits;
  uint32_t channelMask;
  uint16_t channels;
};

// Reads them from a RIFF, RF64 or BW64 WAVE file whose format chunk is extensible.
bool ReadWavExtensible(const char* path, WavExtensible& fields);

// Carries the input's valid bits and channel mask into the output's extensible format chunk, where
// both have one with the same channel count (the valid bits only at the same container depth).
void CopyWavExtensible(const char* input, const char* output);

}  // namespace wavfx
