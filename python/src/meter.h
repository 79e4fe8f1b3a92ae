#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <string>

#include "arrays.h"
#include "engine/chain.h"
#include "measure/meter.h"

namespace wavfx::python {

namespace py = pybind11;

// wavfx.Meter: loudness and statistics of a stream fed in arrays of any size.
class PyMeter {
 public:
  PyMeter(std::size_t channels, uint32_t sampleRate);
  void Add(const py::array& audio, bool channelsLast);
  py::dict Results() const;

 private:
  Meter meter_;
  bool fed_ = false;
};

// Gives the stages that act on the whole stream (norm, loudnorm) their measurements of the view's
// samples; false with the reason when that fails. Needs no GIL.
bool MeasureRecipe(ChainRecipe& recipe, const AudioView& view, uint32_t sampleRate,
                   std::string& reason);

// The chain's text with the measurements its stages need (norm, loudnorm) taken over the whole
// array, as wavfx_chain_measure gives it; the text itself when none needs one.
std::string MeasureChain(const std::string& text, const py::array& audio, uint32_t sampleRate,
                         bool channelsLast);

// The results of measuring a whole file, and its format.
py::dict MeasureFile(const std::string& path);

}  // namespace wavfx::python
