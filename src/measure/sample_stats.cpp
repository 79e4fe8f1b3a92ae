#include "measure/sample_stats.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "dsp/effect_math.h"

namespace wavfx {

StatsPair StartStats(const ChannelStats* stats, bool single) {
  const ChannelStats& second = single ? stats[0] : stats[1];
  // Bounds of no samples yet: the first finite sample replaces them.
  const auto low = [](const ChannelStats& c) {
    return c.count == 0 ? std::numeric_limits<double>::infinity() : c.minimum;
  };
  const auto high = [](const ChannelStats& c) {
    return c.count == 0 ? -std::numeric_limits<double>::infinity() : c.maximum;
  };
  return {StatsLanes{stats[0].sum, second.sum},
          StatsLanes{stats[0].sumOfSquares, second.sumOfSquares},
          StatsLanes{low(stats[0]), low(second)}, StatsLanes{high(stats[0]), high(second)}};
}

void EndStats(ChannelStats* stats, bool single, const StatsPair& pair, std::size_t frames) {
  if (frames == 0) return;
  for (std::size_t lane = 0; lane < (single ? 1u : 2u); ++lane) {
    ChannelStats& c = stats[lane];
    c.sum = pair.sum[lane];
    c.sumOfSquares = pair.squares[lane];
    c.minimum = pair.low[lane];
    c.maximum = pair.high[lane];
    c.count += frames;
  }
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
