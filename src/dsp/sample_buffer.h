#pragma once

#include <cstddef>
#include <cstdint>

namespace wavfx {

// The largest history an effect may hold: 2^28 floats (1 GiB), far beyond any real stream (an
// echo of 1024 channels at 192 kHz needs a quarter of it), so that a file declaring an absurd
// sample rate cannot make the library claim gigabytes.
constexpr uint64_t kMaxSamplesPerBuffer = uint64_t{1} << 28;

// Allocates `count` zero-filled floats for an effect's history. Returns null when the count is 0
// or above kMaxSamplesPerBuffer, or when memory is short; an effect whose buffer is null passes
// its audio through unchanged.
float* AllocateSamples(uint64_t count);
void FreeSamples(float*& buffer);

// Replaces the zero-filled allocator, for tests of the out-of-memory path; null restores calloc.
using ZeroedAllocator = void* (*)(std::size_t count, std::size_t size);
void SetZeroedAllocatorForTesting(ZeroedAllocator allocator);

// While set, this thread's AllocateSamples and FreeSamples take buffers from `source` and give
// them back to it instead of the heap (and the allocator above); null restores the heap.
struct SampleSource {
  float* (*allocate)(SampleSource& source, uint64_t count);  // zero-filled, or null
  void (*release)(SampleSource& source, float* buffer);
  // Set by a source that only measures what a stage takes: the stage may leave its buffers
  // unfilled (a long wave table, say), since it never runs.
  bool measuring = false;
};
void SetThreadSampleSource(SampleSource* source);
bool ThreadSourceIsMeasuring();

}  // namespace wavfx
