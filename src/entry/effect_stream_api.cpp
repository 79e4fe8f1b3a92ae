#include <cstddef>
#include <new>

#include "engine/effect.h"
#include "wavfx/wavfx.h"

struct wavfx_effect {
  wavfx::EffectState state;
};

namespace wavfx {
namespace {

bool IsEffectName(const char* name) {
  for (const EffectName& entry : EffectNames()) {
    if (EffectNameEquals(name, entry.literal)) return true;
  }
  return false;
}

// An effect whose delay line could not be allocated stays silent about it and passes the audio
// through; an instance must not.
bool HasItsBuffers(const EffectState& state) {
  switch (state.kind) {
    case EffectKind::Echo:
      return state.echo.line.buffer != nullptr;
    case EffectKind::Reverb:
      return state.reverb.firstCombs[0].buffer != nullptr;
    case EffectKind::Flanger:
      return state.flanger.line.buffer != nullptr;
    case EffectKind::Chorus:
      return state.chorus.line.buffer != nullptr;
    default:
      return true;
  }
}

}  // namespace
}  // namespace wavfx

extern "C" WAVFX_API const char* wavfx_version(void) noexcept {
  return WAVFX_VERSION;
}

extern "C" WAVFX_API wavfx_effect* wavfx_effect_create(const char* name, uint32_t channels,
                                                       uint32_t sample_rate) noexcept {
  if (name == nullptr || channels == 0 || sample_rate == 0 || !wavfx::IsEffectName(name)) {
    return nullptr;
  }
  auto* effect = new (std::nothrow) wavfx_effect{};
  if (effect == nullptr) return nullptr;
  wavfx::InitEffect(effect->state, name, channels, sample_rate);
  if (!wavfx::HasItsBuffers(effect->state)) {
    wavfx::ReleaseEffect(effect->state);
    delete effect;
    return nullptr;
  }
  return effect;
}

extern "C" WAVFX_API int32_t wavfx_effect_process(wavfx_effect* effect, int16_t* samples,
                                                  int32_t frames) noexcept {
  if (effect == nullptr) return WAVFX_ERROR_NULL_EFFECT;
  if (frames < 0) return WAVFX_ERROR_NEGATIVE_FRAMES;
  if (frames == 0) return WAVFX_OK;
  if (samples == nullptr) return WAVFX_ERROR_NULL_SAMPLES;
  wavfx::ProcessEffect(effect->state, samples, frames);
  return WAVFX_OK;
}

extern "C" WAVFX_API void wavfx_effect_destroy(wavfx_effect* effect) noexcept {
  if (effect == nullptr) return;
  wavfx::ReleaseEffect(effect->state);
  delete effect;
}

extern "C" WAVFX_API size_t wavfx_effect_name_count(void) noexcept {
  return wavfx::EffectNames().size();
}

extern "C" WAVFX_API const char* wavfx_effect_name(size_t index) noexcept {
  const auto names = wavfx::EffectNames();
  return index < names.size() ? names[index].literal : nullptr;
}

extern "C" WAVFX_API const char* wavfx_effect_name_description(size_t index) noexcept {
  const auto names = wavfx::EffectNames();
  return index < names.size() ? names[index].description : nullptr;
}

extern "C" WAVFX_API int wavfx_effect_name_is_alias(size_t index) noexcept {
  const auto names = wavfx::EffectNames();
  return index > 0 && index < names.size() && names[index].kind == names[index - 1].kind ? 1 : 0;
}
