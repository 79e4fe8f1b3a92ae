#include "effects/bitcrusher.h"

#include <cstddef>

#include "dsp/simd_dispatch.h"

namespace wavfx {

void InitBitcrusher(BitcrusherState& state, int32_t bits, uint32_t channels) {
  state.channels = channels;
  if (bits < 4) bits = 4;
  if (bits > 12) bits = 12;
  state.levels = int32_t{1} << bits;
}

void ProcessBitcrusher(BitcrusherState& state, float* samples, int32_t frames) {
  if (frames <= 0 || state.channels == 0) return;
  const auto levels = static_cast<float>(state.levels);
  const float top = levels - 1.0f;
  const float half = levels * 0.5f;
  const float step = 1.0f / half;
  const std::size_t count = static_cast<std::size_t>(frames) * state.channels;
  const VectorKernels* kernels = ActiveKernels();
  std::size_t i = kernels != nullptr ? kernels->crush(samples, count, half, top, step) : 0;
  for (; i < count; ++i) {
    samples[i] = CrushSample(samples[i], half, top, step);
  }
}

namespace {

constexpr wavfx_parameter_info kParameters[] = {
    {"bits", "", 8, 4, 12, 1, "the quantiser has 2^bits levels"},
};
constexpr const char* kAliases[] = {"bitcrusher"};

void Init(void* state, const StageValues& v, StreamShape in) {
  InitBitcrusher(As<BitcrusherState>(state), static_cast<int32_t>(v.values[0]), in.channels);
}

}  // namespace

const EffectFamily kBitcrusherFamily = {
    {"bitcrush", kAliases, 1, "amplitude quantisation, rounding down", kParameters,
     CountOf(kParameters)},
    nullptr,
    {.stateSize = sizeof(BitcrusherState),
     .init = Init,
     .process = ProcessAs<BitcrusherState, ProcessBitcrusher>},
};

}  // namespace wavfx
