#pragma once

#include <pybind11/numpy.h>

#include <cstddef>

#include "audio_view.h"

namespace wavfx::python {

namespace py = pybind11;

constexpr std::size_t kMaxChannels = 65535;

// How an array holds a stream: (frames,) for mono, (channels, frames), or with channelsLast
// (frames, channels).
struct Layout {
  SampleType type;
  bool mono;
  bool channelsLast;
};

// TypeError for a dtype other than int16, int32, float32 and float64.
SampleType SampleTypeOf(const py::array& audio);

// SampleTypeOf, and ValueError for a shape that is not 1-D or 2-D.
Layout LayoutOf(const py::array& audio, bool channelsLast);

// ValueError for no channels or more than kMaxChannels.
void CheckChannels(std::size_t channels, bool channelsLast);

// CheckChannels, and where the array's samples lie.
AudioView ViewOf(const py::array& audio, const Layout& layout);

py::dtype DtypeOf(SampleType type);

// A new C-contiguous array of the layout, not initialised.
py::array NewArray(const Layout& layout, std::size_t channels, std::size_t frames);

// Every sample of a C-contiguous float32 array clamped to -1..1 (NaN kept, as numpy.clip, without
// its per-element cost): in place, or else the array itself when no sample lies beyond, a clamped
// copy otherwise. TypeError for another array.
py::array ClipToUnit(const py::array& audio, bool inPlace);

}  // namespace wavfx::python
