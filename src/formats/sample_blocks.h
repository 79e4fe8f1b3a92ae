#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "formats/sound_file.h"

namespace wavfx {

// How a file's samples travel: through libsndfile's conversions, or as stored, when `packed`
// is set, with our own.
struct SampleStorage {
  SampleFormat format;
  bool packed;
  PackedLayout layout;
};

// One block's samples in every representation the edge between a file and the effects needs.
struct SampleBlock {
  std::vector<int32_t> ints;  // integer samples by value (s, not left-justified)
  std::vector<float> floats;
  std::vector<double> doubles;
  std::vector<unsigned char> stored;  // integer samples as the file holds them

  // Room for `samples` samples in `storage` and as the effects' floats; call once for each
  // storage the block serves.
  void Reserve(std::size_t samples, const SampleStorage& storage);
};

// The storage of `format`'s samples in `file`.
SampleStorage StorageOf(SNDFILE* file, const SampleFormat& format);

bool SameStorage(const SampleStorage& a, const SampleStorage& b);

// Whether the storage is signed 16-bit PCM in little-endian order, as this machine holds int16_t.
bool IsPcm16(const SampleStorage& storage);

// Reads or writes up to `frames` frames in the storage's representation (integers by value), or
// only as stored when `storedOnly`. Return the frames read or written.
int64_t ReadSamples(SNDFILE* file, const SampleStorage& storage, SampleBlock& block, int64_t frames,
                    std::size_t channels, bool storedOnly);
int64_t WriteSamples(SNDFILE* file, const SampleStorage& storage, SampleBlock& block,
                     int64_t frames, std::size_t channels, bool storedOnly);

// The block's samples of `format` as the effects' floats, and back; FromFloats returns the
// samples clamped.
void ToFloats(const SampleFormat& format, SampleBlock& block, std::size_t count);
uint64_t FromFloats(const SampleFormat& format, SampleBlock& block, std::size_t count);

// FromFloats for writing to `storage`, adding the samples clamped to `clipped`; 16-bit PCM goes
// straight into the stored bytes (FloatsToInts at 16 bits is FloatToSample). Returns whether
// WriteSamples then writes only the stored bytes.
bool FromFloatsForWriting(const SampleStorage& storage, SampleBlock& block, std::size_t count,
                          uint64_t& clipped);

}  // namespace wavfx
