#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/chain.h"

namespace wavfx {

// Whether the chain's stages fit the stream it receives (each stage sees what the stages before
// it produce): false with the first problem, naming the stage.
bool ChainFits(const ChainRecipe& recipe, StreamShape in, ChainError& error);

// Whether some stage changes the rate, the channels or the length.
bool RecipeReshapes(const ChainRecipe& recipe);

// The stream the chain produces from `in`.
StreamShape ChainOutputShape(const ChainRecipe& recipe, StreamShape in);

// Whether the chain only selects, moves or copies samples: every stage either leaves its audio
// alone or is a reshaping stage that copies. Such a chain may run on samples of any width.
bool ChainCopiesOnly(const EffectChain& chain);

// Moves frames through a reshaping chain: takes up to `inFrames` frames of the chain's input and
// writes up to `outRoom` frames of its output, reporting what it consumed and produced. Samples
// are floats (sampleBytes 4), or any width when ChainCopiesOnly holds. Input is taken as long as
// the chain can hold it, so a call with enough room consumes everything offered; the output
// never depends on how the stream is cut into calls. `in` and `out` must not overlap: the first
// stage may read the input where it lies and the last write straight to `out`.
void FlowChain(EffectChain& chain, const void* in, std::size_t inFrames, void* out,
               std::size_t outRoom, std::size_t sampleBytes, std::size_t& consumed,
               std::size_t& produced);

// False once a stage is finished (a trim past its kept part): further input changes nothing of
// the output, so FlowChain takes it all at once without running it through, and the caller may
// stop reading and go on to DrainChain.
bool ChainWantsInput(const EffectChain& chain);

// FlowChain for samples of another type (int16_t, int32_t or float), converted to floats on the
// way in and back on the way out as the in-place calls convert them; NaN and infinite floats are
// read as 0. A chain that only copies moves the samples as they are.
template <class Sample>
void FlowChainSamples(EffectChain& chain, const Sample* in, std::size_t inFrames, Sample* out,
                      std::size_t outRoom, std::size_t& consumed, std::size_t& produced);

// DrainChain for such samples.
template <class Sample>
std::size_t DrainChainSamples(EffectChain& chain, Sample* out, std::size_t outRoom);

// After the last input: writes up to `outRoom` frames of what the chain still holds and returns
// how many; 0 once everything is out.
std::size_t DrainChain(EffectChain& chain, void* out, std::size_t outRoom, std::size_t sampleBytes);

// Output frames the chain holds back until more input arrives.
uint64_t ChainLatency(const EffectChain& chain);

// The queues between reshaping stages, for InitChain and ReleaseChain: false when memory is
// short. A second release does nothing.
bool InitChainQueues(EffectChain& chain);
void ReleaseChainQueues(EffectChain& chain);

}  // namespace wavfx
