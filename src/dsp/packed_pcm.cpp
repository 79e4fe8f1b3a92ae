#include "dsp/packed_pcm.h"

#include <bit>
#include <cstring>

#include "dsp/simd_dispatch.h"

namespace wavfx {
namespace {

// Byte b of a sample holds bits Shift(b) and up of its value left-justified in 32 bits.
template <int kBytes, bool kBig>
constexpr int Shift(int b) {
  return kBig ? 8 * (3 - b) : 8 * (4 - kBytes + b);
}

template <int kBytes, bool kBig>
int32_t UnpackOne(const unsigned char* data) {
  uint32_t word = 0;
  for (int b = 0; b < kBytes; ++b)
    word |= uint32_t{data[b]} << Shift<kBytes, kBig>(b);
  return static_cast<int32_t>(word) >> (32 - 8 * kBytes);
}

template <int kBytes, bool kBig>
void PackOne(int32_t sample, unsigned char* data) {
  const uint32_t word = static_cast<uint32_t>(sample) << (32 - 8 * kBytes);
  for (int b = 0; b < kBytes; ++b)
    data[b] = static_cast<unsigned char>(word >> Shift<kBytes, kBig>(b));
}

// Samples of 3 bytes go through 4-byte words, which read or write one byte of the next sample
// (written again with that sample); the last sample takes its own 3 bytes.
constexpr bool kWordsInOrder = std::endian::native == std::endian::little;

uint32_t LoadWord(const unsigned char* data) {
  uint32_t word;
  std::memcpy(&word, data, sizeof word);
  return word;
}

template <int kBytes, bool kBig>
void Unpack(const unsigned char* data, int32_t* samples, std::size_t count) {
  std::size_t i = 0;
  if constexpr (kBytes == 3) {
    if (const VectorKernels* kernels = ActiveKernels())
      i = kernels->unpack24(data, samples, count, kBig);
    data += 3 * i;
  }
  if constexpr (kBytes == 3 && kWordsInOrder) {
    for (; i + 1 < count; ++i, data += 3) {
      const uint32_t word = LoadWord(data);
      samples[i] = kBig ? static_cast<int32_t>(__builtin_bswap32(word)) >> 8
                        : static_cast<int32_t>(word << 8) >> 8;
    }
  }
  for (; i < count; ++i, data += kBytes)
    samples[i] = UnpackOne<kBytes, kBig>(data);
}

template <int kBytes, bool kBig>
void Pack(const int32_t* samples, unsigned char* data, std::size_t count) {
  std::size_t i = 0;
  if constexpr (kBytes == 3) {
    if (const VectorKernels* kernels = ActiveKernels())
      i = kernels->pack24(samples, data, count, kBig);
    data += 3 * i;
  }
  if constexpr (kBytes == 3 && kWordsInOrder) {
    for (; i + 1 < count; ++i, data += 3) {
      const auto value = static_cast<uint32_t>(samples[i]);
      const uint32_t word = kBig ? __builtin_bswap32(value << 8) : value;
      std::memcpy(data, &word, sizeof word);
    }
  }
  for (; i < count; ++i, data += kBytes)
    PackOne<kBytes, kBig>(samples[i], data);
}

// Calls f.template operator()<kBytes, kBig>() for the layout of signed samples.
template <typename F>
void WithSignedLayout(const PackedLayout& layout, F&& f) {
  const auto inOrder = [&]<bool kBig>() {
    switch (layout.bytes) {
      case 2:
        return f.template operator()<2, kBig>();
      case 3:
        return f.template operator()<3, kBig>();
      case 4:
        return f.template operator()<4, kBig>();
      default:
        return f.template operator()<1, kBig>();
    }
  };
  if (layout.bigEndian) {
    inOrder.template operator()<true>();
  } else {
    inOrder.template operator()<false>();
  }
}

}  // namespace

void UnpackInts(const unsigned char* data, int32_t* samples, std::size_t count,
                const PackedLayout& layout) {
  if (layout.unsignedBytes) {
    for (std::size_t i = 0; i < count; ++i)
      samples[i] = int32_t{data[i]} - 128;
  } else {
    WithSignedLayout(layout,
                     [&]<int kBytes, bool kBig>() { Unpack<kBytes, kBig>(data, samples, count); });
  }
}

void PackInts(const int32_t* samples, unsigned char* data, std::size_t count,
              const PackedLayout& layout) {
  if (layout.unsignedBytes) {
    for (std::size_t i = 0; i < count; ++i)
      data[i] = static_cast<unsigned char>(samples[i] + 128);
  } else {
    WithSignedLayout(layout,
                     [&]<int kBytes, bool kBig>() { Pack<kBytes, kBig>(samples, data, count); });
  }
}

}  // namespace wavfx
