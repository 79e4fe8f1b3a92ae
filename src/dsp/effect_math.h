#pragma once

#include <cstdint>

namespace wavfx {

// The transcendental functions of the effects, from the C library, in double precision. They are
// the reference that the shortcuts below reproduce.
double Exponential(double x);
double Sine(double x);
double Power(double base, double exponent);

// float(Sine(phase) + 1.0): the tremolo's oscillator.
float SinePlusOne(float phase);

// float((Sine(phase) + 1.0) * 0.5): the flanger's and the chorus's oscillator.
float HalfSinePlusOne(float phase);

// float(Power(ratio, exponent)): the compressor's gain curve, exponent 1 - 1 / its ratio.
float PowerOfRatio(float ratio, float exponent);

// 10^x for -8 <= x <= 8, from + - * / alone and so the same on every build: with n = floor(x),
// 10^n times the power 10^(x - n) of fast_power.h (10^n exact, its product or quotient rounded
// once), within about 6e-15 relative.
double TenToThe(double x);

// The floor of x for |x| < 2^31, without a library call. Not for NaN.
inline double FloorSmall(double x) {
  const auto whole = static_cast<double>(static_cast<int32_t>(x));
  return whole > x ? whole - 1.0 : whole;
}

}  // namespace wavfx
