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
  {
    py::gil_scoped_release release;
    const std::lock_guard<std::mutex> guard(lock_);
    error = flushed_ ? "this stream was flushed; reset() it before processing more"
                     : Start(in.channels, sampleRate);
  }
  if (!error.empty()) throw py::value_error(error);
  if (wavfx_effect_reshapes(effect_) != 0) return Reshaped(&in, layout, false);
  py::array result = NewArray(layout, in.channels, in.frames);
  const AudioView out = ViewOf(result, layout);
  {
    py::gil_scoped_release release;
    const std::lock_guard<std::mutex> guard(lock_);
    error = Run(in, out, sampleRate);
    if (error.empty()) last_ = layout;
  }
  if (!error.empty()) throw py::value_error(error);
  return result;
}

py::array Stream::Flush() {
  std::optional<Layout> layout;
  {
    const std::lock_guard<std::mutex> guard(lock_);
    layout = last_;
  }
  if (!layout) throw py::value_error("no audio was processed since the start or the last reset");
  if (wavfx_effect_reshapes(effect_) == 0)
    return NewArray(*layout, wavfx_effect_channels(effect_), 0);
  return Reshaped(nullptr, *layout, true);
}

py::array Stream::Reshaped(const AudioView* in, Layout layout, bool flush) {
  const std::size_t channels = wavfx_effect_output_channels(effect_);
  Samples<float> floats;
  Samples<int16_t> shorts;
  Samples<int32_t> ints;
  {
    py::gil_scoped_release release;
    const std::lock_guard<std::mutex> guard(lock_);
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
  if (!layout) throw py::value_error("no audio was processed since the start or the last reset");
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
