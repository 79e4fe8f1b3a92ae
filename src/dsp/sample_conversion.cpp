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

}  // namespace wavfx
