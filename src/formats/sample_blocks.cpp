#include "formats/sample_blocks.h"

#include <sndfile.h>

#include "dsp/packed_pcm.h"
#include "dsp/pcm_conversion.h"
#include "dsp/sample_conversion.h"

namespace wavfx {

void SampleBlock::Reserve(std::size_t samples, const SampleStorage& storage) {
  ints.resize(samples);
  floats.resize(samples);
  if (storage.format.kind == SampleKind::Float64) doubles.resize(samples);
  if (storage.packed) stored.resize(samples * sizeof(int32_t));
}

SampleStorage StorageOf(SNDFILE* file, const SampleFormat& format) {
  SampleStorage storage{format, false, {}};
  if (format.kind == SampleKind::Int) storage.packed = StoredLayoutOf(file, storage.layout);
  return storage;
}

bool SameStorage(const SampleStorage& a, const SampleStorage& b) {
  return a.packed && b.packed && a.layout == b.layout;
}

int64_t ReadSamples(SNDFILE* file, const SampleStorage& storage, SampleBlock& block, int64_t frames,
                    std::size_t channels, bool storedOnly) {
  switch (storage.format.kind) {
    case SampleKind::Float32:
      return sf_readf_float(file, block.floats.data(), frames);
    case SampleKind::Float64:
      return sf_readf_double(file, block.doubles.data(), frames);
    case SampleKind::Int:
      break;
  }
  if (storage.packed) {
    const auto frameBytes = static_cast<sf_count_t>(channels) * storage.layout.bytes;
    const sf_count_t got = sf_read_raw(file, block.stored.data(), frames * frameBytes) / frameBytes;
    if (!storedOnly && got > 0) {
      UnpackInts(block.stored.data(), block.ints.data(), static_cast<std::size_t>(got) * channels,
                 storage.layout);
    }
    return got;
  }
  // libsndfile's integers are left-justified.
  const sf_count_t got = sf_readf_int(file, block.ints.data(), frames);
  const int shift = 32 - storage.format.bits;
  const std::size_t count = got > 0 ? static_cast<std::size_t>(got) * channels : 0;
  for (std::size_t i = 0; i < count; ++i)
    block.ints[i] >>= shift;
  return got;
}

int64_t WriteSamples(SNDFILE* file, const SampleStorage& storage, SampleBlock& block,
                     int64_t frames, std::size_t channels, bool storedOnly) {
  switch (storage.format.kind) {
    case SampleKind::Float32:
      return sf_writef_float(file, block.floats.data(), frames);
    case SampleKind::Float64:
      return sf_writef_double(file, block.doubles.data(), frames);
    case SampleKind::Int:
      break;
  }
  const std::size_t count = static_cast<std::size_t>(frames) * channels;
  if (storage.packed) {
    const auto frameBytes = static_cast<sf_count_t>(channels) * storage.layout.bytes;
    if (!storedOnly) PackInts(block.ints.data(), block.stored.data(), count, storage.layout);
    return sf_write_raw(file, block.stored.data(), frames * frameBytes) / frameBytes;
  }
  const int shift = 32 - storage.format.bits;
  for (std::size_t i = 0; i < count; ++i) {
    block.ints[i] = static_cast<int32_t>(static_cast<uint32_t>(block.ints[i]) << shift);
  }
  return sf_writef_int(file, block.ints.data(), frames);
}

void ToFloats(const SampleFormat& format, SampleBlock& block, std::size_t count) {
  if (format.kind == SampleKind::Int) {
    IntsToFloats(block.ints.data(), block.floats.data(), count, format.bits);
  } else if (format.kind == SampleKind::Float64) {
    for (std::size_t i = 0; i < count; ++i)
      block.floats[i] = static_cast<float>(block.doubles[i]);
  }
}

uint64_t FromFloats(const SampleFormat& format, SampleBlock& block, std::size_t count) {
  if (format.kind == SampleKind::Int) {
    return FloatsToInts(block.floats.data(), block.ints.data(), count, format.bits);
  }
  if (format.kind == SampleKind::Float64) {
    for (std::size_t i = 0; i < count; ++i)
      block.doubles[i] = static_cast<double>(block.floats[i]);
  }
  return 0;
}

bool IsPcm16(const SampleStorage& storage) {
  return storage.packed && storage.layout == PackedLayout{2, false, false};
}

bool FromFloatsForWriting(const SampleStorage& storage, SampleBlock& block, std::size_t count,
                          uint64_t& clipped) {
  if (!IsPcm16(storage)) {
    clipped += FromFloats(storage.format, block, count);
    return false;
  }
  clipped += FloatsToSamplesCountingClips(block.floats.data(),
                                          reinterpret_cast<int16_t*>(block.stored.data()), count);
  return true;
}

}  // namespace wavfx
