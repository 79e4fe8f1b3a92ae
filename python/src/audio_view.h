#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

namespace wavfx::python {

enum class SampleType { Int16, Int32, Float32, Float64 };

// Where an array's samples lie: channel c of frame f is at data + c * channelStride +
// f * frameStride, strides in bytes, the array aligned for its type.
struct AudioView {
  SampleType type;
  std::size_t channels;
  std::size_t frames;
  char* data;
  std::ptrdiff_t channelStride;
  std::ptrdiff_t frameStride;
};

// Exact IEEE rounding to single precision, without a conversion the language leaves undefined.
inline float Narrow(double x) {
  constexpr double kMax = std::numeric_limits<float>::max();
  constexpr double kHalfwayToInfinity = 0x1.ffffffp+127;
  if (std::fabs(x) <= kMax) return static_cast<float>(x);
  if (std::isnan(x)) return std::numeric_limits<float>::quiet_NaN();
  const float limit = std::fabs(x) < kHalfwayToInfinity ? std::numeric_limits<float>::max()
                                                        : std::numeric_limits<float>::infinity();
  return x < 0 ? -limit : limit;
}

// Calls `f` with a value of the C++ type that holds samples of `type`.
template <typename F>
decltype(auto) WithType(SampleType type, F&& f) {
  switch (type) {
    case SampleType::Int16:
      return f(int16_t{});
    case SampleType::Int32:
      return f(int32_t{});
    case SampleType::Float32:
      return f(float{});
    case SampleType::Float64:
      break;
  }
  return f(double{});
}

template <typename To, typename From>
To Convert(From x) {
  if constexpr (std::is_same_v<To, float> && std::is_same_v<From, double>) {
    return Narrow(x);
  } else {
    return static_cast<To>(x);
  }
}

inline bool Interleaved(const AudioView& view, std::size_t size) {
  const auto width = static_cast<std::ptrdiff_t>(size);
  return view.frameStride == static_cast<std::ptrdiff_t>(view.channels) * width &&
         (view.channels == 1 || view.channelStride == width);
}

// Two rows to interleaved frames and back, in groups that compilers turn into vector shuffles.
constexpr std::size_t kShuffleGroup = 8;

template <typename T>
void Interleave2(const T* __restrict left, const T* __restrict right, T* __restrict frames,
                 std::size_t count) {
  std::size_t f = 0;
  for (; f + kShuffleGroup <= count; f += kShuffleGroup) {
    for (std::size_t k = f; k < f + kShuffleGroup; ++k) {
      frames[2 * k] = left[k];
      frames[2 * k + 1] = right[k];
    }
  }
  for (; f < count; ++f) {
    frames[2 * f] = left[f];
    frames[2 * f + 1] = right[f];
  }
}

template <typename T>
void Deinterleave2(const T* __restrict frames, T* __restrict left, T* __restrict right,
                   std::size_t count) {
  std::size_t f = 0;
  for (; f + kShuffleGroup <= count; f += kShuffleGroup) {
    for (std::size_t k = f; k < f + kShuffleGroup; ++k) {
      left[k] = frames[2 * k];
      right[k] = frames[2 * k + 1];
    }
  }
  for (; f < count; ++f) {
    left[f] = frames[2 * f];
    right[f] = frames[2 * f + 1];
  }
}

// Copies frames [first, first + count) of the view into `block`, interleaved.
template <typename Stored, typename Held>
void Gather(const AudioView& view, std::size_t first, std::size_t count, Held* block) {
  const std::size_t channels = view.channels;
  const char* start = view.data + static_cast<std::ptrdiff_t>(first) * view.frameStride;
  if (Interleaved(view, sizeof(Stored))) {
    if constexpr (std::is_same_v<Stored, Held>) {
      std::memcpy(block, start, count * channels * sizeof(Held));
    } else {
      const auto* samples = reinterpret_cast<const Stored*>(start);
      for (std::size_t i = 0; i < count * channels; ++i)
        block[i] = Convert<Held>(samples[i]);
    }
    return;
  }
  const bool rows = view.frameStride == static_cast<std::ptrdiff_t>(sizeof(Stored));
  if constexpr (std::is_same_v<Stored, Held>) {
    if (rows && channels == 2) {
      const auto* left = reinterpret_cast<const Stored*>(start);
      return Interleave2(left, reinterpret_cast<const Stored*>(start + view.channelStride), block,
                         count);
    }
  }
  for (std::size_t c = 0; c < channels; ++c) {
    const char* row = start + static_cast<std::ptrdiff_t>(c) * view.channelStride;
    if (rows) {
      const auto* samples = reinterpret_cast<const Stored*>(row);
      for (std::size_t f = 0; f < count; ++f)
        block[f * channels + c] = Convert<Held>(samples[f]);
    } else {
      for (std::size_t f = 0; f < count; ++f) {
        const char* at = row + static_cast<std::ptrdiff_t>(f) * view.frameStride;
        block[f * channels + c] = Convert<Held>(*reinterpret_cast<const Stored*>(at));
      }
    }
  }
}

// The reverse of Gather.
template <typename Stored, typename Held>
void Scatter(const Held* block, const AudioView& view, std::size_t first, std::size_t count) {
  const std::size_t channels = view.channels;
  char* start = view.data + static_cast<std::ptrdiff_t>(first) * view.frameStride;
  if (Interleaved(view, sizeof(Stored))) {
    if constexpr (std::is_same_v<Stored, Held>) {
      std::memcpy(start, block, count * channels * sizeof(Held));
    } else {
      auto* samples = reinterpret_cast<Stored*>(start);
      for (std::size_t i = 0; i < count * channels; ++i)
        samples[i] = Convert<Stored>(block[i]);
    }
    return;
  }
  const bool rows = view.frameStride == static_cast<std::ptrdiff_t>(sizeof(Stored));
  if constexpr (std::is_same_v<Stored, Held>) {
    if (rows && channels == 2) {
      auto* left = reinterpret_cast<Stored*>(start);
      return Deinterleave2(block, left, reinterpret_cast<Stored*>(start + view.channelStride),
                           count);
    }
  }
  for (std::size_t c = 0; c < channels; ++c) {
    char* row = start + static_cast<std::ptrdiff_t>(c) * view.channelStride;
    if (rows) {
      auto* samples = reinterpret_cast<Stored*>(row);
      for (std::size_t f = 0; f < count; ++f)
        samples[f] = Convert<Stored>(block[f * channels + c]);
    } else {
      for (std::size_t f = 0; f < count; ++f) {
        char* at = row + static_cast<std::ptrdiff_t>(f) * view.frameStride;
        *reinterpret_cast<Stored*>(at) = Convert<Stored>(block[f * channels + c]);
      }
    }
  }
}

}  // namespace wavfx::python
