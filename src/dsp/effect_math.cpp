#include "dsp/effect_math.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <limits>
#include <numbers>

#include "dsp/fast_power.h"
#include "dsp/fast_sine.h"

namespace wavfx {
namespace {

bool IsShortcutPhase(float phase) {
  return phase >= 0.0f && phase <= fast_sine::kMaxPhase;
}

// sin(phase) within about 6e-16, for 0 <= phase <= kMaxPhase.
double ShortcutSine(double phase) {
  using namespace fast_sine;
  const auto halfTurns = static_cast<int32_t>(HalfTurns(phase));
  const double sine = SinPolynomial(Reduce(phase, static_cast<double>(halfTurns)));
  return halfTurns == 1 ? -sine : sine;
}

// The operations of fast_power.h on one double.
struct ScalarBits {
  static uint64_t BitsOf(double x) { return std::bit_cast<uint64_t>(x); }
  static double DoubleFromBits(uint64_t x) { return std::bit_cast<double>(x); }
  static uint64_t SplatBits(uint64_t x) { return x; }
  static uint64_t AddBits(uint64_t a, uint64_t b) { return a + b; }
  static uint64_t SubtractBits(uint64_t a, uint64_t b) { return a - b; }
  static uint64_t ShiftLeftBits(uint64_t x, int n) { return x << n; }
  static uint64_t ShiftRightBits(uint64_t x, int n) { return x >> n; }
  static double FloorDouble(double x) { return FloorSmall(x); }
};

}  // namespace

double Exponential(double x) {
  return std::exp(x);
}
double Sine(double x) {
  return std::sin(x);
}
double Power(double base, double exponent) {
  return std::pow(base, exponent);
}

double TenToThe(double x) {
  const double n = FloorSmall(x);
  const double power = fast_power::Power<ScalarBits>(10.0, x - n);
  double whole = 1.0;
  for (double k = n < 0.0 ? -n : n; k > 0.0; k -= 1.0)
    whole *= 10.0;
  return n < 0.0 ? power / whole : power * whole;
}

// 1 / (2k + 1)!, each the one before divided by (2k)(2k + 1), as IEEE divisions at compile time.
constexpr auto kSineTerms = [] {
  std::array<double, 14> terms{};
  terms[0] = 1.0;
  for (std::size_t k = 1; k < 14; ++k)
    terms[k] = terms[k - 1] / static_cast<double>((2 * k) * (2 * k + 1));
  return terms;
}();

double SineOfPiTimes(double x) {
  double y = x - 2.0 * std::floor(x * 0.5);
  double sign = 1.0;
  if (y >= 1.0) {
    y -= 1.0;
    sign = -1.0;
  }
  if (y > 0.5) y = 1.0 - y;
  const double z = std::numbers::pi * y;
  const double z2 = z * z;
  double sum = 0.0;
  for (std::size_t k = 14; k-- > 0;)
    sum = (k % 2 == 0 ? kSineTerms[k] : -kSineTerms[k]) + z2 * sum;
  return sign * z * sum;
}

double TangentOfPiTimes(double x) {
  return SineOfPiTimes(x) / SineOfPiTimes(0.5 - x);
}

double NaturalLog(double x) {
  constexpr double kSqrtHalf = 0.70710678118654752440;
  int k = 0;
  double m = std::frexp(x, &k);
  if (m < kSqrtHalf) {
    m *= 2.0;
    --k;
  }
  const auto whole = static_cast<double>(k);
  return whole * fast_power::kLn2High + (fast_power::LogNearOne(m) + whole * fast_power::kLn2Low);
}

double NaturalExp(double y) {
  if (y != y) return y;  // before the conversion to int below
  y = std::clamp(y, -745.0, 710.0);
  const double n = FloorSmall(y * fast_power::kOneOverLn2 + 0.5);
  const double z = (y - n * fast_power::kLn2High) - n * fast_power::kLn2Low;
  return std::ldexp(fast_power::ExpNearZero(z), static_cast<int>(n));
}

double LogTen(double x) {
  if (x == 0.0) return -std::numeric_limits<double>::infinity();
  if (!(x > 0.0)) return std::numeric_limits<double>::quiet_NaN();
  if (x == std::numeric_limits<double>::infinity()) return x;
  constexpr double kLn10 = 2.30258509299404568402;
  return NaturalLog(x) / kLn10;
}

// The steps after the sine (an addition, a halving, the rounding to float) never decrease, so
// when the shortcut's value minus and plus the margin give one float, the library's value, which
// lies between them, gives that float too.
float SinePlusOne(float phase) {
  if (IsShortcutPhase(phase)) {
    const double sine = ShortcutSine(phase);
    const auto low = static_cast<float>((sine - fast_sine::kMargin) + 1.0);
    const auto high = static_cast<float>((sine + fast_sine::kMargin) + 1.0);
    if (low == high) return low;
  }
  return static_cast<float>(Sine(static_cast<double>(phase)) + 1.0);
}

float HalfSinePlusOne(float phase) {
  if (IsShortcutPhase(phase)) {
    const double sine = ShortcutSine(phase);
    const auto low = static_cast<float>(((sine - fast_sine::kMargin) + 1.0) * 0.5);
    const auto high = static_cast<float>(((sine + fast_sine::kMargin) + 1.0) * 0.5);
    if (low == high) return low;
  }
  return static_cast<float>((Sine(static_cast<double>(phase)) + 1.0) * 0.5);
}

// Decided as the sine is, with the margin relative to the power.
float PowerOfRatio(float ratio, float exponent) {
  if (ratio >= 1.0f && ratio <= fast_power::kMaxBase && exponent >= 0.0f && exponent <= 1.0f) {
    const double power = fast_power::Power<ScalarBits>(static_cast<double>(ratio), exponent);
    const auto low = static_cast<float>(power - power * fast_power::kMargin);
    const auto high = static_cast<float>(power + power * fast_power::kMargin);
    if (low == high) return low;
  }
  return static_cast<float>(Power(static_cast<double>(ratio), static_cast<double>(exponent)));
}

}  // namespace wavfx
