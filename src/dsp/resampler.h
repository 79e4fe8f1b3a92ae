#pragma once

#include <cstddef>
#include <cstdint>

#include "dsp/half_band.h"

// A band-limited sample-rate converter: a polyphase FIR, Kaiser-windowed sinc.
//
// Positions. With the rates reduced by their gcd to I (input) and O (output), output frame n is
// the filtered input at position n * I / O, kept as the exact pair k = floor(n * I / O) and
// r = n * I mod O in integers. Frame 0 is input frame 0: linear phase, no added delay. The input
// is taken as zeros before its start and after its end, and the whole output of N input frames
// is round(N * O / I) frames, halves rounded up: floor((2 * N * O + I) / (2 * I)).
//
// Filter. h(t) = 2 fc sinc(2 fc t) I0(beta sqrt(1 - (t / H)^2)) / I0(beta) for |t| < H input
// frames, 0 beyond; fc is a frequency in cycles per input frame placed so that the stopband
// starts at the lower of the two Nyquist frequencies. Output frame n is
//   sum over j = 0 .. 2H - 1 of x[k - H + 1 + j] * h(j - H + 1 - r / O),
// each phase's 2H coefficients scaled to sum to 1. 2H is a multiple of 64; the window spans it
// all, so the design's transition band only narrows with the padding. Coefficients are computed
// once, at initialisation, in double precision with this library's own sine and Bessel series,
// which use IEEE operations only in a fixed order: the tables have the same bits on every build.
// When the O phases would take more than 2^18 coefficients, the table holds P + 3 phases at
// steps of 1/P (P = 256 at the widest cutoff, fewer as fc narrows, at least 16) and each output
// frame's coefficients are the cubic Lagrange interpolation of the four phases around r / O.
//
// Qualities, relative to the lower Nyquist frequency (flatness up to, image and alias rejection;
// measured figures in docs/benchmarks.md):
//   Low       0.01 dB to 70%,  70 dB       single precision
//   Medium    0.01 dB to 80%,  100 dB      single precision
//   High      0.01 dB to 90%,  125 dB      single precision (the default)
//   VeryHigh  0.01 dB to 95%,  150 dB      double precision coefficients, history and sums
//
// Precision and rounding. Each dot product keeps 64 partial sums (32 for VeryHigh): partial sum
// j takes the products of taps j, j + 64, ... in order, each by a fused multiply-add (std::fma:
// one rounding, the same on every build), and the partial sums then add pairwise,
// j with j + 32, then j + 16, ... down to one. The vector paths compute those very sums, so the
// output bits are the same on every build and vector path, and never depend on how the input
// is cut into calls or on the output room given.
//
// Order. With a table of all O phases, the frames a call can write are computed phase by phase:
// frames n, n + O, n + 2O, ... share a row and lie I input frames apart, so each row is read once
// for all of them and all channels, four dot products to one load of the coefficients. With
// interpolated phases, frames go four at a time: in order, or on the vector paths, which mix each
// frame's phase in registers as its dot product goes, in the order of their table rows within
// stretches of 1024 frames, so that frames mixing the same rows find them in the nearest cache.
// When the O mixed phases take at most 8 MiB, they are kept, shared by the resamplers of the same
// ratio: each phase is mixed (as ResampleMixFloat) the first time it is used once 2 O frames have
// gone through them, and then only read. Each frame's sums are the same either way; the order and
// the sharing only decide speed.
//
// Two stages. Below half the input rate, in single precision, a half-band decimator by two
// (half_band.h) may go first: its transition band runs from the output's Nyquist frequency to
// its mirror image about a quarter of the input rate, its length follows the Kaiser design of
// the quality's attenuation plus 10 dB, its taps are h(t) above at fc = 1/4 with H = 2P and that
// attenuation's beta, scaled so that each side sums to 1/4. The polyphase stage then converts
// from half the input rate, with its own design for that ratio. The pair is used where its
// multiply-adds an output frame, 2H' + 2P (inRate / 2 outRate), are fewer than the one stage's
// 2H. The positions, lengths and rounding rules above hold for the pair; the decimator's outputs
// are single-precision values.
//
// Ratios. outRate / inRate within [1/256, 256], both rates reduced below 2^40.
//
// Memory. The tables and mixed phases (shared by resamplers of the same rates and quality, the
// last few unused ones kept for the next), and a history of 2H + B frames a channel (B = 2^20 /
// channels clamped to [256, 4096], at least 2H), whatever the length of the stream.

namespace wavfx {

enum class ResampleQuality : int32_t { Low = 0, Medium = 1, High = 2, VeryHigh = 3 };

constexpr uint64_t kMaxResampleFactor = 256;
constexpr uint64_t kMaxReducedRate = uint64_t{1} << 40;

using ResampleDotFloat = float (*)(const float* x, const float* c, std::size_t taps);
using ResampleDotDouble = double (*)(const double* x, const double* c, std::size_t taps);
// Four dot products, x[d] with c[d], each with ResampleDotFloat's sums.
using ResampleDot4Float = void (*)(const float* const* x, const float* const* c, std::size_t taps,
                                   float* out);

// The dot products of x[i] with one phase c into out[slots[i]], for i in [0, count), each with
// ResampleDotFloat's sums.
using ResamplePhaseFloat = void (*)(const float* const* x, const std::size_t* slots,
                                    std::size_t count, const float* c, std::size_t taps,
                                    float* out);

// out[j] = ((w[0] row0[j] + w[1] row1[j]) + w[2] row2[j]) + w[3] row3[j] over four consecutive
// rows of `taps` coefficients, in that order on every path.
using ResampleMixFloat = void (*)(const float* rows, std::size_t taps, const float* w, float* out);

// The weights of four consecutive table rows for a phase part / steps of the way from the second
// row's to the third's (cubic Lagrange interpolation), in double precision rounded to T.
template <class T>
inline void ResampleWeights(uint64_t part, uint64_t steps, T* w) {
  const double u = static_cast<double>(part) / static_cast<double>(steps);
  const double a = u + 1.0;
  const double b = u - 1.0;
  const double d = u - 2.0;
  w[0] = static_cast<T>(-(u * b * d) / 6.0);
  w[1] = static_cast<T>(a * b * d * 0.5);
  w[2] = static_cast<T>(-(a * u * d) * 0.5);
  w[3] = static_cast<T>(a * u * b / 6.0);
}

// Dot products of x[d] with the mix (as ResampleMixFloat) of the four rows from rows[d] by
// ResampleWeights(parts[d], steps), into out[slots[d]] for d in [0, count), count at most 4; each
// with ResampleDotFloat's sums. The weights and mixed coefficients stay in registers.
using ResampleMixDotFloat = void (*)(const float* const* x, const float* const* rows,
                                     const uint64_t* parts, uint64_t steps, std::size_t count,
                                     std::size_t taps, const std::size_t* slots, float* out);

// Output frames computed together (their dot products four at a time).
constexpr std::size_t kResampleGroupFrames = 4;

struct MixedPhases;

struct Resampler {
  uint64_t lengthIn;  // I and O of the whole conversion, for its lengths
  uint64_t lengthOut;
  HalfBand half;           // the decimator ahead; half.pairs is 0 without one
  uint64_t inStep;         // I of the polyphase stage (2 I / gcd with the decimator)
  uint64_t outStep;        // O
  uint64_t wholeStep;      // I / O
  uint64_t remainderStep;  // I mod O
  uint32_t channels;
  bool wide;             // double precision (VeryHigh)
  bool interpolated;     // phases between table rows are interpolated
  uint32_t taps;         // 2H
  uint64_t rows;         // phases in the table
  uint64_t tablePhases;  // P when interpolated
  const void* table;     // rows * taps coefficients (float, or double when wide), shared
  MixedPhases* mixed;    // interpolated: the O phases mixed as used, shared; null if too large
  void* scratch;         // one interpolated phase
  void* history;         // channels * capacity frames, channel by channel
  std::size_t capacity;
  // The history holds s[origin .. origin + fill) of the input prefixed with H - 1 zeros,
  // s[i] = x[i - H + 1]; output frame n reads s[k .. k + 2H).
  uint64_t origin;
  std::size_t fill;
  uint64_t consumed;   // input frames taken (before the decimator)
  uint64_t produced;   // output frames written
  uint64_t whole;      // k of the next output frame
  uint64_t remainder;  // r of the next output frame
  ResampleDotFloat dotFloat;
  ResampleDotDouble dotDouble;
  ResampleDot4Float dot4Float;
  ResamplePhaseFloat phaseFloat;
  ResampleMixFloat mixFloat;
  ResampleMixDotFloat mixDotFloat;  // null where the mix goes through `scratch`
};

// Prepares `r` to convert interleaved frames of `channels` channels (1 to 65535) from inRate to
// outRate. Returns false, with nothing to release, when a rate is 0, the ratio or the reduced
// rates are outside the range above, or memory is short.
bool InitResampler(Resampler& r, uint64_t inRate, uint64_t outRate, uint32_t channels,
                   ResampleQuality q);

// Takes up to inFrames frames and writes up to outRoom frames; `consumed` and `produced` tell
// how many. Input is taken while the history can hold it, so a call with room enough for the
// output takes all it is offered.
void RunResampler(Resampler& r, const float* in, std::size_t inFrames, float* out,
                  std::size_t outRoom, std::size_t& consumed, std::size_t& produced);

// After the last input: writes up to outRoom of the frames still due (the input continued by
// zeros) and returns how many; 0 once the output is complete. Only ResetResampler or
// ReleaseResampler may follow.
std::size_t DrainResampler(Resampler& r, float* out, std::size_t outRoom);

// Starts a new stream with the same settings, allocating nothing.
void ResetResampler(Resampler& r);

// The output frames the input so far is due, round(N * O / I), less those it already allows.
uint64_t ResamplerLatency(const Resampler& r);

// Frees the memory; a second call does nothing.
void ReleaseResampler(Resampler& r);

// The output frames due for `inFrames` input frames: round(inFrames * O / I), halves up.
uint64_t ResampledLength(const Resampler& r, uint64_t inFrames);

// The dot products and phase mixes of the vector paths, for resampler.cpp's dispatch.
float ResampleDotFloatAvx2(const float* x, const float* c, std::size_t taps);
float ResampleDotFloatAvx512(const float* x, const float* c, std::size_t taps);
double ResampleDotDoubleAvx2(const double* x, const double* c, std::size_t taps);
double ResampleDotDoubleAvx512(const double* x, const double* c, std::size_t taps);
void ResampleDot4FloatAvx512(const float* const* x, const float* const* c, std::size_t taps,
                             float* out);
void ResampleDot4FloatAvx2(const float* const* x, const float* const* c, std::size_t taps,
                           float* out);
void ResamplePhaseFloatAvx2(const float* const* x, const std::size_t* slots, std::size_t count,
                            const float* c, std::size_t taps, float* out);
void ResamplePhaseFloatAvx512(const float* const* x, const std::size_t* slots, std::size_t count,
                              const float* c, std::size_t taps, float* out);
void ResampleMixDotFloatAvx2(const float* const* x, const float* const* rows, const uint64_t* parts,
                             uint64_t steps, std::size_t count, std::size_t taps,
                             const std::size_t* slots, float* out);
void ResampleMixDotFloatAvx512(const float* const* x, const float* const* rows,
                               const uint64_t* parts, uint64_t steps, std::size_t count,
                               std::size_t taps, const std::size_t* slots, float* out);

}  // namespace wavfx
