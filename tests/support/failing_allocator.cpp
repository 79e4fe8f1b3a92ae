#include "support/failing_allocator.h"

#include <cstdlib>

#include "dsp/sample_buffer.h"

namespace wavfx::testing {
namespace {

int calls = 0;
int failingCall = 0;

void* CountingCalloc(std::size_t count, std::size_t size) {
  ++calls;
  return calls == failingCall ? nullptr : std::calloc(count, size);
}

}  // namespace

ScopedFailingAllocator::ScopedFailingAllocator(int failOn) {
  calls = 0;
  failingCall = failOn;
  SetZeroedAllocatorForTesting(&CountingCalloc);
}

ScopedFailingAllocator::~ScopedFailingAllocator() {
  SetZeroedAllocatorForTesting(nullptr);
}

int ScopedFailingAllocator::Calls() const {
  return calls;
}

}  // namespace wavfx::testing
