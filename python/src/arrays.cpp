#include "arrays.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace wavfx::python {
py::dtype DtypeOf(SampleType type) {
  switch (type) {
    case SampleType::Int16:
      return py::dtype::of<int16_t>();
    case SampleType::Int32:
      return py::dtype::of<int32_t>();
    case SampleType::Float32:
      return py::dtype::of<float>();
    case SampleType::Float64:
      break;
  }
  return py::dtype::of<double>();
}

SampleType SampleTypeOf(const py::array& audio) {
  if (py::isinstance<py::array_t<int16_t>>(audio)) return SampleType::Int16;
  if (py::isinstance<py::array_t<int32_t>>(audio)) return SampleType::Int32;
  if (py::isinstance<py::array_t<float>>(audio)) return SampleType::Float32;
  if (py::isinstance<py::array_t<double>>(audio)) return SampleType::Float64;
  throw py::type_error("audio must be int16, int32, float32 or float64, not " +
                       std::string(py::str(audio.dtype())));
}

Layout LayoutOf(const py::array& audio, bool channelsLast) {
  const Layout layout{SampleTypeOf(audio), audio.ndim() == 1, channelsLast};
  if (audio.ndim() != 1 && audio.ndim() != 2) {
    throw py::value_error(
        "audio must have the shape (frames,), (channels, frames) or, with "
        "channels_last, (frames, channels); it has " +
        std::to_string(audio.ndim()) + " dimensions");
  }
  return layout;
}

void CheckChannels(std::size_t channels, bool channelsLast) {
  if (channels == 0) throw py::value_error("audio has no channels");
  if (channels > kMaxChannels) {
    throw py::value_error("audio has " + std::to_string(channels) + " channels, more than " +
                          std::to_string(kMaxChannels) +
                          (channelsLast ? ""
                                        : " (for (frames, channels) arrays pass "
                                          "channels_last=True)"));
  }
}

AudioView ViewOf(const py::array& audio, const Layout& layout) {
  const int channelAxis = layout.channelsLast ? 1 : 0;
  const int frameAxis = layout.mono ? 0 : 1 - channelAxis;
  const auto channels =
      layout.mono ? std::size_t{1} : static_cast<std::size_t>(audio.shape(channelAxis));
  CheckChannels(channels, layout.channelsLast);
  return {layout.type,
          channels,
          static_cast<std::size_t>(audio.shape(frameAxis)),
          static_cast<char*>(const_cast<void*>(audio.data())),
          layout.mono ? 0 : audio.strides(channelAxis),
          audio.strides(frameAxis)};
}

py::array NewArray(const Layout& layout, std::size_t channels, std::size_t frames) {
  const auto c = static_cast<py::ssize_t>(channels), f = static_cast<py::ssize_t>(frames);
  std::vector<py::ssize_t> shape{f};
  if (!layout.mono) shape = layout.channelsLast ? std::vector{f, c} : std::vector{c, f};
  return py::array(DtypeOf(layout.type), shape);
}

namespace {

using Floats = float __attribute__((vector_size(16)));
using Mask = int32_t __attribute__((vector_size(16)));
constexpr std::size_t kLanes = 4, kRun = 4 * kLanes;

// Whether some of the kRun samples at `at` lie beyond full scale or are NaN: a magnitude's bits
// above those of 1.
bool RunOutside(const float* at) {
  constexpr Mask kMagnitude = {0x7fffffff, 0x7fffffff, 0x7fffffff, 0x7fffffff};
  constexpr Mask kOne = {0x3f800000, 0x3f800000, 0x3f800000, 0x3f800000};
  Mask any = {};
  for (std::size_t v = 0; v < kRun; v += kLanes) {
    Mask bits;
    std::memcpy(&bits, at + v, sizeof bits);
    any |= (bits & kMagnitude) > kOne;
  }
  uint64_t halves[2];
  std::memcpy(halves, &any, sizeof halves);
  return (halves[0] | halves[1]) != 0;
}

void Clamp(const float* from, float* to, std::size_t count) {
  const Floats low = Floats{} - 1.0f, high = Floats{} + 1.0f;
  std::size_t i = 0;
  for (; i + kLanes <= count; i += kLanes) {
    Floats v;
    std::memcpy(&v, from + i, sizeof v);
    v = v < low ? low : v;
    v = v > high ? high : v;
    std::memcpy(to + i, &v, sizeof v);
  }
  for (; i < count; ++i)
    to[i] = std::min(std::max(from[i], -1.0f), 1.0f);
}

}  // namespace

py::array ClipToUnit(const py::array& audio, bool inPlace) {
  if (!py::isinstance<py::array_t<float>>(audio) || (audio.flags() & py::array::c_style) == 0 ||
      (inPlace && !audio.writeable())) {
    throw py::type_error("clip_to_unit takes a C-contiguous float32 array");
  }
  const auto count = static_cast<std::size_t>(audio.size());
  const auto* from = static_cast<const float*>(audio.data());
  const std::size_t runs = count - count % kRun;
  if (inPlace) {
    // Runs within full scale stay as they are, unwritten.
    py::array target = audio;
    auto* to = static_cast<float*>(target.mutable_data());
    for (std::size_t i = 0; i < runs; i += kRun) {
      if (RunOutside(from + i)) Clamp(from + i, to + i, kRun);
    }
    Clamp(from + runs, to + runs, count - runs);
    return audio;
  }
  bool outside = false;
  for (std::size_t i = 0; i < runs && !outside; i += kRun)
    outside = RunOutside(from + i);
  for (std::size_t i = runs; i < count && !outside; ++i)
    outside = !(std::fabs(from[i]) <= 1.0f);
  if (!outside) return audio;
  py::array out(audio.dtype(),
                std::vector<py::ssize_t>(audio.shape(), audio.shape() + audio.ndim()));
  Clamp(from, static_cast<float*>(out.mutable_data()), count);
  return out;
}

}  // namespace wavfx::python
