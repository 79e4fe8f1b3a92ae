#pragma once

#include <cstdint>

// A power r^e for 1 <= r <= 2^20 and 0 <= e <= 1, as exp(e ln r), within about 5e-15 relative:
// when the result lies clearly inside one float's rounding interval, the C library's power,
// correct to within a unit in the last place of a double, lands in the same interval. The few
// results near an interval's edge are handed to the library.
//
// The steps are written once over an operations class B, for double (ScalarBits in
// effect_math.cpp) and for vectors of doubles (the vector kernels' traits): B::BitsOf and
// B::DoubleFromBits reinterpret a double's bits as a 64-bit integer, with SplatBits, AddBits,
// SubtractBits, ShiftLeftBits and ShiftRightBits (logical) on those, and FloorDouble.

namespace wavfx::fast_power {

constexpr float kMaxBase = 0x1p20f;

// How far from this power the library's may lie, relative, for the shortcut to be taken: over
// a hundred times the error here.
constexpr double kMargin = 0x1p-40;

// The bits of sqrt(1/2): r = 2^k m with sqrt(1/2) <= m < sqrt(2).
constexpr uint64_t kSqrtHalfBits = 0x3FE6A09E667F3BCDu;
// 2^52 as bits and as a double: k + 2^52 holds the whole number k in its low bits.
constexpr uint64_t kTwo52Bits = 0x4330000000000000u;
constexpr double kTwo52 = 0x1p52;

// ln 2 in two parts: the first with 32 trailing zero bits, so that n * kLn2High is exact for the
// n that occur (at most 21), the second the rest.
constexpr double kLn2High = 6.93147180369123816490e-01;
constexpr double kLn2Low = 1.90821492927058770002e-10;
constexpr double kOneOverLn2 = 1.44269504088896338700e+00;

// The polynomials are evaluated in pairs of terms (Estrin's scheme), which needs fewer dependent
// steps than Horner's.

// ln m for sqrt(1/2) <= m <= sqrt(2): 2 atanh(s), s = (m - 1) / (m + 1), |s| <= 0.1716, with
// the series to s^17; the first term left out is below 1e-15 of the sum.
template <typename Double>
inline Double LogNearOne(Double m) {
  const Double s = (m - 1.0) / (m + 1.0);
  const Double z = s * s;
  const Double z2 = z * z;
  const Double z4 = z2 * z2;
  const Double z8 = z4 * z4;
  const Double low = (1.0 + z * (1.0 / 3.0)) + (1.0 / 5.0 + z * (1.0 / 7.0)) * z2;
  const Double middle = (1.0 / 9.0 + z * (1.0 / 11.0)) + (1.0 / 13.0 + z * (1.0 / 15.0)) * z2;
  return (s + s) * ((low + middle * z4) + z8 * (1.0 / 17.0));
}

// exp(z) for |z| <= 0.35 by its Taylor series to z^12; the first term left out is below 2e-16.
template <typename Double>
inline Double ExpNearZero(Double z) {
  const Double z2 = z * z;
  const Double z4 = z2 * z2;
  const Double z8 = z4 * z4;
  const Double q0 = (1.0 + z) + (0.5 + z * (1.0 / 6.0)) * z2;
  const Double q1 = (1.0 / 24.0 + z * (1.0 / 120.0)) + (1.0 / 720.0 + z * (1.0 / 5040.0)) * z2;
  const Double q2 =
      (1.0 / 40320.0 + z * (1.0 / 362880.0)) + (1.0 / 3628800.0 + z * (1.0 / 39916800.0)) * z2;
  return (q0 + q1 * z4) + (q2 + z4 * (1.0 / 479001600.0)) * z8;
}

// The whole number k (0 <= k < 2^52) held in the low bits of an integer, as a double.
template <class B, typename Double, typename Bits>
inline Double WholeToDouble(Bits k) {
  return B::DoubleFromBits(B::AddBits(k, B::SplatBits(kTwo52Bits))) - kTwo52;
}

// ln r for 1 <= r <= kMaxBase: with r = 2^k m, sqrt(1/2) <= m < sqrt(2), k ln 2 + ln m.
template <class B, typename Double>
inline Double LogOf(Double r) {
  const auto bits = B::BitsOf(r);
  const auto k = B::ShiftRightBits(B::SubtractBits(bits, B::SplatBits(kSqrtHalfBits)), 52);
  const Double m = B::DoubleFromBits(B::SubtractBits(bits, B::ShiftLeftBits(k, 52)));
  const Double wholeK = WholeToDouble<B, Double>(k);
  return wholeK * kLn2High + (LogNearOne(m) + wholeK * kLn2Low);
}

// e^y for 0 <= y <= ln kMaxBase: with y = n ln 2 + z, |z| <= 0.35, 2^n exp(z).
template <class B, typename Double>
inline Double ExpOf(Double y) {
  const Double n = B::FloorDouble(y * kOneOverLn2 + 0.5);
  const Double z = (y - n * kLn2High) - n * kLn2Low;
  // 2^n from n + 2^52, whose low bits hold n.
  const Double twoToN = B::DoubleFromBits(
      B::ShiftLeftBits(B::AddBits(B::BitsOf(n + kTwo52), B::SplatBits(1023)), 52));
  return ExpNearZero(z) * twoToN;
}

// r^e for 1 <= r <= kMaxBase and 0 <= e <= 1.
template <class B, typename Double>
inline Double Power(Double r, double e) {
  return ExpOf<B>(LogOf<B>(r) * e);
}

}  // namespace wavfx::fast_power
