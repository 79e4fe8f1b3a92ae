#pragma once

#include <pybind11/numpy.h>

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "arrays.h"
#include "wavfx/wavfx.h"

namespace wavfx::python {

// A chain's running instance for one stream at a time. The instance is made on the first block,
// for that block's channels and rate; calls from several threads are taken one at a time, with
// the GIL released while samples are processed.
class Stream {
 public:
  explicit Stream(std::string chain);  // ValueError with the library's message for a bad chain
  ~Stream();
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;

  py::array Process(const py::array& audio, uint32_t sampleRate, bool channelsLast);
  py::array Tail(double seconds);  // silence after the last block, in its layout
  // The end of the stream: what a reshaping chain still holds, in the last block's layout.
  py::array Flush();
  void Reset();
  const std::string& text() const { return text_; }

 private:
  // Makes the instance on the first block; the reason when the stream does not match it.
  std::string Start(std::size_t channels, uint32_t sampleRate);
  std::string Run(const AudioView& in, const AudioView& out, uint32_t sampleRate);
  // A reshaping chain's output for the block `in` at `sampleRate`, or (in null) its flush.
  py::array Reshaped(const AudioView* in, uint32_t sampleRate, Layout layout);

  const std::string text_;
  std::mutex lock_;
  wavfx_effect* effect_ = nullptr;
  std::optional<Layout> last_;
  bool flushed_ = false;  // a reshaping chain's stream has ended: only reset() starts another
};

}  // namespace wavfx::python
