#include "dsp/true_peak.h"

#include <cmath>
#include <initializer_list>

#include "dsp/simd_dispatch.h"

namespace wavfx {

// The standard's coefficients, by tap (oldest sample first) and phase.
alignas(16) const float kTruePeakFilter[kTruePeakTaps][kTruePeakPhases] = {
    {-0.0083007812500f, -0.0189208984375f, -0.0291748046875f, 0.0017089843750f},
    {0.0148925781250f, 0.0330810546875f, 0.0292968750000f, 0.0109863281250f},
    {-0.0266113281250f, -0.0582275390625f, -0.0517578125000f, -0.0196533203125f},
    {0.0476074218750f, 0.1015625000000f, 0.0891113281250f, 0.0332031250000f},
    {-0.1022949218750f, -0.2003173828125f, -0.1665039062500f, -0.0594482421875f},
    {0.9721679687500f, 0.7797851562500f, 0.4650878906250f, 0.1373291015625f},
    {0.1373291015625f, 0.4650878906250f, 0.7797851562500f, 0.9721679687500f},
    {-0.0594482421875f, -0.1665039062500f, -0.2003173828125f, -0.1022949218750f},
    {0.0332031250000f, 0.0891113281250f, 0.1015625000000f, 0.0476074218750f},
    {-0.0196533203125f, -0.0517578125000f, -0.0582275390625f, -0.0266113281250f},
    {0.0109863281250f, 0.0292968750000f, 0.0330810546875f, 0.0148925781250f},
    {0.0017089843750f, -0.0291748046875f, -0.0189208984375f, -0.0083007812500f},
};

namespace {

using Lanes = uint32_t __attribute__((vector_size(16)));

Phases Magnitudes(Phases x) {
  return (Phases)((Lanes)x & 0x7FFFFFFFu);
}

// Lane by lane, x where it is larger than y (not NaN), else y.
Phases Larger(Phases x, Phases y) {
  const Lanes larger = x > y;
  return (Phases)(((Lanes)x & larger) | ((Lanes)y & ~larger));
}

float LargestLane(Phases most, float largest) {
  for (const float lane : {most[0], most[1], most[2], most[3]})
    largest = lane > largest ? lane : largest;
  return largest;
}

// The largest of `largest` and the magnitudes of x[0] to x[count - 1]; NaNs are left out.
float LargestSample(const float* x, std::size_t count, float largest) {
  Phases most = {largest, largest, largest, largest};
  std::size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    Phases v;
    std::memcpy(&v, x + i, sizeof v);
    most = Larger(Magnitudes(v), most);
  }
  for (; i < count; ++i)
    largest = std::fabs(x[i]) > largest ? std::fabs(x[i]) : largest;
  return LargestLane(most, largest);
}

// As the vector kernels: lanes are four neighbouring points of one phase; `points` is a multiple
// of 4.
float LargestOfFourLanes(const float* window, std::size_t points, float largest) {
  Phases most = {largest, largest, largest, largest};
  for (std::size_t n = 0; n < points; n += 4) {
    Phases a = {}, b = {}, c = {}, d = {};
    for (std::size_t t = 0; t < kTruePeakTaps; ++t) {
      Phases x;
      std::memcpy(&x, window + n + t, sizeof x);
      a = a + kTruePeakFilter[t][0] * x;
      b = b + kTruePeakFilter[t][1] * x;
      c = c + kTruePeakFilter[t][2] * x;
      d = d + kTruePeakFilter[t][3] * x;
    }
    for (const Phases sum : {a, b, c, d})
      most = Larger(Magnitudes(sum), most);
  }
  return LargestLane(most, largest);
}

}  // namespace

// Groups of points whose samples are all at most the largest so far over kTruePeakSpread are
// left out, here and in the vector kernels: none of their values can exceed it.
float LargestPointMagnitude(const float* window, std::size_t points, float largest) {
  constexpr std::size_t kGroup = 16;
  const VectorKernels* kernels = ActiveKernels();
  std::size_t n = kernels != nullptr ? kernels->truePeak(window, points, largest) : 0;
  for (; n + kGroup <= points; n += kGroup) {
    const float samples = LargestSample(window + n, kGroup + kTruePeakTaps - 1, 0.0f);
    if (!(kTruePeakSpread * static_cast<double>(samples) <= static_cast<double>(largest)))
      largest = LargestOfFourLanes(window + n, kGroup, largest);
  }
  const std::size_t lanes = (points - n) / 4 * 4;
  largest = LargestOfFourLanes(window + n, lanes, largest);
  for (n += lanes; n < points; ++n) {
    const Phases point = TruePeakPoint(window + n, 1);
    for (const float value : {point[0], point[1], point[2], point[3]}) {
      const float magnitude = std::fabs(value);
      largest = magnitude > largest ? magnitude : largest;
    }
  }
  return largest;
}

}  // namespace wavfx
