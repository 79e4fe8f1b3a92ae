#include "stream.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "blocks.h"
#include "engine/chain_text.h"

namespace wavfx::python {
namespace {

constexpr const char* kNothingProcessed =
    "no audio was processed since the start or the last reset";

std::string StreamName(std::size_t channels, uint32_t sampleRate) {
  return std::to_string(channels) + (channels == 1 ? " channel" : " channels") + " at " +
         std::to_string(sampleRate) + " Hz";
}

}  // namespace

Stream::Stream(std::string chain) : text_(std::move(chain)) {
  const auto parsed = std::make_unique<ChainRecipe>();
  ChainError error;
  if (!ParseChain(text_, *parsed, error)) throw py::value_error(error.message);
}

Stream::~Stream() {
  wavfx_effect_destroy(effect_);
}

std::string Stream::Start(std::size_t inChannels, uint32_t sampleRate) {
  const auto channels = static_cast<uint32_t>(inChannels);
  if (flushed_) return "this stream was flushed; reset() it before processing more";
  if (effect_ == nullptr) {
    wavfx_error error;
    effect_ = wavfx_chain_create(text_.c_str(), channels, sampleRate, &error);
    if (effect_ == nullptr) return error.message;
  } else if (wavfx_effect_channels(effect_) != channels ||
             wavfx_effect_sample_rate(effect_) != sampleRate) {
    return "this stream is " +
           StreamName(wavfx_effect_channels(effect_), wavfx_effect_sample_rate(effect_)) +
           "; reset() it before processing " + StreamName(inChannels, sampleRate);
  }
  return "";
}

std::string Stream::Run(const AudioView& in, const AudioView& out, uint32_t) {
  switch (in.type) {
    case SampleType::Int16:
      RunBlocks<int16_t, int16_t>(effect_, in, out);
      break;
    case SampleType::Int32:
      RunBlocks<int32_t, int32_t>(effect_, in, out);
      break;
    case SampleType::Float32:
      RunBlocks<float, float>(effect_, in, out);
      break;
    case SampleType::Float64:
      RunBlocks<double, float>(effect_, in, out);
      break;
  }
  return "";
}

py::array Stream::Process(const py::array& audio, uint32_t sampleRate, bool channelsLast) {
  if (sampleRate == 0) throw py::value_error("the sample rate must be above 0 Hz");
  const Layout layout = LayoutOf(audio, channelsLast);
  const AudioView in = ViewOf(audio, layout);
  std::string error;
  bool reshapes = false;
  {
    py::gil_scoped_release release;
    const std::lock_guard<std::mutex> guard(lock_);
    error = Start(in.channels, sampleRate);
    reshapes = error.empty() && wavfx_effect_reshapes(effect_) != 0;
  }
  if (!error.empty()) throw py::value_error(error);
  if (reshapes) return Reshaped(&in, sampleRate, layout);
  py::array result = NewArray(layout, in.channels, in.frames);
  const AudioView out = ViewOf(result, layout);
  {
    py::gil_scoped_release release;
    const std::lock_guard<std::mutex> guard(lock_);
    error = Start(in.channels, sampleRate);  // again: a reset() may have come in between
    if (error.empty()) error = Run(in, out, sampleRate);
    if (error.empty()) last_ = layout;
  }
  if (!error.empty()) throw py::value_error(error);
  return result;
}

py::array Stream::Flush() {
  std::optional<Layout> layout;
  uint32_t channels = 0;
  bool reshapes = false;
  {
    const std::lock_guard<std::mutex> guard(lock_);
    layout = last_;
    channels = wavfx_effect_channels(effect_);
    reshapes = wavfx_effect_reshapes(effect_) != 0;
  }
  if (!layout) throw py::value_error(kNothingProcessed);
  if (!reshapes) return NewArray(*layout, channels, 0);
  return Reshaped(nullptr, 0, *layout);
}

py::array Stream::Reshaped(const AudioView* in, uint32_t sampleRate, Layout layout) {
  const bool flush = in == nullptr;
  std::size_t channels = 0;
  Samples<float> floats;
  Samples<int16_t> shorts;
  Samples<int32_t> ints;
  std::string error;
  {
    py::gil_scoped_release release;
    const std::lock_guard<std::mutex> guard(lock_);
    // As it stands now: a reset() may have come in since the caller looked.
    error = !flush ? Start(in->channels, sampleRate) : last_ ? "" : kNothingProcessed;
    if (error.empty()) {
      channels = wavfx_effect_output_channels(effect_);
      switch (layout.type) {
        case SampleType::Int16:
          shorts = FlowBlocks<int16_t, int16_t>(effect_, in, flush);
          break;
        case SampleType::Int32:
          ints = FlowBlocks<int32_t, int32_t>(effect_, in, flush);
          break;
        case SampleType::Float32:
          floats = FlowBlocks<float, float>(effect_, in, flush);
          break;
        case SampleType::Float64:
          floats = FlowBlocks<double, float>(effect_, in, flush);
          break;
      }
      last_ = layout;
      flushed_ = flushed_ || flush;
    }
  }
  if (!error.empty()) throw py::value_error(error);
  if (channels != 1) layout.mono = false;
  const std::size_t count = std::max({floats.size(), shorts.size(), ints.size()});
  py::array result = NewArray(layout, channels, count / channels);
  const AudioView out = ViewOf(result, layout);
  const std::size_t frames = count / channels;
  switch (layout.type) {
    case SampleType::Int16:
      Scatter<int16_t>(shorts.data(), out, 0, frames);
      break;
    case SampleType::Int32:
      Scatter<int32_t>(ints.data(), out, 0, frames);
      break;
    case SampleType::Float32:
      Scatter<float>(floats.data(), out, 0, frames);
      break;
    case SampleType::Float64:
      Scatter<double>(floats.data(), out, 0, frames);
      break;
  }
  Recycle(std::move(floats));
  Recycle(std::move(shorts));
  Recycle(std::move(ints));
  return result;
}

py::array Stream::Tail(double seconds) {
  if (!(seconds >= 0 && seconds <= 3600)) {
    throw py::value_error("the tail must be 0 to 3600 seconds");
  }
  std::optional<Layout> layout;
  uint32_t channels = 0, sampleRate = 0;
  {
    py::gil_scoped_release release;
    const std::lock_guard<std::mutex> guard(lock_);
    layout = last_;
    channels = wavfx_effect_channels(effect_);
    sampleRate = wavfx_effect_sample_rate(effect_);
  }
  if (!layout) throw py::value_error(kNothingProcessed);
  const auto frames = static_cast<std::size_t>(std::round(seconds * sampleRate));
  py::array silence = NewArray(*layout, channels, frames);
  std::memset(silence.mutable_data(), 0, static_cast<std::size_t>(silence.nbytes()));
  return Process(silence, sampleRate, layout->channelsLast);
}

void Stream::Reset() {
  py::gil_scoped_release release;
  const std::lock_guard<std::mutex> guard(lock_);
  wavfx_effect_destroy(effect_);
  effect_ = nullptr;
  last_.reset();
  flushed_ = false;
}

}  // namespace wavfx::python
