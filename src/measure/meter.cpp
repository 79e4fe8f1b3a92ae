#include "measure/meter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "dsp/cleared_kernel.h"
#include "dsp/simd_dispatch.h"
#include "dsp/true_peak.h"

namespace wavfx {
namespace {

constexpr std::size_t kRunFrames = 4096;
constexpr std::size_t kHistory = kTruePeakTaps - 1;
constexpr std::size_t kWindow = kHistory + kRunFrames;

using IntPair = int32_t __attribute__((vector_size(8)));
using FloatPair = float __attribute__((vector_size(8)));

// Channel c's sample and the next channel's, or c's twice (`kSingle`).
template <bool kSingle, class T, class Sample>
T LoadPair(const Sample* at) {
  T pair;
  if constexpr (kSingle) {
    pair = T{at[0], at[0]};
  } else {
    std::memcpy(&pair, at, sizeof pair);
  }
  return pair;
}

// Exact conversions to double (GCC 12 turns __builtin_convertvector of two lanes into two scalar
// conversions).
ChannelPair Widen(IntPair x) {
#if defined(__SSE2__)
  return _mm_cvtepi32_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(&x)));
#else
  return __builtin_convertvector(x, ChannelPair);
#endif
}

ChannelPair Widen(FloatPair x) {
#if defined(__SSE2__)
  return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(&x))));
#else
  return __builtin_convertvector(x, ChannelPair);
#endif
}

ChannelPair Widen(ChannelPair x) {
  return x;
}

// Integer samples of `bits`: their values, full-scale count and bits used.
struct IntFrames {
  const int32_t* at;  // channel c of the run's first frame
  std::size_t stride;
  double scale;
  int32_t top;
  IntPair used = {0, 0};
  IntPair fullScale = {0, 0};  // negated

  template <bool kSingle>
  ChannelPair Load(std::size_t f) {
    const IntPair x = LoadPair<kSingle, IntPair>(at + f * stride);
    used |= x;
    fullScale += (x == top) | (x == -top - 1);
    return Widen(x) * scale;
  }
  void End(Meter& meter, std::size_t c, bool single) const {
    for (std::size_t lane = 0; lane < (single ? 1u : 2u); ++lane) {
      meter.stats[c + lane].usedBits |= static_cast<uint32_t>(used[lane]);
      meter.stats[c + lane].fullScale +=
          static_cast<uint64_t>(-static_cast<int64_t>(fullScale[lane]));
    }
  }
};

// Floats or doubles: non-finite ones become 0, counted; then those at or beyond full scale.
template <class Sample>
struct FloatFrames {
  using Pair = std::conditional_t<std::is_same_v<Sample, float>, FloatPair, ChannelPair>;
  using Mask = std::conditional_t<std::is_same_v<Sample, float>, IntPair,
                                  int64_t __attribute__((vector_size(16)))>;
  const Sample* at;
  std::size_t stride;
  Mask nonFinite = {0, 0};  // negated
  Mask fullScale = {0, 0};  // negated

  template <bool kSingle>
  ChannelPair Load(std::size_t f) {
    Pair x = LoadPair<kSingle, Pair>(at + f * stride);
    // x - x is 0 for every finite x and NaN for NaN and the infinities.
    const Mask finite = x - x == Sample{0};
    nonFinite += ~finite;
    x = (Pair)((Mask)x & finite);
    const Pair magnitude = (Pair)((Mask)x & ~(Mask)Pair{-Sample{0}, -Sample{0}});
    fullScale += magnitude >= Sample{1};
    return Widen(x);
  }
  void End(Meter& meter, std::size_t c, bool single) const {
    for (std::size_t lane = 0; lane < (single ? 1u : 2u); ++lane) {
      meter.nonFinite += static_cast<uint64_t>(-static_cast<int64_t>(nonFinite[lane]));
      meter.stats[c + lane].fullScale +=
          static_cast<uint64_t>(-static_cast<int64_t>(fullScale[lane]));
    }
  }
};

float* PeakWindow(Meter& meter, std::size_t c) {
  return meter.peakWindows.data() + c * kWindow;
}

// Frames `begin` to `end` of the run, of channels c and c + 1 (c alone, in both lanes, when it
// is the last of an odd count).
template <bool kSingle, class Frames>
[[gnu::always_inline]] inline void MeasurePair(Meter& meter, Frames frames, std::size_t c,
                                               std::size_t begin, std::size_t end) {
  const KWeighting& k = meter.loudness.filter;
  WeighingPair weighing = StartWeighing(meter.loudness, static_cast<uint32_t>(c));
  StatsPair stats = StartStats(&meter.stats[c], kSingle);
  float* first = PeakWindow(meter, c) + kHistory;
  float* second = kSingle ? first : PeakWindow(meter, c + 1) + kHistory;
  for (std::size_t f = begin; f < end; ++f) {
    const ChannelPair x = frames.template Load<kSingle>(f);
    AddToStats(stats, x);
    Weigh(k, weighing, x);
    const FloatPair narrow = __builtin_convertvector(x, FloatPair);
    first[f] = narrow[0];
    second[f] = narrow[1];
  }
  EndWeighing(meter.loudness, static_cast<uint32_t>(c), weighing);
  EndStats(&meter.stats[c], kSingle, stats, end - begin);
  frames.End(meter, c, kSingle);
}

// MeasurePair compiled for each vector path: the same operations on the same 2-lane vectors,
// encoded with three operands and more registers (no FMA contraction).
#if defined(__x86_64__)
template <bool kSingle, class Frames>
__attribute__((target("avx2,fma"))) void MeasurePairAvx2(Meter& meter, Frames frames, std::size_t c,
                                                         std::size_t begin, std::size_t end) {
  MeasurePair<kSingle>(meter, frames, c, begin, end);
}

template <bool kSingle, class Frames>
__attribute__((target("avx512f,avx512bw,avx512dq,avx512vl"))) void MeasurePairAvx512(
    Meter& meter, Frames frames, std::size_t c, std::size_t begin, std::size_t end) {
  MeasurePair<kSingle>(meter, frames, c, begin, end);
}
#endif

template <bool kSingle, class Frames>
void MeasurePairOnPath(Meter& meter, Frames frames, std::size_t c, std::size_t begin,
                       std::size_t end) {
#if defined(__x86_64__)
  switch (ActiveVectorPath()) {
    case VectorPath::Avx512:
      return Cleared<MeasurePairAvx512<kSingle, Frames>>::Call(meter, frames, c, begin, end);
    case VectorPath::Avx2:
      return Cleared<MeasurePairAvx2<kSingle, Frames>>::Call(meter, frames, c, begin, end);
    case VectorPath::Scalar:
      break;
  }
#endif
  MeasurePair<kSingle>(meter, frames, c, begin, end);
}

// A run of at most kRunFrames frames; `framesOf(c)` reads channel c (and c + 1) of its frames.
template <class FramesOf>
void MeterRun(Meter& meter, std::size_t run, const FramesOf& framesOf) {
  const std::size_t channels = meter.channels;
  for (std::size_t done = 0; done < run;) {
    const std::size_t piece =
        meter.sampleRate == 0 ? run : std::min(run - done, LoudnessRoom(meter.loudness));
    for (std::size_t c = 0; c + 1 < channels && piece > 0; c += 2)
      MeasurePairOnPath<false>(meter, framesOf(c), c, done, done + piece);
    if (channels % 2 == 1 && piece > 0)
      MeasurePairOnPath<true>(meter, framesOf(channels - 1), channels - 1, done, done + piece);
    if (meter.sampleRate != 0) AdvanceLoudness(meter.loudness, piece);
    done += piece;
  }
  for (std::size_t c = 0; c < channels; ++c) {
    float* window = PeakWindow(meter, c);
    meter.truePeaks[c] = LargestPointMagnitude(window, run, meter.truePeaks[c]);
    std::memmove(window, window + run, kHistory * sizeof(float));
  }
}

template <class Sample>
void MeterFloating(Meter& meter, const Sample* samples, std::size_t frames) {
  const std::size_t channels = meter.channels;
  while (frames > 0 && channels > 0) {
    const std::size_t run = std::min(frames, kRunFrames);
    MeterRun(meter, run, [&](std::size_t c) { return FloatFrames<Sample>{samples + c, channels}; });
    samples += run * channels;
    frames -= run;
  }
}

}  // namespace

void InitMeter(Meter& meter, uint32_t channels, uint32_t sampleRate, std::vector<double> weights) {
  meter = Meter{};
  meter.channels = channels;
  meter.sampleRate = sampleRate;
  if (weights.empty()) weights = DefaultLoudnessWeights(channels);
  InitLoudness(meter.loudness, channels, sampleRate, std::move(weights));
  meter.stats.assign(channels, ChannelStats{});
  meter.peakWindows.assign(kWindow * channels, 0.0f);
  meter.truePeaks.assign(channels, 0.0f);
}

void MeterFloats(Meter& meter, const float* samples, std::size_t frames) {
  MeterFloating(meter, samples, frames);
}

void MeterDoubles(Meter& meter, const double* samples, std::size_t frames) {
  MeterFloating(meter, samples, frames);
}

void MeterInts(Meter& meter, const int32_t* samples, std::size_t frames, int bits) {
  const std::size_t channels = meter.channels;
  meter.bits = bits;
  const double scale = std::ldexp(1.0, 1 - bits);
  const int32_t top = bits >= 32 ? std::numeric_limits<int32_t>::max()
                                 : static_cast<int32_t>((int64_t{1} << (bits - 1)) - 1);
  while (frames > 0 && channels > 0) {
    const std::size_t run = std::min(frames, kRunFrames);
    MeterRun(meter, run, [&](std::size_t c) {
      return IntFrames{samples + c, channels, scale, top};
    });
    samples += run * channels;
    frames -= run;
  }
}

MeterReport ReportMeter(const Meter& meter) {
  MeterReport report{};
  report.frames = meter.stats.empty() ? 0 : meter.stats[0].count;
  report.loudness = SummariseLoudness(meter.loudness);
  for (const ChannelStats& stats : meter.stats)
    report.channels.push_back(ReportStats(stats, meter.bits));
  report.overall = ReportStats(CombineStats(meter.stats), meter.bits);
  report.truePeak = -std::numeric_limits<double>::infinity();
  for (uint32_t c = 0; c < meter.channels; ++c) {
    report.truePeaks.push_back(Decibels(meter.truePeaks[c]));
    report.truePeak = std::max(report.truePeak, report.truePeaks.back());
  }
  report.nonFinite = meter.nonFinite;
  return report;
}

}  // namespace wavfx
