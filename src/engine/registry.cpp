#include "engine/registry.h"

#include "effects/antique.h"
#include "effects/biquad_family.h"
#include "effects/bitcrusher.h"
#include "effects/channels.h"
#include "effects/compand.h"
#include "effects/compressor.h"
#include "effects/distortion.h"
#include "effects/dither.h"
#include "effects/echo.h"
#include "effects/fade.h"
#include "effects/freeverb.h"
#include "effects/gain.h"
#include "effects/gate.h"
#include "effects/limiter.h"
#include "effects/mod_delay.h"
#include "effects/multichorus.h"
#include "effects/soxflanger.h"
#include "effects/loudnorm.h"
#include "effects/none.h"
#include "effects/norm.h"
#include "effects/one_pole.h"
#include "effects/pad.h"
#include "effects/phaser.h"
#include "effects/remix.h"
#include "effects/resample.h"
#include "effects/tempo.h"
#include "effects/reverb.h"
#include "effects/tremolo.h"
#include "effects/trim.h"
#include "effects/widener.h"

namespace wavfx {
namespace {

// The registry: one row per family, in the order of their kinds. WAVEffect matches the names of
// the first thirteen in this order, each name before its aliases.
// clang-format off
const EffectFamily* const kFamilies[] = {
    &kNoneFamily,
    &kAntiqueFamily,
    &kEchoFamily,
    &kReverbFamily,
    &kTremoloFamily,
    &kDistortionFamily,
    &kLowpassFamily,
    &kHighpassFamily,
    &kBitcrusherFamily,
    &kFlangerFamily,
    &kChorusFamily,
    &kCompressorFamily,
    &kWidenerFamily,
    &kResampleFamily,
    &kSpeedFamily,
    &kChannelsFamily,
    &kRemixFamily,
    &kTrimFamily,
    &kPadFamily,
    &kFadeFamily,
    &kGainFamily,
    &kNormFamily,
    &kLoudnormFamily,
    &kTempoFamily,
    &kPitchFamily,
    &kPhaserFamily,
    &kDitherFamily,
    &kLimiterFamily,
    &kGateFamily,
    &kBandpassFamily,
    &kBandrejectFamily,
    &kAllpassFamily,
    &kEqualizerFamily,
    &kBassFamily,
    &kTrebleFamily,
    &kFreeverbFamily,
    &kMultichorusFamily,
    &kSoxFlangerFamily,
    &kCompandFamily,
};
// clang-format on

constexpr std::size_t kClassicFamilies = static_cast<std::size_t>(EffectKind::Widener) + 1;

unsigned char FoldCase(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte + 32) : byte;
}

}  // namespace

bool EffectNameEquals(std::string_view name, const char* literal) {
  std::size_t i = 0;
  for (; i < name.size(); ++i) {
    if (literal[i] == '\0' || FoldCase(name[i]) != FoldCase(literal[i])) return false;
  }
  return literal[i] == '\0';
}

bool EffectNameEquals(const char* name, const char* literal) {
  while (*name != '\0') {
    if (*literal == '\0' || FoldCase(*name) != FoldCase(*literal)) return false;
    ++name;
    ++literal;
  }
  return *literal == '\0';
}

std::span<const EffectFamily* const> EffectFamilies() {
  return kFamilies;
}

const EffectFamily& FamilyOf(EffectKind kind) {
  const auto index = static_cast<std::size_t>(kind);
  return index < std::size(kFamilies) ? *kFamilies[index] : kNoneFamily;
}

EffectKind KindOf(const EffectFamily& family) {
  for (std::size_t i = 0; i < std::size(kFamilies); ++i) {
    if (kFamilies[i] == &family) return static_cast<EffectKind>(i);
  }
  return EffectKind::None;
}

const EffectFamily* FindEffectFamily(std::string_view name) {
  for (const EffectFamily* family : kFamilies) {
    if (EffectNameEquals(name, family->info.name)) return family;
    for (std::size_t i = 0; i < family->info.alias_count; ++i) {
      if (EffectNameEquals(name, family->info.aliases[i])) return family;
    }
  }
  return nullptr;
}

bool IsClassicFamily(const EffectFamily& family) {
  return static_cast<std::size_t>(KindOf(family)) < kClassicFamilies;
}

std::span<const wavfx_parameter_info> ParametersOf(const EffectFamily& family) {
  return {family.info.parameters, family.info.parameter_count};
}

EffectSettings DefaultSettings(const EffectFamily& family) {
  EffectSettings settings{};
  settings.kind = KindOf(family);
  const auto parameters = ParametersOf(family);
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    settings.values[i] = parameters[i].default_value;
  }
  return settings;
}

bool Reshapes(const EffectFamily& family) {
  return family.ops.flow != nullptr || family.ops.delay != nullptr;
}

StreamShape ShapeAfter(const EffectFamily& family, const StageValues& values, StreamShape in) {
  return family.ops.shape != nullptr ? family.ops.shape(values, in) : in;
}

}  // namespace wavfx
