#pragma once

#include <pybind11/numpy.h>

#include <cstdint>
#include <string>

namespace wavfx::python {

namespace py = pybind11;

// (array, sample rate): int16 for samples of up to 16 bits (8-bit ones scaled up), int32 for 24
// and 32 bits (24-bit ones scaled up), float32 or float64 for float files and lossy decodes as
// float32. OSError when the file cannot be read.
py::tuple ReadSound(const std::string& path, bool channelsLast);

// What the file holds, without reading its samples: sample_rate, channels, frames (None when the
// container does not say; lossy decoders estimate it), container, encoding, lossy, and the dtype
// ReadSound gives. OSError when the file cannot be read.
py::dict SoundFileInfo(const std::string& path);

// Writes the array in the container of `format` (empty: from the path's extension) with samples
// of `bits` (empty: the array's), converting as the command line's general path does.
void WriteSound(const std::string& path, const py::array& audio, int64_t sampleRate,
                const std::string& format, const std::string& bits, bool channelsLast);

}  // namespace wavfx::python
