#include <ladspa.h>

#include <cmath>
#include <deque>
#include <string>
#include <vector>

#include "plugin_instance.h"

namespace wavfx {
namespace {

// A descriptor and the arrays it points into.
struct LadspaPlugin {
  LADSPA_Descriptor descriptor;
  std::vector<LADSPA_PortDescriptor> kinds;
  std::vector<std::string> names;
  std::vector<const char*> namePointers;
  std::vector<LADSPA_PortRangeHint> hints;
};

const PluginVariant& VariantOf(const LADSPA_Descriptor* descriptor) {
  return *static_cast<const PluginVariant*>(descriptor->ImplementationData);
}

PluginInstance& InstanceOf(LADSPA_Handle handle) {
  return *static_cast<PluginInstance*>(handle);
}

LADSPA_Handle Instantiate(const LADSPA_Descriptor* descriptor, unsigned long sampleRate) {
  return CreatePluginInstance(VariantOf(descriptor), static_cast<double>(sampleRate));
}

void Connect(LADSPA_Handle handle, unsigned long port, LADSPA_Data* data) {
  ConnectPluginPort(InstanceOf(handle), static_cast<uint32_t>(port), data);
}

void Activate(LADSPA_Handle handle) {
  ActivatePluginInstance(InstanceOf(handle));
}

void Run(LADSPA_Handle handle, unsigned long frames) {
  // Hosts pass at most a few thousand frames; longer runs go in pieces that fit 32 bits.
  while (frames > 0) {
    const unsigned long count = frames < 0x40000000ul ? frames : 0x40000000ul;
    RunPluginInstance(InstanceOf(handle), static_cast<uint32_t>(count));
    frames -= count;
  }
}

void Cleanup(LADSPA_Handle handle) {
  DestroyPluginInstance(static_cast<PluginInstance*>(handle));
}

// LADSPA hints a default only as one of a few points of the range: the registry's default when
// it is one of them, otherwise the nearest, on the port's scale.
LADSPA_PortRangeHintDescriptor DefaultHint(const wavfx_parameter_info& parameter) {
  const double low = parameter.minimum;
  const double high = parameter.maximum;
  const bool logarithmic = IsLogarithmic(parameter);
  auto between = [&](double weight) {
    return logarithmic ? std::exp(std::log(low) * (1 - weight) + std::log(high) * weight)
                       : low * (1 - weight) + high * weight;
  };
  const struct {
    LADSPA_PortRangeHintDescriptor hint;
    double value;
  } points[] = {{LADSPA_HINT_DEFAULT_MINIMUM, low},
                {LADSPA_HINT_DEFAULT_MAXIMUM, high},
                {LADSPA_HINT_DEFAULT_0, 0.0},
                {LADSPA_HINT_DEFAULT_1, 1.0},
                {LADSPA_HINT_DEFAULT_100, 100.0},
                {LADSPA_HINT_DEFAULT_440, 440.0},
                {LADSPA_HINT_DEFAULT_LOW, between(0.25)},
                {LADSPA_HINT_DEFAULT_MIDDLE, between(0.5)},
                {LADSPA_HINT_DEFAULT_HIGH, between(0.75)}};
  auto scale = [&](double value) { return logarithmic ? std::log(value) : value; };
  LADSPA_PortRangeHintDescriptor best = LADSPA_HINT_DEFAULT_NONE;
  double bestDistance = INFINITY;
  for (const auto& point : points) {
    if (point.value < low || point.value > high) continue;
    if (point.value == parameter.default_value) return point.hint;
    const double distance = std::fabs(scale(point.value) - scale(parameter.default_value));
    if (distance < bestDistance) {
      bestDistance = distance;
      best = point.hint;
    }
  }
  return best;
}

void AddPort(LadspaPlugin& plugin, LADSPA_PortDescriptor kind, std::string name,
             LADSPA_PortRangeHint hint) {
  plugin.kinds.push_back(kind);
  plugin.names.push_back(std::move(name));
  plugin.hints.push_back(hint);
}

void Describe(LadspaPlugin& plugin, const PluginVariant& variant) {
  for (const bool output : {false, true}) {
    for (uint32_t c = 0; c < variant.channels; ++c) {
      AddPort(plugin, LADSPA_PORT_AUDIO | (output ? LADSPA_PORT_OUTPUT : LADSPA_PORT_INPUT),
              AudioPortName(variant, output, c), {0, 0.0f, 0.0f});
    }
  }
  for (const wavfx_parameter_info& parameter : ParametersOf(*variant.family)) {
    LADSPA_PortRangeHintDescriptor hint =
        LADSPA_HINT_BOUNDED_BELOW | LADSPA_HINT_BOUNDED_ABOVE | DefaultHint(parameter);
    if (parameter.integer != 0) hint |= LADSPA_HINT_INTEGER;
    if (IsLogarithmic(parameter)) hint |= LADSPA_HINT_LOGARITHMIC;
    AddPort(plugin, LADSPA_PORT_CONTROL | LADSPA_PORT_INPUT, ControlPortName(parameter, true),
            {hint, static_cast<float>(parameter.minimum), static_cast<float>(parameter.maximum)});
  }
  AddPort(plugin, LADSPA_PORT_CONTROL | LADSPA_PORT_OUTPUT, "latency", {0, 0.0f, 0.0f});
  for (const std::string& name : plugin.names)
    plugin.namePointers.push_back(name.c_str());

  LADSPA_Descriptor& d = plugin.descriptor;
  d = LADSPA_Descriptor{};
  d.UniqueID = variant.ladspaId;
  d.Label = variant.label.c_str();
  d.Properties = LADSPA_PROPERTY_HARD_RT_CAPABLE;
  d.Name = variant.name.c_str();
  d.Maker = "wavfx";
  d.Copyright = "wavfx developers";
  d.PortCount = plugin.kinds.size();
  d.PortDescriptors = plugin.kinds.data();
  d.PortNames = plugin.namePointers.data();
  d.PortRangeHints = plugin.hints.data();
  d.ImplementationData = const_cast<PluginVariant*>(&variant);
  d.instantiate = &Instantiate;
  d.connect_port = &Connect;
  d.activate = &Activate;
  d.run = &Run;
  d.cleanup = &Cleanup;
}

const std::deque<LadspaPlugin>& Plugins() {
  static const std::deque<LadspaPlugin> plugins = [] {
    std::deque<LadspaPlugin> made;
    for (const PluginVariant& variant : PluginVariants())
      Describe(made.emplace_back(), variant);
    return made;
  }();
  return plugins;
}

}  // namespace
}  // namespace wavfx

extern "C" __attribute__((visibility("default"))) const LADSPA_Descriptor* ladspa_descriptor(
    unsigned long index) {
  const auto& plugins = wavfx::Plugins();
  return index < plugins.size() ? &plugins[index].descriptor : nullptr;
}
