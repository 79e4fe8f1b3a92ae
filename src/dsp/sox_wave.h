#pragma once

#include <cstdint>

#include "dsp/effect_math.h"

namespace wavfx {

// SoX's modulation waves at `point` of a period of `length` frames, from 0 to 1: the sine
// (sin(2 pi p / L) + 1) / 2, or the triangle 2p / L + 1/2, 3/2 - 2p / L, 2p / L - 3/2 by quarter.
inline double SoxWave(bool triangle, uint32_t point, uint32_t length) {
  const auto span = static_cast<double>(length);
  if (!triangle) return (SineOfPiTimes(static_cast<double>(point) / span * 2.0) + 1.0) / 2.0;
  const double d = static_cast<double>(point) * 2.0 / span;
  const uint64_t quarter = uint64_t{4} * point / length;
  return quarter == 0 ? d + 0.5 : quarter == 3 ? d - 1.5 : 1.5 - d;
}

// Where SoX starts a wave that it shifts by 3 pi / 2: int(3/4 L + 1/2), in SoX's double steps.
inline uint32_t SoxThreeQuarterStart(uint32_t length) {
  constexpr double kThreeHalvesPi = 3 * 1.57079632679489661923;
  constexpr double kPi = 3.14159265358979323846;
  return static_cast<uint32_t>(kThreeHalvesPi / kPi / 2 * static_cast<double>(length) + 0.5);
}

}  // namespace wavfx
