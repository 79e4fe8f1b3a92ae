#pragma once

namespace wavfx {

// The transcendental functions the effects use, in double precision. They are gathered here so
// that every effect evaluates them the same way.
double Exponential(double x);
double Sine(double x);
double Power(double base, double exponent);

}  // namespace wavfx
