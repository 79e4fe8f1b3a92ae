#include "effects/effect_math.h"

#include <cmath>

namespace wavfx {

double Exponential(double x) { return std::exp(x); }
double Sine(double x) { return std::sin(x); }
double Power(double base, double exponent) { return std::pow(base, exponent); }

}  // namespace wavfx
