#include "measure/k_weighting.h"

#include "dsp/effect_math.h"

namespace wavfx {

KWeighting DesignKWeighting(uint32_t sampleRate) {
  const double rate = static_cast<double>(sampleRate);
  KWeighting k{};
  {
    constexpr double kFrequency = 1681.974450955533;
    constexpr double kGainDb = 3.999843853973347;
    constexpr double kQ = 0.7071752369554196;
    const double t = TangentOfPiTimes(kFrequency / rate);
    const double high = TenToThe(kGainDb / 20.0);
    const double band = TenToThe(kGainDb / 20.0 * 0.4996667741545416);
    const double a0 = 1.0 + t / kQ + t * t;
    k.shelf = {(high + band * t / kQ + t * t) / a0, 2.0 * (t * t - high) / a0,
               (high - band * t / kQ + t * t) / a0, 2.0 * (t * t - 1.0) / a0,
               (1.0 - t / kQ + t * t) / a0};
  }
  {
    constexpr double kFrequency = 38.13547087602444;
    constexpr double kQ = 0.5003270373238773;
    const double t = TangentOfPiTimes(kFrequency / rate);
    const double a0 = 1.0 + t / kQ + t * t;
    k.highpass = {1.0, -2.0, 1.0, 2.0 * (t * t - 1.0) / a0, (1.0 - t / kQ + t * t) / a0};
  }
  return k;
}

}  // namespace wavfx
