#include "dsp/compand_curve.h"

#include <cmath>

#include "dsp/effect_math.h"
#include "dsp/simd_dispatch.h"

namespace wavfx {

double CompandGain(const CompandCurve& c, double level) {
  if (!(level > c.floorLevel)) return c.floorGain;  // NaN too
  if (!(level < HUGE_VAL)) return c.topGain;
  const double l = NaturalLog(level);
  uint32_t k = 1;
  while (k < c.last && l > c.segments[k + 1].x)
    ++k;
  if (k == c.last) return c.topGain;
  const CompandSegment& s = c.segments[k];
  const double d = l - s.x;
  return NaturalExp(s.y + d * (s.a * d + s.b));
}

void CompandGains(const CompandCurve& c, const double* levels, double* gains, std::size_t count) {
  const VectorKernels* kernels = ActiveKernels();
  std::size_t i = kernels != nullptr ? kernels->compandGains(c, levels, gains, count) : 0;
  for (; i < count; ++i)
    gains[i] = CompandGain(c, levels[i]);
}

}  // namespace wavfx
