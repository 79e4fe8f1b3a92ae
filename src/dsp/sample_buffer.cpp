#include "dsp/sample_buffer.h"

#include <atomic>
#include <cstdlib>

namespace wavfx {
namespace {

std::atomic<ZeroedAllocator> testAllocator{nullptr};
thread_local SampleSource* threadSource = nullptr;

}  // namespace

float* AllocateSamples(uint64_t count) {
  if (count == 0 || count > kMaxSamplesPerBuffer) return nullptr;
  if (threadSource != nullptr) return threadSource->allocate(*threadSource, count);
  const ZeroedAllocator allocator = testAllocator.load(std::memory_order_relaxed);
  void* memory =
      allocator != nullptr ? allocator(count, sizeof(float)) : std::calloc(count, sizeof(float));
  return static_cast<float*>(memory);
}

void FreeSamples(float*& buffer) {
  if (threadSource != nullptr && buffer != nullptr) {
    threadSource->release(*threadSource, buffer);
  } else {
    std::free(buffer);
  }
  buffer = nullptr;
}

void SetZeroedAllocatorForTesting(ZeroedAllocator allocator) {
  testAllocator.store(allocator, std::memory_order_relaxed);
}

void SetThreadSampleSource(SampleSource* source) {
  threadSource = source;
}

bool ThreadSourceIsMeasuring() {
  return threadSource != nullptr && threadSource->measuring;
}

}  // namespace wavfx
