#pragma once

#if defined(__x86_64__)

#include <immintrin.h>

#include <type_traits>

namespace wavfx {

// A vector kernel that returns with the upper halves of the vector registers clear:
// Cleared<Kernel>::Call. While they hold data, legacy SSE code (all of this library's code
// outside the kernels, and the Python module's) ran three to four times slower on AMD Zen 5,
// until the next vzeroupper. The compiler places one at a kernel's return, but not at every
// return: a function that ends in a call taking 512-bit vectors (the resampler's halving) returns
// without one, and so do its callers.
template <auto kKernel>
struct Cleared;

template <class Result, class... Arguments, Result (*kKernel)(Arguments...)>
struct Cleared<kKernel> {
  __attribute__((target("avx"))) static Result Call(Arguments... arguments) {
    if constexpr (std::is_void_v<Result>) {
      kKernel(arguments...);
      _mm256_zeroupper();
    } else {
      const Result result = kKernel(arguments...);
      _mm256_zeroupper();
      return result;
    }
  }
};

}  // namespace wavfx

#endif
