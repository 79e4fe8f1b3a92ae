#pragma once

#include <cstdint>

namespace wavfx {

// The two-pole sections of Robert Bristow-Johnson's "Audio EQ Cookbook", as SoX's filters of
// the same names design them.
enum class BiquadShape : uint32_t {
  Lowpass,
  Highpass,
  Bandpass,       // 0 dB at the centre
  BandpassSkirt,  // constant skirt gain: Q at the centre
  Bandreject,
  Allpass,
  Peaking,
  LowShelf,
  HighShelf,
};

// How the width of a section is given: its Q, a bandwidth in Hz or in octaves, or a shelf's
// slope S (1 the steepest without overshoot).
enum class BiquadWidth : uint32_t { Q, Hertz, Octaves, Slope };

struct BiquadDesign {
  BiquadShape shape;
  double frequency;  // Hz, above 0 and below half the rate
  double sampleRate;
  double gainDb;  // peaking and shelves
  BiquadWidth widthKind;
  double width;
};

// y = b0 x + b1 x1 + b2 x2 - a1 y1 - a2 y2: the cookbook's coefficients divided by its a0.
struct BiquadCoefficients {
  double b0, b1, b2, a1, a2;
};

// The cookbook's formulas in double precision, from + - * / and sqrt alone (the sines and powers
// by polynomials), so the same on every build. With w0 = 2 pi f / rate: cos w0 = 1 - 2 sin^2(w0/2),
// A = 10^(gain / 40), and alpha from the width: sin w0 / (2 Q); Q = f / bandwidth in Hz;
// sin w0 sinh(ln 2 / 2 N w0 / sin w0) for N octaves; sin w0 / 2 sqrt((A + 1/A)(1/S - 1) + 2).
BiquadCoefficients DesignBiquad(const BiquadDesign& design);

// The filter's running memories for one channel: its last two inputs and outputs.
struct BiquadMemory {
  double x1, x2, y1, y2;
};

// One step of the direct form I in double precision, the feedback terms last. The output is the
// double; the caller rounds it to float.
inline double BiquadStep(const BiquadCoefficients& c, BiquadMemory& m, double x) {
  const double y = (((c.b0 * x + c.b1 * m.x1) + c.b2 * m.x2) - c.a2 * m.y2) - c.a1 * m.y1;
  m.x2 = m.x1;
  m.x1 = x;
  m.y2 = m.y1;
  m.y1 = y;
  return y;
}

// Memories for a whole stream: up to kInlineChannels in the record, more in a buffer from
// AllocateSamples (four doubles a channel, copied in and out by bytes).
constexpr uint32_t kInlineChannels = 8;
struct BiquadState {
  BiquadCoefficients coefficients;
  BiquadMemory inlineMemory[kInlineChannels];
  float* wideMemory;
  uint32_t channels;
  uint32_t sinceFlush;  // frames since the last flush of subnormal memories
};

// Sets the coefficients and clears the memories; false when the memories could not be had.
bool InitBiquad(BiquadState& state, const BiquadDesign& design, uint32_t channels);
void ReleaseBiquad(BiquadState& state);
// Each channel through its own section, in place.
void ProcessBiquad(BiquadState& state, float* samples, int32_t frames);
// Copies the memories of `from` into `to`, which has as many channels.
void CarryBiquad(const BiquadState& from, BiquadState& to);
bool BiquadHasBuffers(const BiquadState& state);

}  // namespace wavfx
