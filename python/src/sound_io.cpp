#include "sound_io.h"

#include <sndfile.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "arrays.h"
#include "dsp/pcm_conversion.h"
#include "formats/sample_blocks.h"
#include "formats/sound_file.h"

namespace wavfx::python {
namespace {

constexpr std::size_t kBlockSamples = 1 << 15;

[[noreturn]] void RaiseOSError(const std::string& message) {
  PyErr_SetString(PyExc_OSError, message.c_str());
  throw py::error_already_set();
}

SampleType TypeOf(const SampleFormat& samples) {
  switch (samples.kind) {
    case SampleKind::Int:
      return samples.bits <= 16 ? SampleType::Int16 : SampleType::Int32;
    case SampleKind::Float32:
      return SampleType::Float32;
    case SampleKind::Float64:
      break;
  }
  return SampleType::Float64;
}

sf_count_t ReadFrames(SNDFILE* file, int16_t* samples, sf_count_t frames) {
  return sf_readf_short(file, samples, frames);
}
sf_count_t ReadFrames(SNDFILE* file, int32_t* samples, sf_count_t frames) {
  return sf_readf_int(file, samples, frames);
}
sf_count_t ReadFrames(SNDFILE* file, float* samples, sf_count_t frames) {
  return sf_readf_float(file, samples, frames);
}
sf_count_t ReadFrames(SNDFILE* file, double* samples, sf_count_t frames) {
  return sf_readf_double(file, samples, frames);
}

// Reads every frame, interleaved, into `data`; returns the frames read.
template <typename Sample>
std::size_t ReadAll(SNDFILE* file, std::size_t channels, int64_t expected,
                    std::vector<char>& data) {
  const std::size_t frame = channels * sizeof(Sample);
  const std::size_t step = std::max<std::size_t>(kBlockSamples / channels, 1);
  std::size_t frames = 0;
  data.reserve(static_cast<std::size_t>(std::max<int64_t>(expected, 0)) * frame);
  for (;;) {
    data.resize((frames + step) * frame);
    const sf_count_t got = ReadFrames(file, reinterpret_cast<Sample*>(data.data() + frames * frame),
                                      static_cast<sf_count_t>(step));
    if (got <= 0) break;
    frames += static_cast<std::size_t>(got);
  }
  data.resize(frames * frame);
  return frames;
}

// Gathers frames of the view into the block as `samples`, converting through the effects'
// floats when the array holds another representation.
void Fill(const AudioView& view, std::size_t first, std::size_t count, const SampleFormat& samples,
          SampleBlock& block) {
  const std::size_t n = count * view.channels;
  switch (view.type) {
    case SampleType::Int16:
      Gather<int16_t>(view, first, count, block.ints.data());
      if (samples.kind == SampleKind::Int && samples.bits == 16) return;
      IntsToFloats(block.ints.data(), block.floats.data(), n, 16);
      break;
    case SampleType::Int32:
      Gather<int32_t>(view, first, count, block.ints.data());
      if (samples.kind == SampleKind::Int && samples.bits == 32) return;
      IntsToFloats(block.ints.data(), block.floats.data(), n, 32);
      break;
    case SampleType::Float32:
      Gather<float>(view, first, count, block.floats.data());
      break;
    case SampleType::Float64:
      if (samples.kind == SampleKind::Float64) {
        return Gather<double>(view, first, count, block.doubles.data());
      }
      Gather<double>(view, first, count, block.floats.data());
      break;
  }
  FromFloats(samples, block, n);
}

SoundInfo InfoOf(const AudioView& view, int sampleRate) {
  SoundInfo info{};
  info.channels = static_cast<int>(view.channels);
  info.sampleRate = sampleRate;
  info.frames = static_cast<int64_t>(view.frames);
  switch (view.type) {
    case SampleType::Int16:
      info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
      info.samples = {SampleKind::Int, 16};
      break;
    case SampleType::Int32:
      info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_32;
      info.samples = {SampleKind::Int, 32};
      break;
    case SampleType::Float32:
      info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
      info.samples = {SampleKind::Float32, 32};
      break;
    case SampleType::Float64:
      info.format = SF_FORMAT_WAV | SF_FORMAT_DOUBLE;
      info.samples = {SampleKind::Float64, 64};
      break;
  }
  return info;
}

// Writes the whole view; returns why it failed, empty when it did not.
std::string WriteAll(const std::string& path, const AudioView& view, const SoundInfo& input,
                     const OutputChoice& choice) {
  std::string problem;
  SoundFile file = OpenSoundForWriting(path.c_str(), -1, input.channels, input.sampleRate,
                                       choice.format, problem);
  if (file == nullptr) return problem;
  const std::size_t step = std::max<std::size_t>(kBlockSamples / view.channels, 1);
  const SampleStorage storage = StorageOf(file.get(), choice.samples);
  SampleBlock block;
  block.Reserve(step * view.channels, storage);
  for (std::size_t first = 0; first < view.frames && problem.empty(); first += step) {
    const std::size_t count = std::min(step, view.frames - first);
    Fill(view, first, count, choice.samples, block);
    if (WriteSamples(file.get(), storage, block, static_cast<int64_t>(count), view.channels,
                     false) != static_cast<int64_t>(count)) {
      problem = std::string("write failed: ") + sf_strerror(file.get());
    }
  }
  if (!CloseOutput(file.release(), view.frames) && problem.empty())
    problem = "write failed when closing the output";
  return problem;
}

}  // namespace

py::dict SoundFileInfo(const std::string& path) {
  SoundInfo info;
  std::string reason;
  {
    py::gil_scoped_release release;
    const SoundFile file = OpenSoundForReading(path.c_str(), -1, info, reason);
  }
  if (!reason.empty()) RaiseOSError("cannot read '" + path + "': " + reason);
  py::dict d;
  d["sample_rate"] = info.sampleRate;
  d["channels"] = info.channels;
  // A FLAC stream header may leave its length at 0, "not known".
  const bool known =
      info.frames > 0 || (info.frames == 0 && (info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_FLAC);
  d["frames"] = known ? py::int_(info.frames) : py::object(py::none());
  d["container"] = info.container;
  d["encoding"] = info.encoding;
  d["lossy"] = info.lossy;
  d["dtype"] = DtypeOf(TypeOf(info.samples));
  return d;
}

py::tuple ReadSound(const std::string& path, bool channelsLast) {
  SoundInfo info;
  std::string reason;
  std::vector<char> data;
  std::size_t frames = 0;
  {
    py::gil_scoped_release release;
    const SoundFile file = OpenSoundForReading(path.c_str(), -1, info, reason);
    if (file != nullptr) {
      frames = WithType(TypeOf(info.samples), [&](auto sample) {
        return ReadAll<decltype(sample)>(file.get(), static_cast<std::size_t>(info.channels),
                                         info.frames, data);
      });
      if (sf_error(file.get()) != SF_ERR_NO_ERROR) {
        reason = std::string("read failed: ") + sf_strerror(file.get());
      } else {
        reason = ShortfallOf(info, frames);  // a truncated file, as measure and the CLI say
      }
    }
  }
  if (!reason.empty()) RaiseOSError("cannot read '" + path + "': " + reason);
  const Layout layout{TypeOf(info.samples), false, channelsLast};
  py::array audio = NewArray(layout, static_cast<std::size_t>(info.channels), frames);
  const AudioView view = ViewOf(audio, layout);
  WithType(layout.type, [&](auto sample) {
    using Sample = decltype(sample);
    py::gil_scoped_release release;
    Scatter<Sample>(reinterpret_cast<const Sample*>(data.data()), view, 0, frames);
  });
  return py::make_tuple(audio, info.sampleRate);
}

void WriteSound(const std::string& path, const py::array& audio, int64_t sampleRate,
                const std::string& format, const std::string& bits, bool channelsLast) {
  if (sampleRate <= 0 || sampleRate > INT_MAX) {
    throw py::value_error("the sample rate must be 1 to " + std::to_string(INT_MAX) + " Hz");
  }
  const Layout layout = LayoutOf(audio, channelsLast);
  const AudioView view = ViewOf(audio, layout);
  const SoundInfo input = InfoOf(view, static_cast<int>(sampleRate));
  OutputChoice choice;
  std::string problem;
  if (!ChooseOutput(path.c_str(), format, bits, input, choice, problem)) {
    throw py::value_error(problem);
  }
  {
    py::gil_scoped_release release;
    problem = WriteAll(path, view, input, choice);
  }
  if (!problem.empty()) RaiseOSError(problem);
}

}  // namespace wavfx::python
