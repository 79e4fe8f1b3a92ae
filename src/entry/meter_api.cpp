#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "measure/meter.h"
#include "wavfx/wavfx.h"

struct wavfx_meter {
  wavfx::Meter meter;
  std::vector<int32_t> wide;  // 16-bit samples widened
};

namespace wavfx {
namespace {

wavfx_channel_stats ToC(const StatsReport& s, double truePeak) {
  wavfx_channel_stats c{};
  c.dc_offset = s.dcOffset;
  c.minimum = s.minimum;
  c.maximum = s.maximum;
  c.peak_dbfs = s.peakDb;
  c.true_peak_dbtp = truePeak;
  c.rms_dbfs = s.rmsDb;
  c.crest_factor = s.crestFactor;
  c.full_scale = s.fullScale;
  c.bit_depth = s.bitDepth;
  return c;
}

template <class Feed>
int32_t Add(wavfx_meter* meter, const void* samples, std::size_t frames, Feed feed) {
  if (meter == nullptr) return WAVFX_ERROR_NULL_EFFECT;
  if (samples == nullptr && frames > 0) return WAVFX_ERROR_NULL_SAMPLES;
  try {
    feed(*meter);
  } catch (const std::bad_alloc&) {
    return WAVFX_ERROR_NO_MEMORY;
  }
  return WAVFX_OK;
}

}  // namespace
}  // namespace wavfx

using namespace wavfx;

extern "C" {

wavfx_meter* wavfx_meter_create(uint32_t channels, uint32_t sample_rate,
                                const double* weights) noexcept {
  if (channels == 0 || sample_rate == 0) return nullptr;
  try {
    auto* meter = new wavfx_meter;
    std::vector<double> given;
    if (weights != nullptr) given.assign(weights, weights + channels);
    InitMeter(meter->meter, channels, sample_rate, std::move(given));
    return meter;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void wavfx_meter_destroy(wavfx_meter* meter) noexcept {
  delete meter;
}

int32_t wavfx_meter_add_float(wavfx_meter* meter, const float* samples, size_t frames) noexcept {
  return Add(meter, samples, frames,
             [&](wavfx_meter& m) { MeterFloats(m.meter, samples, frames); });
}

int32_t wavfx_meter_add_int16(wavfx_meter* meter, const int16_t* samples, size_t frames) noexcept {
  return Add(meter, samples, frames, [&](wavfx_meter& m) {
    const std::size_t channels = m.meter.channels;
    constexpr std::size_t kRun = 4096;
    m.wide.resize(kRun * channels);
    for (std::size_t at = 0; at < frames; at += kRun) {
      const std::size_t run = std::min(kRun, frames - at);
      std::copy_n(samples + at * channels, run * channels, m.wide.begin());
      MeterInts(m.meter, m.wide.data(), run, 16);
    }
  });
}

int32_t wavfx_meter_add_int32(wavfx_meter* meter, const int32_t* samples, size_t frames,
                              int32_t bits) noexcept {
  if (meter != nullptr && (bits < 8 || bits > 32)) return WAVFX_ERROR_BAD_VALUE;
  return Add(meter, samples, frames,
             [&](wavfx_meter& m) { MeterInts(m.meter, samples, frames, bits); });
}

int32_t wavfx_meter_results_get(const wavfx_meter* meter, wavfx_meter_results* results) noexcept {
  if (meter == nullptr) return WAVFX_ERROR_NULL_EFFECT;
  if (results == nullptr) return WAVFX_ERROR_NULL_SAMPLES;
  try {
    const MeterReport report = ReportMeter(meter->meter);
    *results = {report.frames,
                report.nonFinite,
                report.loudness.integrated,
                report.loudness.momentaryMax,
                report.loudness.shortTermMax,
                report.loudness.range,
                ToC(report.overall, report.truePeak)};
  } catch (const std::bad_alloc&) {
    return WAVFX_ERROR_NO_MEMORY;
  }
  return WAVFX_OK;
}

int32_t wavfx_meter_channel_stats(const wavfx_meter* meter, uint32_t channel,
                                  wavfx_channel_stats* stats) noexcept {
  if (meter == nullptr) return WAVFX_ERROR_NULL_EFFECT;
  if (stats == nullptr) return WAVFX_ERROR_NULL_SAMPLES;
  if (channel >= meter->meter.channels) return WAVFX_ERROR_BAD_VALUE;
  try {
    const MeterReport report = ReportMeter(meter->meter);
    *stats = ToC(report.channels[channel], report.truePeaks[channel]);
  } catch (const std::bad_alloc&) {
    return WAVFX_ERROR_NO_MEMORY;
  }
  return WAVFX_OK;
}

size_t wavfx_meter_history(const wavfx_meter* meter, int short_term, size_t first, double* values,
                           size_t room) noexcept {
  if (meter == nullptr) return 0;
  const std::vector<double>& series =
      short_term != 0 ? meter->meter.loudness.shortTerm : meter->meter.loudness.momentary;
  for (std::size_t i = first; i < series.size() && i - first < room && values != nullptr; ++i)
    values[i - first] = LoudnessOf(series[i]);
  return series.size();
}

}  // extern "C"
