#pragma once

#include <cstdint>
#include <span>

#include "effects/antique.h"
#include "effects/bitcrusher.h"
#include "effects/compressor.h"
#include "effects/distortion.h"
#include "effects/echo.h"
#include "effects/mod_delay.h"
#include "effects/one_pole.h"
#include "effects/reverb.h"
#include "effects/tremolo.h"
#include "effects/widener.h"

namespace wavfx {

enum class EffectKind : int32_t {
  None = 0,
  Antique = 1,
  Echo = 2,
  Reverb = 3,
  Tremolo = 4,
  Distortion = 5,
  Lowpass = 6,
  Highpass = 7,
  Bitcrusher = 8,
  Flanger = 9,
  Chorus = 10,
  Compressor = 11,
  Widener = 12,
};

// The selected effect and its working state for one stream. Only the member of the selected
// kind is ever initialised or read.
struct EffectState {
  EffectKind kind;
  uint32_t channels;
  uint32_t sampleRate;
  float* wideFrame;  // owned; ProcessEffect's room for one frame too wide for its stack chunk
  AntiqueState antique;
  EchoState echo;
  ReverbState reverb;
  TremoloState tremolo;
  DistortionState distortion;
  OnePoleState onePole;
  BitcrusherState bitcrusher;
  ModDelayState flanger;
  ModDelayState chorus;
  CompressorState compressor;
  WidenerState widener;
};

// One accepted effect name, in matching order; aliases share a kind.
struct EffectName {
  const char* literal;
  EffectKind kind;
};

// Every accepted name, in the order they are matched.
std::span<const EffectName> EffectNames();

// True when the two strings are equal once the letters A-Z are folded to lower case.
bool EffectNameEquals(const char* name, const char* literal);

// The kind `name` selects, ignoring the case of A-Z; None for an unknown name.
EffectKind KindOfName(const char* name);

// Selects the effect matching `name` (None for an unknown name) and initialises it with its
// defaults.
void InitEffect(EffectState& state, const char* name, uint32_t channels, uint32_t sampleRate);

// Rewrites `frames` whole frames of interleaved samples in place: converts them to floats with
// SampleToFloat, runs the effect, converts back with FloatToSample. Where EffectChangesAudio is
// false the block is left as it is.
void ProcessEffect(EffectState& state, int16_t* block, int32_t frames);

// Runs the effect over `frames` whole frames of interleaved floats in place.
void ProcessEffectFloats(EffectState& state, float* samples, int32_t frames);

// False when the effect passes its audio through untouched: none, the widener on other than two
// channels, an effect whose buffers could not be allocated.
bool EffectChangesAudio(const EffectState& state);

// Whether an effect that needs delay lines got them; true for every other effect.
bool EffectHasItsBuffers(const EffectState& state);

// Frees the effect's buffers; a second call does nothing.
void ReleaseEffect(EffectState& state);

}  // namespace wavfx
