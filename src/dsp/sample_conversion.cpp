#include "dsp/sample_conversion.h"

#include "dsp/simd_dispatch.h"

namespace wavfx {

void SamplesToFloats(const int16_t* in, float* out, std::size_t count) {
  if (const VectorKernels* kernels = ActiveKernels()) {
    kernels->toFloats(in, out, count);
    return;
  }
  for (std::size_t i = 0; i < count; ++i)
    out[i] = SampleToFloat(in[i]);
}

void FloatsToSamples(const float* in, int16_t* out, std::size_t count) {
  if (const VectorKernels* kernels = ActiveKernels()) {
    kernels->toSamples(in, out, count);
    return;
  }
  for (std::size_t i = 0; i < count; ++i)
    out[i] = FloatToSample(in[i]);
}

uint64_t FloatsToSamplesCountingClips(const float* in, int16_t* out, std::size_t count) {
  uint64_t clipped = 0;
  const VectorKernels* kernels = ActiveKernels();
  std::size_t i = kernels != nullptr ? kernels->toSamplesCountingClips(in, out, count, clipped) : 0;
  for (; i < count; ++i) {
    out[i] = FloatToSample(in[i]);
    clipped += ClipsAt16Bits(in[i]) ? 1 : 0;
  }
  return clipped;
}

uint64_t ZeroNonFinite(float* values, std::size_t count) {
  uint64_t found = 0;
  const VectorKernels* kernels = ActiveKernels();
  std::size_t i = kernels != nullptr ? kernels->zeroNonFinite(values, count, found) : 0;
  for (; i < count; ++i) {
    // x - x is 0 for every finite x and NaN for NaN and the infinities.
    // Stores only what it changes: the common block, all finite, is then only read.
    if (values[i] - values[i] != 0.0f) {
      values[i] = 0.0f;
      ++found;
    }
  }
  return found;
}

}  // namespace wavfx
