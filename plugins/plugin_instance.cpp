#include "plugin_instance.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "engine/chain_stages.h"
#include "host_buffers.h"

namespace wavfx {
namespace {

void ApplyControls(PluginInstance& instance) {
  const auto parameters = ParametersOf(*instance.variant->family);
  bool moved = false;
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    const float* port = instance.controls[i];
    const float value = port != nullptr ? *port : static_cast<float>(parameters[i].default_value);
    moved = moved || !(value == instance.ports[i]);
    instance.ports[i] = value;
  }
  if (!moved) return;
  EffectSettings next = instance.settings;
  for (std::size_t i = 0; i < parameters.size(); ++i)
    next.values[i] = ParameterValue(parameters[i], instance.ports[i]);
  if (std::memcmp(next.values, instance.settings.values, sizeof next.values) != 0 &&
      RetuneChain(instance.tunable, next)) {
    instance.settings = next;
  }
}

// A chain that changes nothing leaves every value as it is, NaN included.
void RunMono(PluginInstance& instance, uint32_t done, uint32_t count) {
  const float* in = instance.inputs[0] + done;
  float* out = instance.outputs[0] + done;
  EffectChain& chain = instance.tunable.chain;
  if (!ChainChangesAudio(chain)) {
    if (in != out) std::memmove(out, in, count * sizeof(float));
    return;
  }
  CopyFinite(in, out, count);
  RunChainStages(chain, out, count);
}

void RunStereo(PluginInstance& instance, uint32_t done, uint32_t count) {
  EffectChain& chain = instance.tunable.chain;
  if (!ChainChangesAudio(chain)) {
    for (uint32_t c = 0; c < 2; ++c) {
      const float* in = instance.inputs[c] + done;
      float* out = instance.outputs[c] + done;
      if (in != out) std::memmove(out, in, count * sizeof(float));
    }
    return;
  }
  InterleaveFinite(instance.inputs[0] + done, instance.inputs[1] + done, instance.scratch, count);
  RunChainStages(chain, instance.scratch, count);
  Deinterleave(instance.scratch, instance.outputs[0] + done, instance.outputs[1] + done, count);
}

}  // namespace

double ParameterValue(const wavfx_parameter_info& parameter, float port) {
  if (std::isnan(port) || port == static_cast<float>(parameter.default_value)) {
    return parameter.default_value;
  }
  const double value = std::clamp(static_cast<double>(port), parameter.minimum, parameter.maximum);
  return parameter.integer != 0 ? std::floor(value + 0.5) : value;
}

PluginInstance* CreatePluginInstance(const PluginVariant& variant, double sampleRate) {
  if (!(sampleRate >= 1.0 && sampleRate <= 2147483647.0)) return nullptr;
  auto* instance = new (std::nothrow) PluginInstance{};
  if (instance == nullptr) return nullptr;
  instance->variant = &variant;
  instance->settings = DefaultSettings(*variant.family);
  const auto parameters = ParametersOf(*variant.family);
  for (std::size_t i = 0; i < parameters.size(); ++i)
    instance->ports[i] = static_cast<float>(parameters[i].default_value);
  const auto rate = static_cast<uint32_t>(std::floor(sampleRate + 0.5));
  if (!InitTunableChain(instance->tunable, instance->settings, variant.channels, rate)) {
    DestroyPluginInstance(instance);
    return nullptr;
  }
  return instance;
}

void ConnectPluginPort(PluginInstance& instance, uint32_t port, void* data) {
  const PluginVariant& variant = *instance.variant;
  auto* values = static_cast<float*>(data);
  if (port < AudioOutputPort(variant, 0)) {
    instance.inputs[port] = values;
  } else if (port < ControlPort(variant, 0)) {
    instance.outputs[port - AudioOutputPort(variant, 0)] = values;
  } else if (port < LatencyPort(variant)) {
    instance.controls[port - ControlPort(variant, 0)] = values;
  } else if (port == LatencyPort(variant)) {
    instance.latency = values;
  }
}

void ActivatePluginInstance(PluginInstance& instance) {
  RestartChain(instance.tunable);
}

void RunPluginInstance(PluginInstance& instance, uint32_t frames) {
  ApplyControls(instance);
  if (instance.latency != nullptr)
    *instance.latency = static_cast<float>(EffectDelay(instance.tunable.chain.stages[0]));
  const uint32_t channels = instance.variant->channels;
  for (uint32_t c = 0; c < channels; ++c) {
    if (instance.inputs[c] == nullptr || instance.outputs[c] == nullptr) return;
  }
  for (uint32_t done = 0; done < frames;) {
    const uint32_t count = std::min(kScratchFrames, frames - done);
    if (channels == 1) {
      RunMono(instance, done, count);
    } else {
      RunStereo(instance, done, count);
    }
    done += count;
  }
}

void DestroyPluginInstance(PluginInstance* instance) {
  if (instance == nullptr) return;
  ReleaseTunableChain(instance->tunable);
  delete instance;
}

}  // namespace wavfx
