#include "meter.h"

#include <cmath>
#include <vector>

#include "arrays.h"
#include "engine/chain_flow.h"
#include "engine/chain_measure.h"
#include "entry/measure_file.h"

namespace wavfx::python {
namespace {

constexpr std::size_t kBlockFrames = 4096;

py::object Number(double value) {
  if (!std::isfinite(value)) return py::none();
  return py::float_(value);
}

py::dict StatsDict(const StatsReport& s, double truePeak) {
  py::dict d;
  d["true_peak_dbtp"] = Number(truePeak);
  d["dc_offset"] = s.dcOffset;
  d["min"] = s.minimum;
  d["max"] = s.maximum;
  d["peak_dbfs"] = Number(s.peakDb);
  d["rms_dbfs"] = Number(s.rmsDb);
  d["crest_factor"] = s.crestFactor;
  d["full_scale"] = s.fullScale;
  d["bit_depth"] = s.bitDepth < 0 ? py::object(py::none()) : py::object(py::int_(s.bitDepth));
  return d;
}

py::dict ResultsOf(const Meter& meter) {
  const MeterReport r = ReportMeter(meter);
  py::dict d;
  d["frames"] = r.frames;
  d["integrated_lufs"] = Number(r.loudness.integrated);
  d["momentary_max_lufs"] = Number(r.loudness.momentaryMax);
  d["short_term_max_lufs"] = Number(r.loudness.shortTermMax);
  d["loudness_range_lu"] = r.loudness.range;
  d["sample_peak_dbfs"] = Number(r.overall.peakDb);
  d["true_peak_dbtp"] = Number(r.truePeak);
  d["non_finite"] = r.nonFinite;
  d["overall"] = StatsDict(r.overall, r.truePeak);
  py::list channels;
  for (std::size_t c = 0; c < r.channels.size(); ++c)
    channels.append(StatsDict(r.channels[c], r.truePeaks[c]));
  d["per_channel"] = channels;
  const auto series = [](const std::vector<double>& values) {
    py::array_t<double> out(static_cast<py::ssize_t>(values.size()));
    double* data = out.mutable_data();
    for (std::size_t i = 0; i < values.size(); ++i)
      data[i] = LoudnessOf(values[i]);
    return out;
  };
  d["momentary"] = series(meter.loudness.momentary);
  d["short_term"] = series(meter.loudness.shortTerm);
  return d;
}

}  // namespace

PyMeter::PyMeter(std::size_t channels, uint32_t sampleRate) {
  if (channels == 0 || channels > kMaxChannels) throw py::value_error("bad channel count");
  if (sampleRate == 0) throw py::value_error("the sample rate must be above 0");
  InitMeter(meter_, static_cast<uint32_t>(channels), sampleRate, {});
}

void PyMeter::Add(const py::array& audio, bool channelsLast) {
  const Layout layout = LayoutOf(audio, channelsLast);
  const AudioView view = ViewOf(audio, layout);
  if (view.channels != meter_.channels) {
    throw py::value_error("the meter measures " + std::to_string(meter_.channels) +
                          " channels, not " + std::to_string(view.channels));
  }
  if (fed_ && (meter_.bits == 0) !=
                  (layout.type == SampleType::Float32 || layout.type == SampleType::Float64)) {
    throw py::type_error("a meter takes either integer or float samples throughout");
  }
  fed_ = true;
  py::gil_scoped_release release;
  WithType(layout.type, [&](auto sample) {
    using Stored = decltype(sample);
    using Held = std::conditional_t<std::is_integral_v<Stored>, int32_t, Stored>;
    std::vector<Held> block(kBlockFrames * view.channels);
    for (std::size_t first = 0; first < view.frames; first += kBlockFrames) {
      const std::size_t count = std::min(kBlockFrames, view.frames - first);
      Gather<Stored>(view, first, count, block.data());
      if constexpr (std::is_same_v<Held, int32_t>) {
        MeterInts(meter_, block.data(), count, std::is_same_v<Stored, int16_t> ? 16 : 32);
      } else if constexpr (std::is_same_v<Held, float>) {
        MeterFloats(meter_, block.data(), count);
      } else {
        MeterDoubles(meter_, block.data(), count);
      }
    }
  });
}

py::dict PyMeter::Results() const {
  return ResultsOf(meter_);
}

bool MeasureRecipe(ChainRecipe& recipe, const AudioView& view, uint32_t sampleRate,
                   std::string& reason) {
  // Integers in full scale, as the chain reads them (a power of two: exact).
  const double scale = view.type == SampleType::Int16   ? 1.0 / 32768.0
                       : view.type == SampleType::Int32 ? 1.0 / 2147483648.0
                                                        : 1.0;
  std::vector<float> block(kBlockFrames * view.channels);
  const InputPass pass = [&](const FrameSink& sink, std::string&) {
    for (std::size_t first = 0; first < view.frames; first += kBlockFrames) {
      const std::size_t count = std::min(kBlockFrames, view.frames - first);
      WithType(view.type,
               [&](auto sample) { Gather<decltype(sample)>(view, first, count, block.data()); });
      if (scale != 1.0) {
        for (std::size_t i = 0; i < count * view.channels; ++i)
          block[i] = static_cast<float>(block[i] * scale);
      }
      sink(block.data(), count);
    }
    return true;
  };
  std::vector<StageMeasurement> measured;
  return MeasureStageInputs(recipe, static_cast<uint32_t>(view.channels), sampleRate, pass,
                            measured, reason, false);
}

std::string MeasureChain(const std::string& text, const py::array& audio, uint32_t sampleRate,
                         bool channelsLast) {
  auto recipe = std::make_unique<ChainRecipe>();
  ChainError error;
  if (!ParseChain(text, *recipe, error)) throw py::value_error(error.message);
  if (!RecipeNeedsMeasurement(*recipe)) return text;
  const AudioView view = ViewOf(audio, LayoutOf(audio, channelsLast));
  std::string reason;
  bool done = false;
  {
    py::gil_scoped_release release;
    done = MeasureRecipe(*recipe, view, sampleRate, reason);
  }
  if (!done) throw py::value_error(reason);
  return RecipeText(*recipe);
}

py::dict MeasureFile(const std::string& path) {
  SoundInfo info;
  Meter meter;
  std::string reason;
  bool read = false;
  {
    py::gil_scoped_release release;
    read = MeasureSoundFile(path.c_str(), -1, info, meter, reason);
  }
  if (!read) throw py::value_error(path + ": " + reason);
  py::dict d = ResultsOf(meter);
  d["channels"] = info.channels;
  d["sample_rate"] = info.sampleRate;
  d["container"] = info.container;
  d["encoding"] = info.encoding;
  return d;
}

}  // namespace wavfx::python
