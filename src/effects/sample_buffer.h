#pragma once

#include <cstddef>
#include <cstdint>

namespace wavfx {

// Allocates `count` zero-filled floats for an effect's history. Returns null when the count does
// not fit the 32-bit length fields of the effect records, or when memory is short; an effect
// whose buffer is null passes its audio through unchanged.
float* AllocateSamples(uint64_t count);
void FreeSamples(float*& buffer);

// Replaces the zero-filled allocator, for tests of the out-of-memory path; null restores calloc.
using ZeroedAllocator = void* (*)(std::size_t count, std::size_t size);
void SetZeroedAllocatorForTesting(ZeroedAllocator allocator);

}  // namespace wavfx
