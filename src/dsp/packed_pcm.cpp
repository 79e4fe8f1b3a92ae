#include "dsp/packed_pcm.h"

#include <bit>
#include <cstring>
#include <type_traits>

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

// Samples of 2 or 4 bytes in the machine's own byte order are its integers as they are, moved
// in runs of a fixed length, which compilers turn into vector code at -O2.
template <int kBytes, bool kBig>
constexpr bool kNative = (kBytes == 2 || kBytes == 4) && kBig == (std::endian::native ==
                                                                  std::endian::big);

template <int kBytes>
using NativeInt = std::conditional_t<kBytes == 2, int16_t, int32_t>;

constexpr std::size_t kNativeRun = 32;

template <int kBytes>
void UnpackNative(const unsigned char* data, int32_t* samples, std::size_t count) {
  NativeInt<kBytes> values[kNativeRun];
  std::size_t i = 0;
  for (; i + kNativeRun <= count; i += kNativeRun) {
    std::memcpy(values, data + i * kBytes, sizeof values);
    for (std::size_t j = 0; j < kNativeRun; ++j)
      samples[i + j] = values[j];
  }
  std::memcpy(values, data + i * kBytes, (count - i) * kBytes);
  for (std::size_t j = 0; i + j < count; ++j)
    samples[i + j] = values[j];
}

template <int kBytes>
void PackNative(const int32_t* samples, unsigned char* data, std::size_t count) {
  NativeInt<kBytes> values[kNativeRun];
  std::size_t i = 0;
  for (; i + kNativeRun <= count; i += kNativeRun) {
    for (std::size_t j = 0; j < kNativeRun; ++j)
      values[j] = static_cast<NativeInt<kBytes>>(samples[i + j]);
    std::memcpy(data + i * kBytes, values, sizeof values);
  }
  for (std::size_t j = 0; i + j < count; ++j)
    values[j] = static_cast<NativeInt<kBytes>>(samples[i + j]);
  std::memcpy(data + i * kBytes, values, (count - i) * kBytes);
}

uint32_t LoadWord(const unsigned char* data) {
  uint32_t word;
  std::memcpy(&word, data, sizeof word);
  return word;
}

template <int kBytes, bool kBig>
void Unpack(const unsigned char* data, int32_t* samples, std::size_t count) {
  if constexpr (kNative<kBytes, kBig>) return UnpackNative<kBytes>(data, samples, count);
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
  if constexpr (kNative<kBytes, kBig>) return PackNative<kBytes>(samples, data, count);
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
