#include "plugin_variants.h"

#include <string_view>
#include <vector>

#include "engine/effect.h"

namespace wavfx {
namespace {

// Whether the family changes a stream of `channels` channels at its defaults, or with every
// parameter at its maximum (a gain of 0 dB by default is still a gain).
bool ChangesAudio(const EffectFamily& family, uint32_t channels) {
  EffectSettings settings = DefaultSettings(family);
  for (const bool loudest : {false, true}) {
    if (loudest) {
      const auto parameters = ParametersOf(family);
      for (std::size_t i = 0; i < parameters.size(); ++i)
        settings.values[i] = parameters[i].maximum;
    }
    EffectState state{};
    InitEffect(state, settings, channels, 48000);
    const bool changes = EffectChangesAudio(state);
    ReleaseEffect(state);
    if (changes) return true;
  }
  return false;
}

bool HasTextParameter(const EffectFamily& family) {
  for (std::size_t i = 0; family.syntax != nullptr && i < family.info.parameter_count; ++i) {
    if (family.syntax[i].text) return true;
  }
  return false;
}

std::vector<PluginVariant> MakeVariants() {
  std::vector<PluginVariant> variants;
  for (const EffectFamily* row : EffectFamilies()) {
    const EffectFamily& family = *row;
    // A plugin runs stages in place, a block at a time, as floats a host may write at any depth:
    // no stage that reshapes the stream or measures it whole, nor one that quantises for an
    // integer output, nor one set by text, which a control port cannot carry. Stages with a
    // look-ahead run in place and report it as latency.
    if (KindOf(family) == EffectKind::None || family.ops.process == nullptr ||
        family.ops.flow != nullptr || family.measuring.needsMeasurement != nullptr ||
        family.ops.followOutput != nullptr || HasTextParameter(family)) {
      continue;
    }
    for (const uint32_t channels : {1u, 2u}) {
      if (!ChangesAudio(family, channels)) continue;
      const bool stereo = channels == 2;
      const std::string name = family.info.name;
      const std::string label = name + (stereo ? "-stereo" : "-mono");
      const auto id =
          kFirstLadspaId + 2 * static_cast<unsigned long>(KindOf(family)) + channels - 1;
      variants.push_back({&family, channels, label, kUriPrefix + label,
                          "wavfx " + name + (stereo ? " (stereo)" : " (mono)"), id});
    }
  }
  return variants;
}

}  // namespace

std::span<const PluginVariant> PluginVariants() {
  static const std::vector<PluginVariant> variants = MakeVariants();
  return variants;
}

std::string AudioPortSymbol(const PluginVariant& variant, bool output, uint32_t channel) {
  const std::string symbol = output ? "out" : "in";
  if (variant.channels == 1) return symbol;
  return symbol + (channel == 0 ? "_l" : "_r");
}

std::string AudioPortName(const PluginVariant& variant, bool output, uint32_t channel) {
  if (variant.channels == 1) return output ? "Out" : "In";
  return std::string(channel == 0 ? "Left" : "Right") + (output ? " out" : " in");
}

std::string ControlPortName(const wavfx_parameter_info& parameter, bool withUnit) {
  std::string name = parameter.name;
  if (!name.empty() && name[0] >= 'a' && name[0] <= 'z') name[0] = static_cast<char>(name[0] - 32);
  if (withUnit && parameter.unit[0] != '\0') name += std::string(" (") + parameter.unit + ")";
  return name;
}

bool IsLogarithmic(const wavfx_parameter_info& parameter) {
  return std::string_view(parameter.unit) == "Hz" && parameter.minimum > 0;
}

}  // namespace wavfx
