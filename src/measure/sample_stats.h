#pragma once

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

// Interleaved frames, one record per channel.
void AddStats(ChannelStats* stats, const double* samples, std::size_t frames, std::size_t channels);
// The integer samples' full-scale count and bits used; their values go through AddStats.
void AddIntegerStats(ChannelStats& stats, const int32_t* samples, std::size_t count,
                     std::size_t stride, int bits);
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
