#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>

#include "dsp/pcm_conversion.h"
#include "dsp/sample_conversion.h"
#include "engine/chain_flow.h"
#include "entry/effect_instance.h"
#include "wavfx/wavfx.h"

namespace wavfx {
namespace {

// Samples converted at a time on either side of a reshaping chain.
constexpr std::size_t kScratchSamples = 4096;

std::size_t FramesOf(std::size_t channels) {
  return std::max<std::size_t>(kScratchSamples / std::max<std::size_t>(channels, 1), 1);
}

// How samples of one type enter the chain as floats and leave it.
void ToFloats(const float* in, float* out, std::size_t count) {
  std::memcpy(out, in, count * sizeof(float));
  ZeroNonFinite(out, count);
}
void ToFloats(const int16_t* in, float* out, std::size_t count) {
  SamplesToFloats(in, out, count);
}
void ToFloats(const int32_t* in, float* out, std::size_t count) {
  IntsToFloats(in, out, count, 32);
}
void FromFloats(const float* in, float* out, std::size_t count) {
  std::memcpy(out, in, count * sizeof(float));
}
void FromFloats(const float* in, int16_t* out, std::size_t count) {
  FloatsToSamples(in, out, count);
}
void FromFloats(const float* in, int32_t* out, std::size_t count) {
  FloatsToInts(in, out, count, 32);
}

// A chain that does not reshape runs in place on the output.
template <class Sample>
void FlowInPlace(wavfx_effect& effect, const Sample* in, std::size_t inFrames, Sample* out,
                 std::size_t outRoom, std::size_t& consumed, std::size_t& produced);

template <>
void FlowInPlace(wavfx_effect& effect, const float* in, std::size_t inFrames, float* out,
                 std::size_t outRoom, std::size_t& consumed, std::size_t& produced) {
  consumed = produced = std::min(inFrames, outRoom);
  if (in != out) std::memmove(out, in, consumed * effect.chain.channels * sizeof(float));
  ProcessChainFloats(effect.chain, out, consumed);
}
template <>
void FlowInPlace(wavfx_effect& effect, const int16_t* in, std::size_t inFrames, int16_t* out,
                 std::size_t outRoom, std::size_t& consumed, std::size_t& produced) {
  consumed = produced = std::min(inFrames, outRoom);
  if (in != out) std::memmove(out, in, consumed * effect.chain.channels * sizeof(int16_t));
  ProcessChainSamples(effect.chain, out, consumed);
}
template <>
void FlowInPlace(wavfx_effect& effect, const int32_t* in, std::size_t inFrames, int32_t* out,
                 std::size_t outRoom, std::size_t& consumed, std::size_t& produced) {
  consumed = produced = std::min(inFrames, outRoom);
  if (in != out) std::memmove(out, in, consumed * effect.chain.channels * sizeof(int32_t));
  ProcessChainInts(effect.chain, out, consumed, 32);
}

// Converts a piece of the input at a time into floats, runs it through the chain and converts
// what comes out. A chain that only copies moves the samples as they are.
template <class Sample>
void FlowConverted(wavfx_effect& effect, const Sample* in, std::size_t inFrames, Sample* out,
                   std::size_t outRoom, std::size_t& consumed, std::size_t& produced) {
  EffectChain& chain = effect.chain;
  consumed = produced = 0;
  if (ChainCopiesOnly(chain)) {
    FlowChain(chain, in, inFrames, out, outRoom, sizeof(Sample), consumed, produced);
    return;
  }
  const std::size_t inChannels = chain.channels;
  const std::size_t outChannels = chain.output.channels;
  for (bool moved = true; moved;) {
    const std::size_t offered = std::min(inFrames - consumed, effect.scratchInFrames);
    const std::size_t room = std::min(outRoom - produced, effect.scratchOutFrames);
    ToFloats(in + consumed * inChannels, effect.scratchIn, offered * inChannels);
    std::size_t taken = 0;
    std::size_t made = 0;
    FlowChain(chain, effect.scratchIn, offered, effect.scratchOut, room, sizeof(float), taken,
              made);
    FromFloats(effect.scratchOut, out + produced * outChannels, made * outChannels);
    consumed += taken;
    produced += made;
    moved = taken > 0 || made > 0;
  }
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
  if (effect->chain.reshapes) {
    FlowConverted(*effect, in, inFrames, out, outRoom, taken, made);
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
  std::size_t made = 0;
  if (ChainCopiesOnly(chain)) {
    made = DrainChain(chain, out, outRoom, sizeof(Sample));
  } else {
    const std::size_t channels = chain.output.channels;
    for (std::size_t flushed = 1; flushed > 0 && made < outRoom;) {
      const std::size_t room = std::min(outRoom - made, effect->scratchOutFrames);
      flushed = DrainChain(chain, effect->scratchOut, room, sizeof(float));
      FromFloats(effect->scratchOut, out + made * channels, flushed * channels);
      made += flushed;
    }
  }
  if (produced != nullptr) *produced = made;
  return WAVFX_OK;
}

}  // namespace

bool InitFlowScratch(wavfx_effect& effect) {
  effect.scratchIn = nullptr;
  effect.scratchOut = nullptr;
  effect.scratchInFrames = 0;
  effect.scratchOutFrames = 0;
  if (!effect.chain.reshapes) return true;
  const std::size_t inChannels = effect.chain.channels;
  const std::size_t outChannels = effect.chain.output.channels;
  effect.scratchInFrames = FramesOf(inChannels);
  effect.scratchOutFrames = FramesOf(outChannels);
  effect.scratchIn = new (std::nothrow) float[effect.scratchInFrames * inChannels];
  effect.scratchOut = new (std::nothrow) float[effect.scratchOutFrames * outChannels + 1];
  return effect.scratchIn != nullptr && effect.scratchOut != nullptr;
}

void ReleaseFlowScratch(wavfx_effect& effect) {
  delete[] effect.scratchIn;
  delete[] effect.scratchOut;
  effect.scratchIn = nullptr;
  effect.scratchOut = nullptr;
}

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
