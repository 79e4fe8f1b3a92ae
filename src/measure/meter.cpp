#include "measure/meter.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "dsp/effect_math.h"
#include "dsp/sample_conversion.h"

namespace wavfx {
namespace {

constexpr std::size_t kScratchFrames = 4096;

// Finite samples, in double precision and (for the true peak) in single.
void MeterFinite(Meter& meter, const double* samples, const float* narrow, std::size_t frames) {
  AddStats(meter.stats.data(), samples, frames, meter.channels);
  AddLoudness(meter.loudness, samples, frames);
  if (meter.truePeak != nullptr) FeedTruePeak(*meter.truePeak, narrow, frames);
}

void MeterFinite(Meter& meter, const double* samples, std::size_t frames) {
  float* narrow = meter.narrow.data();
  for (std::size_t i = 0; i < frames * meter.channels; ++i)
    narrow[i] = static_cast<float>(samples[i]);
  MeterFinite(meter, samples, narrow, frames);
}

// Counts the samples at or beyond full scale.
template <class Sample>
void CountFullScale(Meter& meter, const Sample* samples, std::size_t frames) {
  const std::size_t channels = meter.channels;
  for (std::size_t c = 0; c < channels; ++c) {
    uint64_t beyond = 0;
    for (std::size_t f = 0; f < frames; ++f)
      beyond += std::fabs(samples[f * channels + c]) >= Sample{1} ? 1 : 0;
    meter.stats[c].fullScale += beyond;
  }
}

}  // namespace

void InitMeter(Meter& meter, uint32_t channels, uint32_t sampleRate, std::vector<double> weights) {
  meter = Meter{};
  meter.channels = channels;
  meter.sampleRate = sampleRate;
  if (weights.empty()) weights = DefaultLoudnessWeights(channels);
  InitLoudness(meter.loudness, channels, sampleRate, std::move(weights));
  meter.stats.assign(channels, ChannelStats{});
  meter.scratch.resize(kScratchFrames * channels);
  meter.narrow.resize(kScratchFrames * channels);
  auto* truePeak = new (std::nothrow) TruePeakMeter{};
  if (truePeak != nullptr && !InitTruePeakMeter(*truePeak, channels)) {
    ReleaseTruePeakMeter(*truePeak);
    delete truePeak;
    truePeak = nullptr;
  }
  meter.truePeak.reset(truePeak);
}

void TruePeakRelease::operator()(TruePeakMeter* meter) const {
  ReleaseTruePeakMeter(*meter);
  delete meter;
}

// Non-finite samples count and weigh as 0.
void MeterFloats(Meter& meter, const float* samples, std::size_t frames) {
  const std::size_t channels = meter.channels;
  while (frames > 0 && channels > 0) {
    const std::size_t run = std::min(frames, kScratchFrames);
    float* narrow = meter.narrow.data();
    std::copy_n(samples, run * channels, narrow);
    meter.nonFinite += ZeroNonFinite(narrow, run * channels);
    CountFullScale(meter, narrow, run);
    double* wide = meter.scratch.data();
    for (std::size_t i = 0; i < run * channels; ++i)
      wide[i] = narrow[i];
    MeterFinite(meter, wide, narrow, run);
    samples += run * channels;
    frames -= run;
  }
}

void MeterDoubles(Meter& meter, const double* samples, std::size_t frames) {
  const std::size_t channels = meter.channels;
  while (frames > 0 && channels > 0) {
    const std::size_t run = std::min(frames, kScratchFrames);
    double* out = meter.scratch.data();
    for (std::size_t i = 0; i < run * channels; ++i) {
      const double x = samples[i];
      const bool finite = std::isfinite(x);
      meter.nonFinite += finite ? 0 : 1;
      out[i] = finite ? x : 0.0;
    }
    CountFullScale(meter, out, run);
    MeterFinite(meter, out, run);
    samples += run * channels;
    frames -= run;
  }
}

void MeterInts(Meter& meter, const int32_t* samples, std::size_t frames, int bits) {
  const std::size_t channels = meter.channels;
  meter.bits = bits;
  const double scale = std::ldexp(1.0, 1 - bits);
  while (frames > 0 && channels > 0) {
    const std::size_t run = std::min(frames, kScratchFrames);
    double* out = meter.scratch.data();
    for (std::size_t i = 0; i < run * channels; ++i)
      out[i] = static_cast<double>(samples[i]) * scale;
    for (std::size_t c = 0; c < channels; ++c) {
      AddIntegerStats(meter.stats[c], samples + c, run, channels, bits);
    }
    MeterFinite(meter, out, run);
    samples += run * channels;
    frames -= run;
  }
}

MeterReport ReportMeter(const Meter& meter) {
  MeterReport report{};
  report.frames = meter.stats.empty() ? 0 : meter.stats[0].count;
  report.loudness = SummariseLoudness(meter.loudness);
  for (const ChannelStats& stats : meter.stats)
    report.channels.push_back(ReportStats(stats, meter.bits));
  report.overall = ReportStats(CombineStats(meter.stats), meter.bits);
  report.truePeak = -std::numeric_limits<double>::infinity();
  for (uint32_t c = 0; c < meter.channels; ++c) {
    const double peak = meter.truePeak != nullptr ? TruePeakOf(*meter.truePeak, c) : 0.0;
    report.truePeaks.push_back(Decibels(peak));
    report.truePeak = std::max(report.truePeak, report.truePeaks.back());
  }
  report.nonFinite = meter.nonFinite;
  return report;
}

}  // namespace wavfx
