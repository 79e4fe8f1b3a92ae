#include "dsp/simd_dispatch.h"

#include <atomic>

namespace wavfx {
namespace {

constexpr int kUndecided = -1;

std::atomic<int> activePath{kUndecided};

VectorPath WidestAvailablePath() {
#if defined(__x86_64__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
      __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl")) {
    return VectorPath::Avx512;
  }
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return VectorPath::Avx2;
#endif
  return VectorPath::Scalar;
}

}  // namespace

VectorPath ActiveVectorPath() {
  int path = activePath.load(std::memory_order_relaxed);
  if (path == kUndecided) {
    path = static_cast<int>(WidestAvailablePath());
    activePath.store(path, std::memory_order_relaxed);
  }
  return static_cast<VectorPath>(path);
}

const VectorKernels* ActiveKernels() {
#if defined(__x86_64__)
  switch (ActiveVectorPath()) {
    case VectorPath::Scalar:
      return nullptr;
    case VectorPath::Avx2:
      return &kAvx2Kernels;
    case VectorPath::Avx512:
      return &kAvx512Kernels;
  }
#endif
  return nullptr;
}

bool VectorPathAvailable(VectorPath path) {
  return static_cast<int>(path) <= static_cast<int>(WidestAvailablePath());
}

void SetVectorPathForTesting(VectorPath path) {
  if (VectorPathAvailable(path)) activePath.store(static_cast<int>(path));
}

void ResetVectorPathForTesting() {
  activePath.store(kUndecided);
}

}  // namespace wavfx
