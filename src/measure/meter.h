#pragma once

#include <cstdint>
#include <vector>

#include "measure/loudness.h"
#include "measure/sample_stats.h"

namespace wavfx {

// Loudness, true peak and statistics of one stream, fed in blocks of any size: the results do not
// depend on the cut. Integer samples of `bits` enter as s * 2^(1 - bits), exactly; NaN and infinite
// floats as 0, counted. One loop takes each pair of channels through a run of frames, converting,
// summing and K-weighting each frame and storing it in single precision for the true peak, whose
// points are taken after the run: the K-weighting's recursion waits on itself, and the other work
// fills the wait. Every value's own operations are those of the separate passes, in the same
// order; the loop is compiled for each vector path, with the same operations.
struct Meter {
  uint32_t channels = 0;
  uint32_t sampleRate = 0;
  int bits = 0;  // of the integer samples fed; 0 for floats
  LoudnessMeter loudness;
  std::vector<ChannelStats> stats;
  uint64_t nonFinite = 0;
  // Per channel: its last kTruePeakTaps - 1 samples (0 before the stream), then a run's.
  std::vector<float> peakWindows;
  std::vector<float> truePeaks;  // per channel, the largest oversampled magnitude
};

// `weights` per channel, or empty for DefaultLoudnessWeights.
void InitMeter(Meter& meter, uint32_t channels, uint32_t sampleRate, std::vector<double> weights);
void MeterFloats(Meter& meter, const float* samples, std::size_t frames);
void MeterDoubles(Meter& meter, const double* samples, std::size_t frames);
void MeterInts(Meter& meter, const int32_t* samples, std::size_t frames, int bits);

// Everything measured so far.
struct MeterReport {
  uint64_t frames;
  LoudnessSummary loudness;
  std::vector<StatsReport> channels;
  StatsReport overall;
  std::vector<double> truePeaks;  // per channel, dBTP (BS.1770 Annex 2); -inf when silent
  double truePeak;
  uint64_t nonFinite;
};

MeterReport ReportMeter(const Meter& meter);

}  // namespace wavfx
