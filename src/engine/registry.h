#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "effects/family.h"
#include "wavfx/wavfx.h"

namespace wavfx {

// A family's place in the registry. The first thirteen are WAVEffect's kinds, with their values;
// later families follow in the registry's order.
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

// One configured stage: a family and its values.
struct EffectSettings : StageValues {
  EffectKind kind;
};

// Every family, in the order of their kinds.
std::span<const EffectFamily* const> EffectFamilies();

// The family of a kind; "none" for a kind outside the registry.
const EffectFamily& FamilyOf(EffectKind kind);

// The kind of a family of the registry.
EffectKind KindOf(const EffectFamily& family);

// The family whose name or alias equals `name`, ignoring the case of A-Z; null when none does.
const EffectFamily* FindEffectFamily(std::string_view name);

// Whether WAVEffect's plain names select the family: the thirteen it has always had.
bool IsClassicFamily(const EffectFamily& family);

// The family's parameters as a span.
std::span<const wavfx_parameter_info> ParametersOf(const EffectFamily& family);

// Every parameter at its default.
EffectSettings DefaultSettings(const EffectFamily& family);

// Whether a chain runs the family through FlowChain: it reshapes the stream (rate, channels or
// length), or works in place with a delay that the chain takes back out.
bool Reshapes(const EffectFamily& family);

// The stream a stage of the family produces from `in`.
StreamShape ShapeAfter(const EffectFamily& family, const StageValues& values, StreamShape in);

// True when the two strings are equal once the letters A-Z are folded to lower case.
bool EffectNameEquals(const char* name, const char* literal);
bool EffectNameEquals(std::string_view name, const char* literal);

}  // namespace wavfx
