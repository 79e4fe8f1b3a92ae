#pragma once

#include <pybind11/numpy.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace wavfx::python {

namespace py = pybind11;

// Runs every item of a (batch, channels, frames) array (with channelsLast (batch, frames,
// channels)) from a fresh instance of the chain to the end of its stream, as wavfx.process runs
// one array, on up to `threads` threads without the GIL. Returns a new array of the batch's
// dtype and layout; a chain that reshapes the stream must give every item the same length.
// A float32 batch of channels first runs the chain's leading speed and resample stages over a few
// items at a time as one stream of their channels (the same bytes, each phase of the filter
// computed once for all of them), then the rest item by item.
// ValueError for a bad chain or shape, naming the first item that failed.
py::array ProcessBatch(const std::string& chain, const py::array& audio, uint32_t sampleRate,
                       bool channelsLast, std::size_t threads);

}  // namespace wavfx::python
