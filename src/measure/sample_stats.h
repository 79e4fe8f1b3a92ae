#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace wavfx {

// What SoX's `stats` reports of a channel, summed in order in double precision over samples in
// full scale -1..1.
struct ChannelStats {
  uint64_t count = 0;
  double sum = 0.0;
  double sumOfSquares = 0.0;
  double minimum = 0.0;
  double maximum = 0.0;
  uint64_t fullScale = 0;  // samples at either end of the integer range, or beyond +-1 in floats
  uint32_t usedBits = 0;   // OR of the integer samples' bits, as stored (0 for floats)
};

// The sums and bounds of channels c and c + 1 side by side (or c in both lanes, `single`), fed a
// frame at a time, finite; the integer samples' full-scale count and bits are the caller's.
using StatsLanes = double __attribute__((vector_size(16)));
struct StatsPair {
  StatsLanes sum, squares, low, high;
};

StatsPair StartStats(const ChannelStats* stats, bool single);
void EndStats(ChannelStats* stats, bool single, const StatsPair& pair, std::size_t frames);

inline void AddToStats(StatsPair& pair, StatsLanes x) {
  pair.sum += x;
  pair.squares += x * x;
  // std::min and std::max, lane by lane: the first operand unless the second is smaller
  // (larger).
  pair.low = x < pair.low ? x : pair.low;
  pair.high = pair.high < x ? x : pair.high;
}

// All channels as one.
ChannelStats CombineStats(const std::vector<ChannelStats>& channels);

// The readings: DC offset = mean, RMS = sqrt(mean square), levels 20 log10 in dBFS, crest factor
// = peak / RMS; bit depth = bits - trailing zero bits common to every sample (0 when silent).
struct StatsReport {
  double dcOffset, minimum, maximum, peakDb, rmsDb, crestFactor;
  uint64_t fullScale;
  int bitDepth;  // -1 for float samples
};

StatsReport ReportStats(const ChannelStats& stats, int bits);

// A level in dB (20 log10); -inf for 0.
double Decibels(double level);

}  // namespace wavfx
