#pragma once

namespace wavfx::testing {

// While alive, the effects' zero-filled allocations are counted and the `failOn`-th one fails
// (0: none fails).
struct ScopedFailingAllocator {
  explicit ScopedFailingAllocator(int failOn);
  ~ScopedFailingAllocator();
  ScopedFailingAllocator(const ScopedFailingAllocator&) = delete;
  ScopedFailingAllocator& operator=(const ScopedFailingAllocator&) = delete;
  // Allocations asked for so far, the failed one included.
  int Calls() const;
};

}  // namespace wavfx::testing
