// What the WebAssembly package needs beyond wavfx.h: the registry with each parameter's syntax as
// JSON, integer samples of any depth, and single stages whose values change between blocks
// without the heap (the AudioWorklet's parameters, as the plugins retune theirs).
#include <sys/types.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include "engine/chain_flow.h"
#include "engine/chain_text.h"
#include "engine/retune.h"
#include "entry/effect_handle.h"

namespace {

void AppendString(std::string& out, const char* text) {
  out += '"';
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c == '"' || *c == '\\') out += '\\';
    out += *c;
  }
  out += '"';
}

void AppendNumber(std::string& out, double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", value);
  out += text;
}

std::string EffectsJson() {
  std::string out = "[";
  for (const wavfx::EffectFamily* family : wavfx::EffectFamilies()) {
    const wavfx_effect_info& info = family->info;
    if (out.size() > 1) out += ',';
    out += "{\"name\":";
    AppendString(out, info.name);
    out += ",\"aliases\":[";
    for (std::size_t a = 0; a < info.alias_count; ++a) {
      if (a > 0) out += ',';
      AppendString(out, info.aliases[a]);
    }
    out += "],\"description\":";
    AppendString(out, info.description);
    out += ",\"parameters\":[";
    for (std::size_t p = 0; p < info.parameter_count; ++p) {
      const wavfx_parameter_info& parameter = info.parameters[p];
      const wavfx::ParameterSyntax* syntax = family->syntax ? &family->syntax[p] : nullptr;
      out += p > 0 ? ",{\"name\":" : "{\"name\":";
      AppendString(out, parameter.name);
      out += ",\"unit\":";
      AppendString(out, parameter.unit);
      out += ",\"default\":";
      AppendNumber(out, parameter.default_value);
      out += ",\"min\":";
      AppendNumber(out, parameter.minimum);
      out += ",\"max\":";
      AppendNumber(out, parameter.maximum);
      out += parameter.integer ? ",\"integer\":true,\"choices\":" : ",\"integer\":false,\"choices\":";
      if (syntax != nullptr && syntax->choices != nullptr) {
        out += '[';
        for (std::size_t i = 0; i < syntax->choiceCount; ++i) {
          if (i > 0) out += ',';
          AppendString(out, syntax->choices[i]);
        }
        out += ']';
      } else {
        out += "null";
      }
      out += syntax != nullptr && syntax->time ? ",\"time\":true" : ",\"time\":false";
      out += syntax != nullptr && syntax->text ? ",\"text\":true" : ",\"text\":false";
      out += ",\"description\":";
      AppendString(out, parameter.description);
      out += '}';
    }
    out += "]}";
  }
  return out + "]";
}

}  // namespace

// One in-place stage of a chain, tunable between blocks.
struct wavfx_web_stage {
  wavfx::TunableChain tunable;
  wavfx::EffectSettings settings;
};

extern "C" {

#ifdef __EMSCRIPTEN__
// Emscripten's C library declares copy_file_range without defining it: the file job then reads
// and writes, as it does where the kernel cannot copy. (Native builds link this file into
// bench/package_job.cpp and keep the C library's.)
ssize_t copy_file_range(int, off_t*, int, off_t*, size_t, unsigned) {
  errno = ENOSYS;
  return -1;
}
#endif

// The registry as JSON: [{name, aliases, description, parameters: [{name, unit, default, min,
// max, integer, choices, time, text, description}]}]. Static; valid for the life of the module.
WAVFX_API const char* wavfx_web_effects_json() {
  static const std::string json = EffectsJson();
  return json.c_str();
}

// Integer samples of `bits` bits (8 to 32) through the chain in place, as a file job of that depth
// converts them. Returns the samples clamped, or -1 for a chain that reshapes.
WAVFX_API int32_t wavfx_web_process_ints(wavfx_effect* effect, int32_t* samples, int32_t frames,
                                         int32_t bits) {
  if (effect == nullptr || frames < 0 || bits < 8 || bits > 32 || wavfx_effect_reshapes(effect))
    return -1;
  return static_cast<int32_t>(
      wavfx::ProcessChainInts(effect->chain, samples, static_cast<std::size_t>(frames), bits));
}

// 1 when the chain's text reshapes the stream (whether or not it is complete: norm and loudnorm
// before their measurement), else 0.
WAVFX_API int32_t wavfx_web_chain_reshapes(const char* chain) {
  auto recipe = std::make_unique<wavfx::ChainRecipe>();
  wavfx::ChainError error;
  return chain != nullptr && wavfx::ParseChain(chain, *recipe, error) &&
         wavfx::RecipeReshapes(*recipe);
}

// Channel c's frames at planar + c * stride, interleaved into `interleaved`, and back.
WAVFX_API void wavfx_web_interleave(const float* planar, uint32_t stride, uint32_t channels,
                                    uint32_t frames, float* interleaved) {
  for (uint32_t c = 0; c < channels; ++c) {
    const float* from = planar + static_cast<std::size_t>(c) * stride;
    for (uint32_t i = 0; i < frames; ++i)
      interleaved[static_cast<std::size_t>(i) * channels + c] = from[i];
  }
}

WAVFX_API void wavfx_web_deinterleave(const float* interleaved, uint32_t channels, uint32_t frames,
                                      float* planar, uint32_t stride) {
  for (uint32_t c = 0; c < channels; ++c) {
    float* to = planar + static_cast<std::size_t>(c) * stride;
    for (uint32_t i = 0; i < frames; ++i)
      to[i] = interleaved[static_cast<std::size_t>(i) * channels + c];
  }
}

// The number of stages in a chain's text; 0 when it is refused.
WAVFX_API uint32_t wavfx_web_stage_count(const char* chain) {
  auto recipe = std::make_unique<wavfx::ChainRecipe>();
  wavfx::ChainError error;
  return chain != nullptr && wavfx::ParseChain(chain, *recipe, error) ? recipe->count : 0;
}

// Stage `index` of a chain's text (checked by wavfx_chain_create first) for a stream; NULL when
// there is no such stage, it does not work in place, or memory is short.
WAVFX_API wavfx_web_stage* wavfx_web_stage_create(const char* chain, uint32_t index,
                                                  uint32_t channels, uint32_t sampleRate) {
  auto recipe = std::make_unique<wavfx::ChainRecipe>();
  wavfx::ChainError error;
  if (chain == nullptr || !wavfx::ParseChain(chain, *recipe, error) || index >= recipe->count)
    return nullptr;
  const wavfx::EffectSettings& settings = recipe->stages[index];
  if (wavfx::Reshapes(wavfx::FamilyOf(settings.kind))) return nullptr;
  auto* stage = new (std::nothrow) wavfx_web_stage{};
  if (stage == nullptr) return nullptr;
  stage->settings = settings;
  if (!wavfx::InitTunableChain(stage->tunable, settings, channels, sampleRate)) {
    wavfx::ReleaseTunableChain(stage->tunable);
    delete stage;
    return nullptr;
  }
  return stage;
}

// The stage's family, as an index of wavfx_effect_info_at.
WAVFX_API int32_t wavfx_web_stage_family(const wavfx_web_stage* stage) {
  return static_cast<int32_t>(stage->settings.kind);
}

// The stage's current value of parameter `parameter`.
WAVFX_API double wavfx_web_stage_value(const wavfx_web_stage* stage, uint32_t parameter) {
  return parameter < wavfx::kMaxParameters ? stage->settings.values[parameter] : 0.0;
}

// Gives parameter `parameter` a new value (clamped to its range, rounded when whole), keeping what
// runs on. Returns 1 when applied, 0 when the stage could not take it (it keeps its values).
WAVFX_API int32_t wavfx_web_stage_set(wavfx_web_stage* stage, uint32_t parameter, double value) {
  const auto parameters = wavfx::ParametersOf(wavfx::FamilyOf(stage->settings.kind));
  if (parameter >= parameters.size() || !(value == value)) return 0;
  const wavfx_parameter_info& info = parameters[parameter];
  value = value < info.minimum ? info.minimum : (value > info.maximum ? info.maximum : value);
  if (info.integer != 0) value = std::floor(value + 0.5);
  wavfx::EffectSettings next = stage->settings;
  next.values[parameter] = value;
  next.samples &= ~(1u << parameter);
  if (!wavfx::RetuneChain(stage->tunable, next)) return 0;
  stage->settings = next;
  return 1;
}

// Interleaved floats in place; NaN and infinities read as 0.
WAVFX_API void wavfx_web_stage_process(wavfx_web_stage* stage, float* samples, int32_t frames) {
  if (frames > 0) wavfx::ProcessChainFloats(stage->tunable.chain, samples,
                                            static_cast<std::size_t>(frames));
}

WAVFX_API void wavfx_web_stage_reset(wavfx_web_stage* stage) {
  wavfx::RestartChain(stage->tunable);
}

WAVFX_API void wavfx_web_stage_destroy(wavfx_web_stage* stage) {
  if (stage == nullptr) return;
  wavfx::ReleaseTunableChain(stage->tunable);
  delete stage;
}

}  // extern "C"
