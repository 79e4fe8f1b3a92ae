#pragma once

#include <cstdint>
#include <span>

#include "engine/registry.h"

namespace wavfx {

// The selected effect and its working state for one stream: the family's own record, sized for
// that family alone.
struct EffectState {
  EffectKind kind;
  uint32_t channels;
  uint32_t sampleRate;
  const EffectFamily* family;
  void* record;      // the family's state; null when it has none or it could not be had
  bool ownsRecord;   // the record was allocated by InitEffect and is freed by ReleaseEffect
  float* wideFrame;  // owned; ProcessEffect's room for one frame too wide for its stack chunk
  bool inPlace;      // a reshaping stage that took the stream's length and runs in place
};

// The family's record of a state, typed.
template <class State>
State& StateOf(EffectState& state) {
  return *static_cast<State*>(state.record);
}

// One accepted effect name, in matching order; aliases follow their name and share its kind.
struct EffectName {
  const char* literal;
  EffectKind kind;
};

// WAVEffect's names: those of its thirteen families, in the order it matches them.
std::span<const EffectName> EffectNames();

// Every name of every family, in the registry's order (WAVEffect's first).
std::span<const EffectName> RegistryNames();

// The kind `name` selects as WAVEffect matches it, ignoring the case of A-Z: the first of the
// thirteen classic families whose name or alias it is; None for any other name.
EffectKind KindOfName(const char* name);

// Selects the effect matching `name` (None for an unknown name) and initialises it with its
// defaults.
void InitEffect(EffectState& state, const char* name, uint32_t channels, uint32_t sampleRate);

// Initialises the stage's effect; the state's kind, channels and rate are set too. The family's
// record goes in `record` when given (zero-filled, at least the family's stateSize bytes, aligned
// to 64, outliving the state), else on the heap.
void InitEffect(EffectState& state, const EffectSettings& settings, uint32_t channels,
                uint32_t sampleRate, void* record = nullptr);

// Rewrites `frames` whole frames of interleaved samples in place: converts them to floats with
// SampleToFloat, runs the effect, converts back with FloatToSample. Where EffectChangesAudio is
// false the block is left as it is.
void ProcessEffect(EffectState& state, int16_t* block, int32_t frames);

// Runs the effect over `frames` whole frames of interleaved floats in place.
void ProcessEffectFloats(EffectState& state, float* samples, int32_t frames);

// The family's 16-bit path over stereo samples in place; false when it has none.
bool ProcessEffectSamples(EffectState& state, int16_t* samples, int32_t frames);

// False when the effect passes its audio through untouched: none, the widener on other than two
// channels, an effect whose buffers or record could not be allocated.
bool EffectChangesAudio(const EffectState& state);

// Whether an effect got its record and the buffers it needs.
bool EffectHasItsBuffers(const EffectState& state);

// Tells a reshaping stage, before its first input, the frames its stream will have: true when it
// then runs in place (FamilyOps::knowLength), as `inPlace` records.
bool TellEffectLength(EffectState& state, uint64_t frames);

// Frames by which the effect's output lags its input (FamilyOps::delay); 0 when it passes its
// audio through.
uint64_t EffectDelay(const EffectState& state);

// Frees the effect's buffers and record; a second call does nothing.
void ReleaseEffect(EffectState& state);

}  // namespace wavfx
