// wavfx for C++: an owning, move-only handle over the streaming effects and chains of wavfx.h.
// Needs C++17; the std::span overload of Process needs C++20. Nothing here throws except
// ListEffects, which allocates.
#ifndef WAVFX_WAVFX_HPP
#define WAVFX_WAVFX_HPP

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>
#if __cplusplus >= 202002L && __has_include(<span>)
#include <span>
#define WAVFX_HAS_SPAN 1
#endif

#include "wavfx.h"

namespace wavfx {

// One effect instance for one stream of interleaved 16-bit samples. An Effect is empty when
// wavfx_effect_create refused it (see wavfx.h) and after it was moved from; test it with
// `if (effect)`. Processing an empty Effect returns WAVFX_ERROR_NULL_EFFECT.
class Effect {
 public:
  Effect() noexcept = default;
  Effect(const char* name, uint32_t channels, uint32_t sampleRate) noexcept
      : handle_(wavfx_effect_create(name, channels, sampleRate)),
        channels_(handle_ != nullptr ? channels : 0) {}
  // A chain in the command line's syntax (see wavfx_chain_create); `error`, when given, says why
  // the Effect is empty.
  static Effect FromChain(const char* chain, uint32_t channels, uint32_t sampleRate,
                          wavfx_error* error = nullptr) noexcept {
    Effect effect;
    effect.handle_ = wavfx_chain_create(chain, channels, sampleRate, error);
    effect.channels_ = effect.handle_ != nullptr ? channels : 0;
    return effect;
  }
  Effect(Effect&& other) noexcept
      : handle_(std::exchange(other.handle_, nullptr)),
        channels_(std::exchange(other.channels_, 0u)) {}
  Effect& operator=(Effect&& other) noexcept {
    if (this != &other) {
      wavfx_effect_destroy(handle_);
      handle_ = std::exchange(other.handle_, nullptr);
      channels_ = std::exchange(other.channels_, 0u);
    }
    return *this;
  }
  Effect(const Effect&) = delete;
  Effect& operator=(const Effect&) = delete;
  ~Effect() { wavfx_effect_destroy(handle_); }

  explicit operator bool() const noexcept { return handle_ != nullptr; }
  // 0 when empty.
  uint32_t Channels() const noexcept { return channels_; }
  wavfx_effect* Get() const noexcept { return handle_; }

  // Processes `frames` frames in place; the result of wavfx_effect_process.
  int32_t Process(int16_t* samples, int32_t frames) noexcept {
    return wavfx_effect_process(handle_, samples, frames);
  }

  // Processes `frames` frames of floats in place; the result of wavfx_effect_process_float.
  int32_t Process(float* samples, int32_t frames) noexcept {
    return wavfx_effect_process_float(handle_, samples, frames);
  }

  // Starts the stream over; the result of wavfx_effect_reset.
  int32_t Reset() noexcept { return wavfx_effect_reset(handle_); }

#ifdef WAVFX_HAS_SPAN
  // Processes whole frames of interleaved samples in place, however many. A span that does not
  // hold whole frames is left untouched: WAVFX_ERROR_PARTIAL_FRAME.
  int32_t Process(std::span<int16_t> samples) noexcept {
    return ProcessSpan(samples);
  }
  int32_t Process(std::span<float> samples) noexcept {
    return ProcessSpan(samples);
  }
#endif

 private:
#ifdef WAVFX_HAS_SPAN
  template <class Sample>
  int32_t ProcessSpan(std::span<Sample> samples) noexcept {
    if (handle_ == nullptr) return WAVFX_ERROR_NULL_EFFECT;
    if (samples.size() % channels_ != 0) return WAVFX_ERROR_PARTIAL_FRAME;
    constexpr std::size_t kMaxFramesPerCall = INT32_MAX;
    Sample* at = samples.data();
    for (std::size_t frames = samples.size() / channels_; frames > 0;) {
      const std::size_t count = frames < kMaxFramesPerCall ? frames : kMaxFramesPerCall;
      const int32_t result = Process(at, static_cast<int32_t>(count));
      if (result != WAVFX_OK) return result;
      at += count * channels_;
      frames -= count;
    }
    return WAVFX_OK;
  }
#endif

  wavfx_effect* handle_ = nullptr;
  uint32_t channels_ = 0;
};

// One accepted effect name; an alias selects the same effect as the name before it.
struct EffectInfo {
  const char* name;
  const char* description;
  bool alias;
};

// Every accepted effect name, in the order of wavfx_effect_name.
inline std::vector<EffectInfo> ListEffects() {
  std::vector<EffectInfo> effects;
  const std::size_t count = wavfx_effect_name_count();
  effects.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    effects.push_back({wavfx_effect_name(i), wavfx_effect_name_description(i),
                       wavfx_effect_name_is_alias(i) != 0});
  }
  return effects;
}

// Every effect family with its parameters, as the registry lists them.
inline std::vector<const wavfx_effect_info*> ListFamilies() {
  std::vector<const wavfx_effect_info*> families;
  for (std::size_t i = 0; i < wavfx_effect_info_count(); ++i) {
    families.push_back(wavfx_effect_info_at(i));
  }
  return families;
}

inline const char* Version() noexcept {
  return wavfx_version();
}

}  // namespace wavfx

#endif
