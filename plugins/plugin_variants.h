#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "engine/registry.h"

namespace wavfx {

// LV2 URIs are kUriPrefix followed by the label.
inline constexpr const char* kUriPrefix = "urn:wavfx:";

// LADSPA IDs are kFirstLadspaId + 2 * kind, plus 1 for stereo: kFirstLadspaId to
// kFirstLadspaId + 255 belong to wavfx.
inline constexpr unsigned long kFirstLadspaId = 0x5A7F00;

// One plugin: an effect family on a mono or a stereo stream, the stream's channels being the
// instance's.
struct PluginVariant {
  const EffectFamily* family;
  uint32_t channels;
  std::string label;  // "echo-mono": the LADSPA label, the end of the URI and the TTL's name
  std::string uri;
  std::string name;  // "wavfx echo (mono)"
  unsigned long ladspaId;
};

// Every in-place family but none and the dither, in the registry's order: mono where the effect
// changes mono audio, and stereo.
std::span<const PluginVariant> PluginVariants();

// Ports in index order: the audio inputs, the audio outputs, a control input per parameter in
// the registry's order, and the latency output.
inline uint32_t AudioInputPort(uint32_t channel) {
  return channel;
}
inline uint32_t AudioOutputPort(const PluginVariant& variant, uint32_t channel) {
  return variant.channels + channel;
}
inline uint32_t ControlPort(const PluginVariant& variant, std::size_t parameter) {
  return 2 * variant.channels + static_cast<uint32_t>(parameter);
}
inline uint32_t LatencyPort(const PluginVariant& variant) {
  return ControlPort(variant, variant.family->info.parameter_count);
}
inline uint32_t PortCount(const PluginVariant& variant) {
  return LatencyPort(variant) + 1;
}

// "in" and "out" for mono, "in_l", "in_r", "out_l" and "out_r" for stereo; the names "In",
// "Left in" and so on.
std::string AudioPortSymbol(const PluginVariant& variant, bool output, uint32_t channel);
std::string AudioPortName(const PluginVariant& variant, bool output, uint32_t channel);

// The parameter's name with a capital, and its unit: "Delay (ms)".
std::string ControlPortName(const wavfx_parameter_info& parameter, bool withUnit);

// Frequencies whose range starts above 0 are shown on a logarithmic scale.
bool IsLogarithmic(const wavfx_parameter_info& parameter);

}  // namespace wavfx
