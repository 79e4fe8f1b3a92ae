#pragma once

#include <cstddef>
#include <cstdint>

namespace wavfx {

// Numbers a stage's text can hold (kMaxStageText characters), each a digit and a separator.
constexpr uint32_t kMaxCompandValues = 128;
constexpr uint32_t kMaxCompandPairs = kMaxCompandValues / 2;
// The transfer points given, the tail-off point before them and 0 dB after them.
constexpr uint32_t kMaxCompandPoints = kMaxCompandValues + 2;

// From level x (ln of the envelope), the gain's ln is y + d (a d + b) at x + d.
struct CompandSegment {
  double x;
  double y;
  double a;
  double b;
};

// SoX's transfer function as gains against levels in nepers (dB ln 10 / 20): segment 2k is the
// line from point k, segment 2k + 1 the parabola rounding the knee after it. `last` holds the
// last point's gain, for levels above 0 dB.
struct CompandCurve {
  CompandSegment segments[2 * kMaxCompandPoints];
  uint32_t last;
  double floorLevel;  // envelopes at or below it (linear) take floorGain
  double floorGain;
  double topGain;
};

// The curve's gain (linear) at an envelope `level` (linear).
double CompandGain(const CompandCurve& c, double level);

// CompandGain of `count` levels, with the vector kernels where there are.
void CompandGains(const CompandCurve& c, const double* levels, double* gains, std::size_t count);

}  // namespace wavfx
