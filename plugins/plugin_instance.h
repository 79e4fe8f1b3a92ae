#pragma once

#include <cstdint>

#include "engine/retune.h"
#include "plugin_variants.h"

namespace wavfx {

// Frames of a stereo stream interleaved at a time: 2 KiB, which stays in the first-level cache.
constexpr uint32_t kScratchFrames = 256;

// What both plugin standards run: host buffers in and out, the stage, the values it runs with.
struct PluginInstance {
  const PluginVariant* variant;
  TunableChain tunable;
  EffectSettings settings;
  float ports[kMaxParameters];  // the control values last read
  const float* inputs[2];
  float* outputs[2];
  const float* controls[kMaxParameters];
  float* latency;
  alignas(64) float scratch[2 * kScratchFrames];
};

// The parameter's value for a control port's: clamped to the range and rounded where it must
// be whole; the registry's default for NaN and for that default rounded to single precision.
double ParameterValue(const wavfx_parameter_info& parameter, float port);

// Null when the rate is not 1 to 2^31 - 1 or memory is short.
PluginInstance* CreatePluginInstance(const PluginVariant& variant, double sampleRate);
void ConnectPluginPort(PluginInstance& instance, uint32_t port, void* data);
// Starts the stage over: empty delay lines, memories and phases at their start.
void ActivatePluginInstance(PluginInstance& instance);
// Takes the control values, then processes `frames` frames; inputs may be the outputs. Neither
// allocates nor locks.
void RunPluginInstance(PluginInstance& instance, uint32_t frames);
void DestroyPluginInstance(PluginInstance* instance);

}  // namespace wavfx
