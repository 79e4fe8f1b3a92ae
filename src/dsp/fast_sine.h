#pragma once

// A sine for the oscillators' phases, accurate to about 6e-16, far closer than the rounding of
// its callers' results to single precision: when a result lies clearly inside one float's
// rounding interval, the C library's sine, which is as close, lands in the same interval. The
// few phases whose results lie near an interval's edge are handed to the library.
//
// The steps are written once for double and for vectors of doubles, so that the scalar and the
// vector paths compute the very same values.

namespace wavfx::fast_sine {

// The phases served: every float from 0 to 2 pi rounded to single precision.
constexpr float kMaxPhase = 6.2831855f;

// How far the library's sine may lie from this one for the shortcut to be taken: 32 units in
// the last place of a double near 1, against errors below 6 units here and 1 in the library.
constexpr double kMargin = 0x1p-48;

constexpr double kOneOverPi = 0.31830988618379067154;
// pi in two parts: the first of 33 bits, so that k * kPiHigh and p - k * kPiHigh are exact for
// the half-turns k = 0, 1 and 2 of a float phase p; the second the rest, rounded.
constexpr double kPiHigh = 3.14159265346825122833e+00;
constexpr double kPiLow = 1.21542010130123844986e-10;

// Taylor coefficients (-1)^n / (2n + 1)! up to x^19: the first term left out is below 3e-16
// for |r| <= pi / 2.
constexpr double kSin3 = -1.0 / 6.0;
constexpr double kSin5 = 1.0 / 120.0;
constexpr double kSin7 = -1.0 / 5040.0;
constexpr double kSin9 = 1.0 / 362880.0;
constexpr double kSin11 = -1.0 / 39916800.0;
constexpr double kSin13 = 1.0 / 6227020800.0;
constexpr double kSin15 = -1.0 / 1307674368000.0;
constexpr double kSin17 = 1.0 / 355687428096000.0;
constexpr double kSin19 = -1.0 / 121645100408832000.0;

// The half-turn k (0, 1 or 2) nearest a phase 0 <= p <= kMaxPhase, as a whole double, before
// truncation: k is this value's floor.
template <typename Double>
inline Double HalfTurns(Double phase) {
  return phase * kOneOverPi + 0.5;
}

// sin(p) = (-1)^k sin(p - k pi), and |p - k pi| <= pi / 2.
template <typename Double>
inline Double Reduce(Double phase, Double halfTurns) {
  return (phase - halfTurns * kPiHigh) - halfTurns * kPiLow;
}

// sin(r) for |r| <= pi / 2. The polynomial in z = r^2 is evaluated in pairs of terms (Estrin's
// scheme), which needs fewer dependent steps than Horner's.
template <typename Double>
inline Double SinPolynomial(Double r) {
  const Double z = r * r;
  const Double z2 = z * z;
  const Double z4 = z2 * z2;
  const Double z8 = z4 * z4;
  const Double low = (kSin3 + kSin5 * z) + (kSin7 + kSin9 * z) * z2;
  const Double high = (kSin11 + kSin13 * z) + (kSin15 + kSin17 * z) * z2;
  const Double tail = (low + high * z4) + kSin19 * z8;
  return r + r * z * tail;
}

}  // namespace wavfx::fast_sine
