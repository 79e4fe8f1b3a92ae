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

// log10(x) from frexp and + - * / alone, the same on every build, within about 1e-15
// relative: x = 2^k m with sqrt(1/2) <= m < sqrt(2), (k ln 2 + ln m) / ln 10 (ln m as in
// fast_power.h). -inf for 0, NaN below 0 and for NaN, +inf for +inf.
double LogTen(double x);

// ln x for a positive finite x and e^y, from frexp, ldexp and + - * / alone (fast_power.h's
// series), the same on every build, within about 1e-15 relative; y is taken as within -745 to
// 710 (e^y is 0 or +inf beyond); e^NaN is NaN.
double NaturalLog(double x);
double NaturalExp(double y);

// sin(pi x): exact reduction to [0, 1/2] and its Taylor series in a fixed order.
double SineOfPiTimes(double x);

// tan(pi x) for 0 <= x < 1/2, as sin(pi x) / sin(pi (1/2 - x)).
double TangentOfPiTimes(double x);

// The floor of x for |x| < 2^31, without a library call. Not for NaN.
inline double FloorSmall(double x) {
  const auto whole = static_cast<double>(static_cast<int32_t>(x));
  return whole > x ? whole - 1.0 : whole;
}

}  // namespace wavfx
