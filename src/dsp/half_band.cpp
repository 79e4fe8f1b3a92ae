#include "dsp/half_band.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "dsp/simd_dispatch.h"

namespace wavfx {

void HalfBandFloat(const float* even, const float* odd, const float* h, std::size_t pairs,
                   std::size_t count, float* y) {
  for (std::size_t i = 0; i < count; ++i) {
    const float* o = odd + i;
    float sum = 0.0f;
    for (std::size_t k = pairs; k-- > 0;)
      sum = std::fma(h[k], o[pairs - 1 - k] + o[pairs + k], sum);
    y[i] = sum + 0.5f * even[i];
  }
}

bool InitHalfBand(HalfBand& b, std::size_t pairs, uint32_t channels, std::size_t block) {
  b = HalfBand{};
  const std::size_t capacity = 2 * pairs + block;
  b.h = new (std::nothrow) float[pairs];
  b.lines = new (std::nothrow) float[2 * capacity * channels];
  if (b.h == nullptr || b.lines == nullptr) {
    ReleaseHalfBand(b);
    return false;
  }
  b.pairs = pairs;
  b.capacity = capacity;
  b.channels = channels;
  const VectorKernels* kernels = ActiveKernels();
  b.vectors = kernels != nullptr ? kernels->halfBand : nullptr;
  ResetHalfBand(b);
  return true;
}

void ResetHalfBand(HalfBand& b) {
  b.origin = 0;
  b.evenFill = 0;
  b.oddFill = b.pairs;
  b.taken = 0;
  b.made = 0;
  for (uint32_t c = 0; c < b.channels; ++c)
    std::fill_n(b.lines + (2 * c + 1) * b.capacity, b.pairs, 0.0f);
}

std::size_t HalfBandRoom(HalfBand& b) {
  const auto drop = static_cast<std::size_t>(b.made - b.origin);
  if (drop > 0) {
    for (uint32_t c = 0; c < b.channels; ++c) {
      float* even = b.lines + 2 * c * b.capacity;
      float* odd = even + b.capacity;
      std::memmove(even, even + drop, (b.evenFill - drop) * sizeof(float));
      std::memmove(odd, odd + drop, (b.oddFill - drop) * sizeof(float));
    }
    b.origin += drop;
    b.evenFill -= drop;
    b.oddFill -= drop;
  }
  return 2 * (b.capacity - std::max(b.evenFill, b.oddFill));
}

namespace {

// Stereo frames from an even one on: four lines, each written in order.
void SplitStereo(const float* __restrict in, std::size_t pairs, float* __restrict evenLeft,
                 float* __restrict oddLeft, float* __restrict evenRight,
                 float* __restrict oddRight) {
  for (std::size_t j = 0; j < pairs; ++j) {
    evenLeft[j] = in[4 * j];
    evenRight[j] = in[4 * j + 1];
    oddLeft[j] = in[4 * j + 2];
    oddRight[j] = in[4 * j + 3];
  }
}

}  // namespace

void AppendToHalfBand(HalfBand& b, const float* in, std::size_t frames) {
  const bool oddFirst = (b.taken & 1) != 0;
  const std::size_t toOdd = (frames + (oddFirst ? 1 : 0)) / 2;
  if (b.channels == 2 && in != nullptr && !oddFirst) {
    float* evenLeft = b.lines + b.evenFill;
    float* oddLeft = b.lines + b.capacity + b.oddFill;
    float* evenRight = b.lines + 2 * b.capacity + b.evenFill;
    float* oddRight = b.lines + 3 * b.capacity + b.oddFill;
    const std::size_t pairs = frames / 2;
    SplitStereo(in, pairs, evenLeft, oddLeft, evenRight, oddRight);
    if (frames % 2 == 1) {
      evenLeft[pairs] = in[4 * pairs];
      evenRight[pairs] = in[4 * pairs + 1];
    }
    b.evenFill += frames - toOdd;
    b.oddFill += toOdd;
    b.taken += frames;
    return;
  }
  for (uint32_t c = 0; c < b.channels; ++c) {
    float* even = b.lines + 2 * c * b.capacity + b.evenFill;
    float* odd = b.lines + (2 * c + 1) * b.capacity + b.oddFill;
    if (in == nullptr) {
      std::fill_n(even, frames - toOdd, 0.0f);
      std::fill_n(odd, toOdd, 0.0f);
      continue;
    }
    const float* from = in + c;
    std::size_t i = 0;
    if (oddFirst && frames > 0) *odd++ = from[b.channels * i++];
    for (; i + 1 < frames; i += 2) {
      *even++ = from[b.channels * i];
      *odd++ = from[b.channels * (i + 1)];
    }
    if (i < frames) *even = from[b.channels * i];
  }
  b.evenFill += frames - toOdd;
  b.oddFill += toOdd;
  b.taken += frames;
}

std::size_t RunHalfBand(HalfBand& b, float* out, std::size_t stride, std::size_t room) {
  // Output m needs even line entry m - origin and odd line entries up to m - origin + 2P - 1.
  const uint64_t byEven = b.origin + b.evenFill;
  const uint64_t byOdd = b.oddFill + 1 >= 2 * b.pairs ? b.origin + b.oddFill + 1 - 2 * b.pairs : 0;
  const uint64_t ready = std::min(byEven, byOdd);
  const std::size_t count =
      ready > b.made ? static_cast<std::size_t>(std::min<uint64_t>(ready - b.made, room)) : 0;
  const auto at = static_cast<std::size_t>(b.made - b.origin);
  for (uint32_t c = 0; c < b.channels && count > 0; ++c) {
    const float* even = b.lines + 2 * c * b.capacity;
    const float* odd = even + b.capacity;
    float* y = out + c * stride;
    const std::size_t done =
        b.vectors != nullptr ? b.vectors(even + at, odd + at, b.h, b.pairs, count, y) : 0;
    HalfBandFloat(even + at + done, odd + at + done, b.h, b.pairs, count - done, y + done);
  }
  b.made += count;
  return count;
}

uint64_t HalfBandOutputsFor(const HalfBand& b, uint64_t inFrames) {
  return inFrames >= 2 * b.pairs ? (inFrames - 2 * b.pairs) / 2 + 1 : 0;
}

void ReleaseHalfBand(HalfBand& b) {
  delete[] b.h;
  delete[] b.lines;
  b = HalfBand{};
}

}  // namespace wavfx
