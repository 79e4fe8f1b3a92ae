#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>

#include "dsp/pcm_conversion.h"
#include "dsp/sample_conversion.h"
#include "engine/chain_flow.h"
#include "entry/effect_handle.h"
#include "wavfx/wavfx.h"

namespace wavfx {
namespace {

// A chain that does not reshape runs in place on the output.
template <class Sample>
void FlowInPlace(wavfx_effect& effect, const Sample* in, std::size_t inFrames, Sample* out,
                 std::size_t outRoom, std::size_t& consumed, std::size_t& produced);

template <>
void FlowInPlace(wavfx_effect& effect, const float* in, std::size_t inFrames, float* out,
                 std::size_t outRoom, std::size_t& consumed, std::size_t& produced) {
  consumed = produced = std::min(inFrames, outRoom);
  if (consumed > 0 && in != out)
    std::memmove(out, in, consumed * effect.chain.channels * sizeof(float));
  ProcessChainFloats(effect.chain, out, consumed);
}
template <>
void FlowInPlace(wavfx_effect& effect, const int16_t* in, std::size_t inFrames, int16_t* out,
                 std::size_t outRoom, std::size_t& consumed, std::size_t& produced) {
  consumed = produced = std::min(inFrames, outRoom);
  if (consumed > 0 && in != out)
    std::memmove(out, in, consumed * effect.chain.channels * sizeof(int16_t));
  ProcessChainSamples(effect.chain, out, consumed);
}
template <>
void FlowInPlace(wavfx_effect& effect, const int32_t* in, std::size_t inFrames, int32_t* out,
                 std::size_t outRoom, std::size_t& consumed, std::size_t& produced) {
  consumed = produced = std::min(inFrames, outRoom);
  if (consumed > 0 && in != out)
    std::memmove(out, in, consumed * effect.chain.channels * sizeof(int32_t));
  ProcessChainInts(effect.chain, out, consumed, 32);
}

template <class Sample>
int32_t Flow(wavfx_effect* effect, const Sample* in, std::size_t inFrames, Sample* out,
             std::size_t outRoom, std::size_t* consumed, std::size_t* produced) {
  std::size_t taken = 0;
  std::size_t made = 0;
  if (consumed != nullptr) *consumed = 0;
  if (produced != nullptr) *produced = 0;
  if (effect == nullptr) return WAVFX_ERROR_NULL_EFFECT;
  if ((in == nullptr && inFrames > 0) || (out == nullptr && outRoom > 0)) {
    return WAVFX_ERROR_NULL_SAMPLES;
  }
  if (effect->chain.reshapes && effect->chain.ended) return WAVFX_ERROR_FLUSHED;
  if (effect->chain.reshapes) {
    FlowChainSamples(effect->chain, in, inFrames, out, outRoom, taken, made);
  } else {
    FlowInPlace(*effect, in, inFrames, out, outRoom, taken, made);
  }
  if (consumed != nullptr) *consumed = taken;
  if (produced != nullptr) *produced = made;
  return WAVFX_OK;
}

template <class Sample>
int32_t Flush(wavfx_effect* effect, Sample* out, std::size_t outRoom, std::size_t* produced) {
  if (produced != nullptr) *produced = 0;
  if (effect == nullptr) return WAVFX_ERROR_NULL_EFFECT;
  if (out == nullptr && outRoom > 0) return WAVFX_ERROR_NULL_SAMPLES;
  EffectChain& chain = effect->chain;
  if (!chain.reshapes) return WAVFX_OK;
  const std::size_t made = DrainChainSamples(chain, out, outRoom);
  if (produced != nullptr) *produced = made;
  return WAVFX_OK;
}

}  // namespace

}  // namespace wavfx

extern "C" WAVFX_API int32_t wavfx_effect_flow_float(wavfx_effect* effect, const float* in,
                                                     size_t in_frames, float* out, size_t out_room,
                                                     size_t* consumed, size_t* produced) noexcept {
  return wavfx::Flow(effect, in, in_frames, out, out_room, consumed, produced);
}

extern "C" WAVFX_API int32_t wavfx_effect_flow_int16(wavfx_effect* effect, const int16_t* in,
                                                     size_t in_frames, int16_t* out,
                                                     size_t out_room, size_t* consumed,
                                                     size_t* produced) noexcept {
  return wavfx::Flow(effect, in, in_frames, out, out_room, consumed, produced);
}

extern "C" WAVFX_API int32_t wavfx_effect_flow_int32(wavfx_effect* effect, const int32_t* in,
                                                     size_t in_frames, int32_t* out,
                                                     size_t out_room, size_t* consumed,
                                                     size_t* produced) noexcept {
  return wavfx::Flow(effect, in, in_frames, out, out_room, consumed, produced);
}

extern "C" WAVFX_API int32_t wavfx_effect_flush_float(wavfx_effect* effect, float* out,
                                                      size_t out_room, size_t* produced) noexcept {
  return wavfx::Flush(effect, out, out_room, produced);
}

extern "C" WAVFX_API int32_t wavfx_effect_flush_int16(wavfx_effect* effect, int16_t* out,
                                                      size_t out_room, size_t* produced) noexcept {
  return wavfx::Flush(effect, out, out_room, produced);
}

extern "C" WAVFX_API int32_t wavfx_effect_flush_int32(wavfx_effect* effect, int32_t* out,
                                                      size_t out_room, size_t* produced) noexcept {
  return wavfx::Flush(effect, out, out_room, produced);
}

extern "C" WAVFX_API uint32_t wavfx_effect_output_channels(const wavfx_effect* effect) noexcept {
  if (effect == nullptr) return 0;
  return effect->chain.reshapes ? effect->chain.output.channels : effect->chain.channels;
}

extern "C" WAVFX_API uint32_t wavfx_effect_output_sample_rate(const wavfx_effect* effect) noexcept {
  if (effect == nullptr) return 0;
  return effect->chain.reshapes ? effect->chain.output.sampleRate : effect->chain.sampleRate;
}

extern "C" WAVFX_API uint64_t wavfx_effect_latency(const wavfx_effect* effect) noexcept {
  return effect != nullptr && effect->chain.reshapes ? wavfx::ChainLatency(effect->chain) : 0;
}

extern "C" WAVFX_API int wavfx_effect_reshapes(const wavfx_effect* effect) noexcept {
  return effect != nullptr && effect->chain.reshapes ? 1 : 0;
}

extern "C" WAVFX_API int wavfx_effect_wants_input(const wavfx_effect* effect) noexcept {
  if (effect == nullptr) return 0;
  return !effect->chain.reshapes || wavfx::ChainWantsInput(effect->chain) ? 1 : 0;
}
