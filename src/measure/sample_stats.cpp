#include "measure/sample_stats.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "dsp/effect_math.h"

namespace wavfx {

namespace {

// The sums and bounds of up to two channels, carried together so that the processor overlaps
// their chains of additions.
template <std::size_t kChannels>
void AddChannels(ChannelStats* stats, const double* samples, std::size_t frames,
                 std::size_t stride) {
  double sum[kChannels], squares[kChannels], low[kChannels], high[kChannels];
  for (std::size_t c = 0; c < kChannels; ++c) {
    if (stats[c].count == 0) stats[c].minimum = stats[c].maximum = samples[c];
    sum[c] = stats[c].sum;
    squares[c] = stats[c].sumOfSquares;
    low[c] = stats[c].minimum;
    high[c] = stats[c].maximum;
  }
  for (std::size_t f = 0; f < frames; ++f) {
    for (std::size_t c = 0; c < kChannels; ++c) {
      const double x = samples[f * stride + c];
      sum[c] += x;
      squares[c] += x * x;
      low[c] = std::min(low[c], x);
      high[c] = std::max(high[c], x);
    }
  }
  for (std::size_t c = 0; c < kChannels; ++c) {
    stats[c].sum = sum[c];
    stats[c].sumOfSquares = squares[c];
    stats[c].minimum = low[c];
    stats[c].maximum = high[c];
    stats[c].count += frames;
  }
}

}  // namespace

void AddStats(ChannelStats* stats, const double* samples, std::size_t frames,
              std::size_t channels) {
  if (frames == 0) return;
  std::size_t c = 0;
  for (; c + 2 <= channels; c += 2)
    AddChannels<2>(stats + c, samples + c, frames, channels);
  if (c < channels) AddChannels<1>(stats + c, samples + c, frames, channels);
}

void AddIntegerStats(ChannelStats& stats, const int32_t* samples, std::size_t count,
                     std::size_t stride, int bits) {
  const int32_t top = bits >= 32 ? std::numeric_limits<int32_t>::max()
                                 : static_cast<int32_t>((int64_t{1} << (bits - 1)) - 1);
  const int32_t bottom = -top - 1;
  uint32_t used = stats.usedBits;
  uint64_t fullScale = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const int32_t s = samples[i * stride];
    used |= static_cast<uint32_t>(s);
    fullScale += s == top || s == bottom ? 1 : 0;
  }
  stats.usedBits = used;
  stats.fullScale += fullScale;
}

ChannelStats CombineStats(const std::vector<ChannelStats>& channels) {
  ChannelStats all;
  for (const ChannelStats& c : channels) {
    if (c.count == 0) continue;
    all.minimum = all.count == 0 ? c.minimum : std::min(all.minimum, c.minimum);
    all.maximum = all.count == 0 ? c.maximum : std::max(all.maximum, c.maximum);
    all.count += c.count;
    all.sum += c.sum;
    all.sumOfSquares += c.sumOfSquares;
    all.fullScale += c.fullScale;
    all.usedBits |= c.usedBits;
  }
  return all;
}

double Decibels(double level) {
  return level > 0.0 ? 20.0 * LogTen(level) : -std::numeric_limits<double>::infinity();
}

StatsReport ReportStats(const ChannelStats& stats, int bits) {
  const double n = static_cast<double>(stats.count);
  const double peak = std::max(std::fabs(stats.minimum), std::fabs(stats.maximum));
  const double rms = stats.count > 0 ? std::sqrt(stats.sumOfSquares / n) : 0.0;
  StatsReport report{};
  report.dcOffset = stats.count > 0 ? stats.sum / n : 0.0;
  report.minimum = stats.minimum;
  report.maximum = stats.maximum;
  report.peakDb = Decibels(peak);
  report.rmsDb = Decibels(rms);
  report.crestFactor = rms > 0.0 ? peak / rms : 0.0;
  report.fullScale = stats.fullScale;
  report.bitDepth =
      bits <= 0 ? -1 : (stats.usedBits == 0 ? 0 : bits - std::countr_zero(stats.usedBits));
  return report;
}

}  // namespace wavfx
