#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "engine/effect.h"
#include "wavfx/wavfx.h"

namespace wavfx {

// The most parameters one effect family has.
constexpr std::size_t kMaxParameters = 6;

// One configured stage: an effect family and a value for each of its parameters, in the order
// the family lists them.
struct EffectSettings {
  EffectKind kind;
  double values[kMaxParameters];
};

// Initialises `state` for `kind` from the stage's parameter values.
using EffectInit = void (*)(EffectState& state, const double* values, uint32_t channels,
                            uint32_t sampleRate);

// One row of the registry: what the outside world sees of a family (names, description,
// parameters) and how its values reach the effect's initialisation.
struct EffectFamily {
  wavfx_effect_info info;
  EffectKind kind;
  EffectInit init;
};

// Every family, "none" first, in the order of EffectKind.
std::span<const EffectFamily> EffectFamilies();

const EffectFamily& FamilyOf(EffectKind kind);

// The family whose name or alias equals `name`, ignoring the case of A-Z; null when none does.
const EffectFamily* FindEffectFamily(std::string_view name);

// The family's parameters as a span.
std::span<const wavfx_parameter_info> ParametersOf(const EffectFamily& family);

// Every parameter at its default.
EffectSettings DefaultSettings(const EffectFamily& family);

// Initialises the stage's effect; the state's kind, channels and rate are set too. Defined with
// the effects' dispatch.
void InitEffect(EffectState& state, const EffectSettings& settings, uint32_t channels,
                uint32_t sampleRate);

}  // namespace wavfx
