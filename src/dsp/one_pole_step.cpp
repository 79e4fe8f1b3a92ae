#include "dsp/one_pole_step.h"

#include "dsp/effect_math.h"

namespace wavfx {

float OnePoleCoefficient(float cutoff, uint32_t sampleRate) {
  // A zero rate gives 0 / 0 here: the coefficient is NaN and the output silence, harmlessly.
  return static_cast<float>(Exponential(static_cast<double>(cutoff) * -6.283185307179586 /
                                        static_cast<double>(sampleRate)));
}

}  // namespace wavfx
