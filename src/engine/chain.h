#pragma once

#include <cstddef>
#include <cstdint>

#include "dsp/sample_conversion.h"
#include "engine/chain_text.h"
#include "engine/effect.h"

namespace wavfx {

// Frames on their way from one reshaping stage to the next.
struct StageQueue {
  unsigned char* data;   // owned; room for `capacity` frames of 8-byte samples
  std::size_t capacity;  // frames
  std::size_t begin;     // the first frame held
  std::size_t count;     // frames held
  uint32_t channels;
};

// The running stages of one stream. Stages hand single-precision values to each other; samples
// of other formats are converted once on the way in and once on the way out. A chain with a
// stage that changes the rate, the channels or the length runs through FlowChain (chain_flow.h).
struct EffectChain {
  ChainRecipe recipe;  // what the stages were made from, for a reset
  uint32_t channels;
  uint32_t sampleRate;
  EffectState stages[kMaxStages];
  float* wideFrame;  // room for one frame wider than the conversion chunk; null otherwise
  bool reshapes;     // some stage changes the rate, the channels or the length
  StreamShape output;
  // Queue 0 holds input taken in; queue i + 1 what reshaping stage i produced. feeds[i] is the
  // queue reshaping stage i reads; the output leaves from lastQueue.
  StageQueue queues[kMaxStages + 1];
  uint32_t feeds[kMaxStages];
  uint32_t lastQueue;
  uint32_t drained;  // stages whose end-of-stream flush is done, counted from the first
  bool ended;        // the flush began: no more input until the chain is made anew
  // Delayed in-place stages: output frames still to drop, and silent frames still to feed.
  uint64_t toDrop[kMaxStages];
  uint64_t toFeed[kMaxStages];
  float* scratchIn;  // owned; samples of other types as floats on their way in and out
  float* scratchOut;
  std::size_t scratchInFrames;
  std::size_t scratchOutFrames;
};

// A chain of the one effect that `name` selects as WAVEffect matches it: an unknown name gives
// "none".
ChainRecipe RecipeOfName(const char* name);

// Tells the stages that quantise for an integer output the depth the job writes: 8 to 32, or 32
// for float samples. Jobs that write files call it before InitChain.
void FollowOutputDepth(ChainRecipe& recipe, int bits);

// Initialises every stage. `frames`, when not 0, is the input's exact length: the reshaping
// stages that can then run in place do (TellEffectLength), up to the first stage that may change
// the length, and the chain reshapes only when another stage remains. Returns false when the
// room for wide frames could not be had; the chain must be released either way.
bool InitChain(EffectChain& chain, const ChainRecipe& recipe, uint32_t channels,
               uint32_t sampleRate, uint64_t frames = 0);

// Whether any stage changes the audio. When none does, processing leaves every sample exactly as
// it was, even a 16-bit one that the conversion pair would change.
bool ChainChangesAudio(const EffectChain& chain);

// Whether every stage that needs delay lines has them.
bool ChainHasItsBuffers(const EffectChain& chain);

// Runs `frames` frames of interleaved floats through the stages in place. Unless no stage
// changes the audio, NaN and infinite inputs are read as 0 first; returns how many there were.
uint64_t ProcessChainFloats(EffectChain& chain, float* samples, std::size_t frames);

// The same for values known to be finite: no check.
void ProcessChainFinite(EffectChain& chain, float* samples, std::size_t frames);

// The same for 16-bit samples, converted to floats and back around the stages.
void ProcessChainSamples(EffectChain& chain, int16_t* samples, std::size_t frames);

// The same for integer samples of depth `bits` (8 to 32, see dsp/pcm_conversion.h). Returns the
// samples clamped on the way out.
uint64_t ProcessChainInts(EffectChain& chain, int32_t* samples, std::size_t frames, int bits);

// Frees every stage's buffers; a second call does nothing.
void ReleaseChain(EffectChain& chain);

}  // namespace wavfx
