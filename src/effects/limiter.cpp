#include "effects/limiter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "dsp/effect_math.h"
#include "dsp/sample_buffer.h"
#include "dsp/simd_dispatch.h"
#include "dsp/true_peak.h"

namespace wavfx {
namespace {

constexpr wavfx_parameter_info kParameters[] = {
    {"ceiling", "dBFS", -1, -60, 0, 0, "the largest peak let through"},
    {"release", "ms", 50, 1, 5000, 0, "time constant of the gain's recovery"},
    {"lookahead", "ms", 5, 0.1, 100, 0, "how far ahead the gain starts to fall"},
    {"truepeak", "", 1, 0, 1, 1, "1: limit the true (4x interpolated) peak, 0: the sample peak"},
};
constexpr std::size_t kCeiling = 0, kRelease = 1, kLookahead = 2, kTruePeak = 3;

// Frames of a gain block in true-peak mode: an interpolation window spans at most two blocks.
constexpr uint32_t kBlock = kTruePeakTaps;
// Floats per channel of what a block keeps for the next: 11 points' four sums, its largest
// magnitude and a mark.
constexpr uint32_t kBeforeMost = 4 * (kBlock - 1);
constexpr uint32_t kCarried = kBeforeMost + 2;
// Frames worked on at a time; the ring holds that many more than the delay needs.
constexpr std::size_t kChunk = 256;
constexpr double kSpread = kTruePeakSpread;
// The ceiling is lowered by this fraction, far more than the rounding of the output samples and
// of the single-precision sums below (a few 1e-6 of the ceiling at most).
constexpr double kMargin = 0x1p-16;

// The largest float not above `value` (value >= 0): the nearest float, one step down when it
// rounded up (the step taken on the bits, without a branch).
float AtMost(double value) {
  const auto rounded = static_cast<float>(value);
  uint32_t bits = 0;
  std::memcpy(&bits, &rounded, sizeof bits);
  bits -= static_cast<double>(rounded) > value ? 1u : 0u;
  float result = 0.0f;
  std::memcpy(&result, &bits, sizeof result);
  return result;
}

// The gain that brings `peak` down to the ceiling; exactly 1 (c / c) when it is not above it.
float Demand(double ceiling, float peak) {
  const auto p = static_cast<double>(peak);
  return p <= ceiling ? 1.0f : AtMost(ceiling / p);
}

// |x|, without a branch on the sign. Magnitudes only meet maxima that start at +0 and products
// compared with the ceiling, where the sign of a zero never shows.
float Magnitude(float x) {
  return std::fabs(x);
}

float FramePeak(const float* frame, std::size_t channels) {
  float peak = 0.0f;
  for (std::size_t c = 0; c < channels; ++c)
    peak = std::max(peak, Magnitude(frame[c]));
  return peak;
}

uint32_t Wrapped(uint32_t slot, uint32_t back, uint32_t size) {
  return slot >= back ? slot - back : slot + size - back;
}

void Limit(double ceiling, float magnitude, double& bound) {
  if (static_cast<double>(magnitude) * bound > ceiling) bound = ceiling / magnitude;
}

// The largest of the point bounds of the 12 frames up to ring slot `newest`.
float PointsReach(const LimiterState& s, uint32_t newest) {
  float most = 0.0f;
  const uint32_t oldest = Wrapped(newest, kBlock - 1, s.ringFrames);
  if (oldest < newest) {
    for (uint32_t t = oldest; t <= newest; ++t)
      most = std::max(most, s.reaches[t]);
    return most;
  }
  for (uint32_t t = 0; t < kBlock; ++t)
    most = std::max(most, s.reaches[Wrapped(newest, t, s.ringFrames)]);
  return most;
}

// True when no point whose window straddles blocks b - 1 and b, nor the point within block b, can
// lower the bound: with P1 and P2 a point's parts (within a few 1e-6 of `all` of its value,
// which `reach` bounds), |g_(b-1) P1 + g_b P2| <= g_b |P1 + P2| + |g_(b-1) - g_b| |P1| keeps
// every quotient at least the bound. The margins take the rounding of the quotients' operands.
bool HeadsFit(double c, double previous, double bound, float reach, float before, float all) {
  const double spread = kSpread * static_cast<double>(all);
  const double most = bound * (static_cast<double>(reach) + 1e-5 * static_cast<double>(all)) +
                      std::fabs(previous - bound) * kSpread * static_cast<double>(before) +
                      0x1p-30 * (std::fabs(previous) + bound) * spread;
  return bound >= 0.0 && most <= c * (1.0 - 0x1p-20);
}

// The gain of block b (frames 12b to 12b + 11, the last at ring slot `newest`), the previous
// block's gain being s.run.gain: the smallest envelope over the block, lowered until every sample
// and every interpolated value whose window meets the block stays within the ceiling. With x the
// input and g the gains, a point whose window lies in the block has g_b times its value; one
// straddling blocks b - 1 and b has g_(b-1) P1 + g_b P2, P1 and P2 the sums over each block's
// part; and one straddling b and b + 1 g_b P1 + g_(b+1) P2. Keeping |g_b P1| within the ceiling
// for the last kind leaves 0 a solution for the next block, so some gain always fits. The P1 of
// the last kind are kept for the next block, which needs them as its first kind's.
__attribute__((noinline)) float BlockGain(const LimiterState& s, uint32_t newest) {
  const double c = s.ceiling;
  const double previous = s.run.gain;
  double bound = std::min(s.run.envelopeMin, 1.0f);
  const uint32_t oldest = Wrapped(newest, 2 * kBlock - 1, s.ringFrames);
  for (std::size_t ch = 0; ch < s.channels; ++ch) {
    float w[2 * kBlock];  // blocks b - 1 and b
    const auto gather = [&](uint32_t from, uint32_t to) {
      if (oldest + 2 * kBlock <= s.ringFrames) {
        const float* x = s.delayed + std::size_t{oldest} * s.channels + ch;
        for (uint32_t t = from; t < to; ++t)
          w[t] = x[t * s.channels];
      } else {
        for (uint32_t t = from; t < to; ++t)
          w[t] = s.delayed[Wrapped(newest, 2 * kBlock - 1 - t, s.ringFrames) * s.channels + ch];
      }
    };
    gather(kBlock, 2 * kBlock);
    // The block's largest magnitude, four maxima at a time (each starts at 0, so none is NaN);
    // the block before's was kept.
    float most[4] = {};
    for (uint32_t t = kBlock; t < 2 * kBlock; t += 4) {
      for (uint32_t k = 0; k < 4; ++k)
        most[k] = std::max(most[k], Magnitude(w[t + k]));
    }
    float* kept = s.carried + ch * kCarried;
    const float latest = std::max(std::max(most[0], most[1]), std::max(most[2], most[3]));
    const float before = kept[kBeforeMost];
    const float all = std::max(before, latest);
    kept[kBeforeMost] = latest;
    // No sample lowers the bound unless the largest does (the rounded products keep their order).
    if (static_cast<double>(latest) * bound > c) {
      for (uint32_t t = kBlock; t < 2 * kBlock; ++t)
        Limit(c, Magnitude(w[t]), bound);
    }
    if (std::max(previous, bound) * kSpread * all <= c) {
      kept[kCarried - 1] = 0.0f;  // nothing kept
      continue;
    }
    if (HeadsFit(c, previous, bound, PointsReach(s, newest), before, all)) {
      // The tails' largest magnitude (NaNs left out, as they lower nothing) tells whether any
      // of them lowers the bound; if one may, they do so in order.
      Phases largest = {};
      for (uint32_t m = 0; m + 1 < kBlock; ++m) {
        const Phases tail = TruePeakSums(w + kBlock + 1 + m, 1, 0, kTruePeakTaps - 1 - m);
        std::memcpy(kept + 4 * m, &tail, sizeof tail);
        const Phases magnitude = tail < 0.0f ? -tail : tail;
        largest = magnitude > largest ? magnitude : largest;
      }
      if (static_cast<double>(LargestMagnitude(largest)) * bound > c) {
        for (uint32_t m = 0; m + 1 < kBlock; ++m) {
          Phases tail;
          std::memcpy(&tail, kept + 4 * m, sizeof tail);
          Limit(c, LargestMagnitude(tail), bound);
        }
      }
      kept[kCarried - 1] = 1.0f;
      continue;
    }
    if (kept[kCarried - 1] == 0.0f) gather(0, kBlock);
    Phases head[kBlock - 1];
    for (uint32_t m = 0; m + 1 < kBlock; ++m) {
      if (kept[kCarried - 1] != 0.0f) {
        std::memcpy(&head[m], kept + 4 * m, sizeof head[m]);
      } else {
        head[m] = TruePeakSums(w + 1 + m, 1, 0, kTruePeakTaps - 1 - m);
      }
    }
    Limit(c, LargestMagnitude(TruePeakPoint(w + kBlock, 1)), bound);
    for (uint32_t m = 0; m + 1 < kBlock; ++m) {
      const Phases tail = TruePeakSums(w + kBlock + 1 + m, 1, 0, kTruePeakTaps - 1 - m);
      std::memcpy(kept + 4 * m, &tail, sizeof tail);
      Limit(c, LargestMagnitude(tail), bound);
      const Phases rest = TruePeakSums(w + kBlock, 1, kTruePeakTaps - 1 - m, kTruePeakTaps);
      for (std::size_t p = 0; p < kTruePeakPhases; ++p) {
        if (rest[p] == 0.0f) continue;
        const double a = previous * static_cast<double>(head[m][p]);
        const double room = c - (rest[p] > 0.0f ? a : -a);
        bound = std::min(bound, std::max(room, 0.0) / static_cast<double>(Magnitude(rest[p])));
      }
    }
    kept[kCarried - 1] = 1.0f;
  }
  return AtMost(bound);
}

// Adds to each frame's sample peak, in true-peak mode, its points' interpolated values (the
// point ending at the frame). Those are at most kSpread times the window's largest sample, which
// the blocks' peaks bound: below the ceiling they need not be computed. Each channel's samples
// follow its last 11 in `windows`.
__attribute__((noinline)) void AddTruePeaks(LimiterState& s, const float* samples,
                                            std::size_t count, float* peaks, float* reaches) {
  constexpr std::size_t kHistory = kTruePeakTaps - 1;
  bool near[kChunk];
  std::size_t first = count, last = 0;
  for (std::size_t f = 0; f < count; ++f) {
    s.run.blockPeak = std::max(s.run.blockPeak, peaks[f]);
    near[f] = kSpread * std::max(s.run.blockPeak, s.run.recentPeak) > s.ceiling;
    if (near[f]) {
      first = std::min(first, f);
      last = f;
    }
    if (++s.run.windowSlot == kTruePeakTaps) {
      s.run.windowSlot = 0;
      s.run.recentPeak = s.run.blockPeak;
      s.run.blockPeak = 0.0f;
    }
  }
  const VectorKernels* kernels = ActiveKernels();
  float points[kChunk];
  for (std::size_t ch = 0; ch < s.channels; ++ch) {
    float* window = s.windows + ch * (kHistory + kChunk);
    for (std::size_t f = 0; f < count; ++f)
      window[kHistory + f] = samples[f * s.channels + ch];
    if (first < count) {
      const std::size_t span = last + 1 - first;
      std::size_t n =
          kernels != nullptr ? kernels->truePeakPoints(window + first, span, points) : 0;
      for (; n < span; ++n)
        points[n] = LargestMagnitude(TruePeakPoint(window + first + n, 1));
      for (std::size_t f = first; f <= last; ++f) {
        if (near[f]) peaks[f] = std::max(peaks[f], points[f - first]);
      }
    }
    std::memmove(window, window + count, kHistory * sizeof(float));
  }
  for (std::size_t f = 0; f < count; ++f)
    reaches[f] = near[f] ? peaks[f] : std::numeric_limits<float>::infinity();
}

// suffix[j] = the smallest of block[j] to block[span - 1], in eight runs side by side (a chain
// of minima would wait on each one), each run then lowered to the start of the runs after it.
void SuffixMinima(const float* block, float* suffix, uint32_t span) {
  constexpr uint32_t kRuns = 8;
  const uint32_t q = span / kRuns;
  float least[kRuns];
  std::fill_n(least, kRuns, 1.0f);
  for (uint32_t j = span; j-- > kRuns * q;)
    suffix[j] = least[kRuns - 1] = std::min(block[j], least[kRuns - 1]);
  for (uint32_t k = q; k-- > 0;) {
    for (uint32_t r = 0; r < kRuns; ++r)
      suffix[r * q + k] = least[r] = std::min(block[r * q + k], least[r]);
  }
  for (uint32_t r = kRuns - 1; q > 0 && r-- > 0;) {
    const float after = suffix[(r + 1) * q];
    for (uint32_t k = 0; k < q; ++k)
      suffix[r * q + k] = std::min(suffix[r * q + k], after);
  }
}

// Each demand replaced by the minimum of the last `span` (van Herk, Gil-Werman): the stream is
// cut into blocks of span frames, and a frame's window is the rest of the block before (that
// block's minima from the back) and its own block up to the frame (the minimum from the front).
// In the first block the window holds only frames of the stream, up to the frame.
void SlidingMinima(LimiterState& s, float* values, std::size_t count) {
  const uint32_t span = s.span;
  float* const block = s.minimum;
  float* const suffix = s.minimum + span;
  uint32_t at = s.run.blockAt;
  float front = s.run.front;
  for (std::size_t f = 0; f < count; ++f) {
    const float demand = values[f];
    front = at == 0 ? demand : std::min(front, demand);
    block[at] = demand;
    const bool first = s.run.seen + f < span;
    values[f] = at + 1 == span || first ? front : std::min(suffix[at + 1], front);
    if (++at == span) {
      at = 0;
      SuffixMinima(block, suffix, span);
    }
  }
  s.run.blockAt = at;
  s.run.front = front;
}

// True (and the chunk's envelopes written) when the chunk leaves the envelope where it is: every
// minimum is 1, the release is at its fixed point and the last D values of the mean are all
// 1 - smooth, which adding and taking away leaves the sum as it is.
bool AtRest(LimiterState& s, float* values, std::size_t count) {
  const float smooth = s.run.smooth;
  const float fresh = 1.0f - smooth;
  const double sum = s.run.sum;
  if (s.run.settled < s.lookahead || 1.0f + (smooth - 1.0f) * s.release != smooth ||
      sum + static_cast<double>(fresh) - static_cast<double>(fresh) != sum) {
    return false;
  }
  std::size_t ones = 0;
  for (std::size_t f = 0; f < count; ++f)
    ones += values[f] == 1.0f ? 1 : 0;
  if (ones != count) return false;
  std::fill_n(values, count, static_cast<float>(1.0 - sum * s.inverseLookahead));
  s.run.releasedSlot = static_cast<uint32_t>((s.run.releasedSlot + count) % s.lookahead);
  return true;
}

// Turns a chunk's demands into envelopes: their minimum over the last `span` frames, released
// (s = h < s ? h : h + (s - h) r), then the mean of the last D: a ramp of D frames down to every
// demand, which the delay lets finish before the frame it is for.
void Envelopes(LimiterState& s, float* values, std::size_t count) {
  SlidingMinima(s, values, count);
  if (AtRest(s, values, count)) return;
  const float release = s.release;
  float* const released = s.released;
  uint32_t slot = s.run.releasedSlot;
  float smooth = s.run.smooth;
  double sum = s.run.sum;
  float previous = 1.0f - smooth;
  uint32_t settled = s.run.settled;
  for (std::size_t f = 0; f < count; ++f) {
    const float least = values[f];
    smooth = least < smooth ? least : least + (smooth - least) * release;
    const float fresh = 1.0f - smooth;
    settled = fresh == previous ? std::min(settled, s.lookahead) + 1 : 1;
    previous = fresh;
    sum = sum + static_cast<double>(fresh) - static_cast<double>(released[slot]);
    released[slot] = fresh;
    slot = slot + 1 == s.lookahead ? 0 : slot + 1;
    values[f] = static_cast<float>(1.0 - sum * s.inverseLookahead);
  }
  s.run.releasedSlot = slot;
  s.run.smooth = smooth;
  s.run.sum = sum;
  s.run.settled = settled;
}

// Calls run(frame, slot, frames) for the runs of `count` frames from ring slot `slot` on that do
// not wrap.
template <class Run>
void ForRuns(uint32_t slot, std::size_t count, uint32_t ringFrames, Run run) {
  for (std::size_t f = 0; f < count;) {
    const std::size_t frames = std::min<std::size_t>(count - f, ringFrames - slot);
    run(f, slot, frames);
    f += frames;
    slot = slot + frames == ringFrames ? 0 : slot + static_cast<uint32_t>(frames);
  }
}

void FramePeaks(const float* samples, std::size_t count, std::size_t channels, float* peaks) {
  if (channels == 2) {
    for (std::size_t f = 0; f < count; ++f)
      peaks[f] = std::max(std::max(0.0f, Magnitude(samples[2 * f])), Magnitude(samples[2 * f + 1]));
    return;
  }
  for (std::size_t f = 0; f < count; ++f)
    peaks[f] = FramePeak(samples + f * channels, channels);
}

// A chunk at a time: the input into the ring and each frame's demand; the envelopes; the gains
// (per frame, or per block of 12 in true-peak mode); the delayed frames times their gains. The
// state is worked on in a copy, which the samples cannot alias.
void ProcessLimiter(LimiterState& state, float* samples, int32_t frames) {
  LimiterState s = state;
  const std::size_t channels = s.channels;
  const uint64_t envelopeLag = s.truePeak != 0 ? s.lookahead + 10u : s.lookahead - 1u;
  float values[kChunk];
  float gains[kChunk];
  for (auto left = static_cast<std::size_t>(std::max(frames, 0)); left > 0;) {
    const std::size_t count = std::min(kChunk, left);
    const uint32_t start = s.run.slot;
    ForRuns(start, count, s.ringFrames, [&](std::size_t f, uint32_t slot, std::size_t run) {
      std::memcpy(s.delayed + std::size_t{slot} * channels, samples + f * channels,
                  run * channels * sizeof(float));
    });
    s.run.slot = Wrapped(start, s.ringFrames - static_cast<uint32_t>(count), s.ringFrames);
    FramePeaks(samples, count, channels, values);
    if (s.truePeak != 0) {
      float reaches[kChunk];
      AddTruePeaks(s, samples, count, values, reaches);
      ForRuns(start, count, s.ringFrames, [&](std::size_t f, uint32_t slot, std::size_t run) {
        std::memcpy(s.reaches + slot, reaches + f, run * sizeof(float));
      });
    }
    for (std::size_t f = 0; f < count; ++f)
      values[f] = Demand(s.ceiling, values[f]);
    if (s.truePeak == 0) {
      ForRuns(start, count, s.ringFrames, [&](std::size_t f, uint32_t slot, std::size_t run) {
        std::memcpy(s.demands + slot, values + f, run * sizeof(float));
      });
    }
    Envelopes(s, values, count);
    const uint32_t first = Wrapped(start, s.delay, s.ringFrames);
    if (s.truePeak == 0) {
      ForRuns(first, count, s.ringFrames, [&](std::size_t f, uint32_t slot, std::size_t run) {
        for (std::size_t i = 0; i < run; ++i)
          gains[f + i] = std::min(values[f + i], s.demands[slot + i]);
      });
    } else {
      // Frames whose envelope has not reached the output yet keep the first gain.
      std::size_t f = std::min<uint64_t>(count, envelopeLag - std::min(envelopeLag, s.run.seen));
      std::fill_n(gains, f, s.run.gain);
      uint64_t phase = (s.run.seen + f - envelopeLag) % kBlock;
      for (; f < count; ++f) {
        s.run.envelopeMin = std::min(s.run.envelopeMin, values[f]);
        if (phase++ == kBlock - 1) {
          phase = 0;
          const auto slot = static_cast<uint32_t>(
              start + f < s.ringFrames ? start + f : start + f - s.ringFrames);
          s.run.gain =
              BlockGain(s, Wrapped(slot, static_cast<uint32_t>(envelopeLag), s.ringFrames));
          s.run.envelopeMin = 1.0f;
        }
        gains[f] = s.run.gain;
      }
    }
    ForRuns(first, count, s.ringFrames, [&](std::size_t f, uint32_t slot, std::size_t run) {
      const float* out = s.delayed + std::size_t{slot} * channels;
      float* to = samples + f * channels;
      if (channels == 2) {
        for (std::size_t i = 0; i < run; ++i) {
          to[2 * i] = out[2 * i] * gains[f + i];
          to[2 * i + 1] = out[2 * i + 1] * gains[f + i];
        }
        return;
      }
      for (std::size_t i = 0; i < run; ++i) {
        for (std::size_t c = 0; c < channels; ++c)
          to[i * channels + c] = out[i * channels + c] * gains[f + i];
      }
    });
    s.run.seen += count;
    samples += count * channels;
    left -= count;
  }
  state = s;
}

uint32_t LookaheadFrames(const StageValues& v, uint32_t sampleRate) {
  const double frames = std::floor(v.values[kLookahead] * sampleRate / 1000.0 + 0.5);
  return frames >= 1.0 && frames <= 0x1p31 ? static_cast<uint32_t>(frames) : 1u;
}

uint32_t DelayFrames(uint32_t lookahead, bool truePeak) {
  return truePeak ? lookahead + 2 * kBlock - 3 : lookahead - 1;
}

bool Fits(const StageValues& v, StreamShape in, std::string& problem) {
  const double held =
      (static_cast<double>(LookaheadFrames(v, in.sampleRate)) + 2 * kBlock + 1 + kChunk) *
      in.channels;
  if (held <= static_cast<double>(kMaxSamplesPerBuffer)) return true;
  problem = "lookahead " + FormatNumber(v.values[kLookahead]) + " ms holds " + FormatNumber(held) +
            " samples of a stream of " + std::to_string(in.channels) + " channels (at most " +
            FormatNumber(static_cast<double>(kMaxSamplesPerBuffer)) + ")";
  return false;
}

void Init(void* state, const StageValues& v, StreamShape in) {
  LimiterState& s = As<LimiterState>(state);
  s.channels = in.channels;
  s.truePeak = v.values[kTruePeak] >= 0.5 ? 1 : 0;
  s.lookahead = LookaheadFrames(v, in.sampleRate);
  s.delay = DelayFrames(s.lookahead, s.truePeak != 0);
  s.span = s.truePeak != 0 ? s.lookahead + kTruePeakTaps - 1 : s.lookahead;
  s.ringFrames = s.delay + 2 * kBlock + 1 + static_cast<uint32_t>(kChunk);
  s.ceiling = TenToThe(v.values[kCeiling] / 20.0) * (1.0 - kMargin);
  const double fs = static_cast<double>(in.sampleRate);
  s.release = static_cast<float>(Exponential(-1000.0 / (v.values[kRelease] * fs)));
  s.run.smooth = s.run.envelopeMin = s.run.gain = 1.0f;
  s.run.settled = s.lookahead;
  s.delayed = AllocateSamples(uint64_t{s.ringFrames} * in.channels);
  if (s.truePeak != 0) {
    s.windows = AllocateSamples(uint64_t{kTruePeakTaps - 1 + kChunk} * in.channels);
  }
  s.minimum = AllocateSamples(2 * uint64_t{s.span});
  if (s.truePeak == 0) s.demands = AllocateSamples(s.ringFrames);
  if (s.truePeak != 0) s.reaches = AllocateSamples(s.ringFrames);
  s.released = AllocateSamples(s.lookahead);
  if (s.truePeak != 0) s.carried = AllocateSamples(uint64_t{kCarried} * in.channels);
  s.inverseLookahead = 1.0 / static_cast<double>(s.lookahead);
}

void Release(LimiterState& s) {
  FreeSamples(s.delayed);
  FreeSamples(s.windows);
  FreeSamples(s.minimum);
  FreeSamples(s.demands);
  FreeSamples(s.reaches);
  FreeSamples(s.released);
  FreeSamples(s.carried);
}

bool HasBuffers(const void* state) {
  const LimiterState& s = As<LimiterState>(state);
  return s.delayed != nullptr && s.minimum != nullptr && s.released != nullptr &&
         (s.truePeak == 0 ? s.demands != nullptr
                          : s.windows != nullptr && s.carried != nullptr && s.reaches != nullptr);
}

// The same buffers hold the same frames: everything that runs on carries over. The held frames'
// demands are taken again at the new ceiling, as the gains of frames on their way out.
void Carry(const void* from, void* to, bool sameBuffers) {
  const LimiterState& a = As<LimiterState>(from);
  LimiterState& b = As<LimiterState>(to);
  if (!sameBuffers || a.truePeak != b.truePeak || a.lookahead != b.lookahead) return;
  b.run = a.run;
  if (b.truePeak != 0 || b.demands == nullptr || b.delayed == nullptr) return;
  for (uint32_t slot = 0; slot < b.ringFrames; ++slot)
    b.demands[slot] =
        Demand(b.ceiling, FramePeak(b.delayed + std::size_t{slot} * b.channels, b.channels));
}

uint64_t Delay(const void* state) {
  return As<LimiterState>(state).delay;
}

}  // namespace

const EffectFamily kLimiterFamily = {
    {"limiter", nullptr, 0, "look-ahead brickwall limiter, sample or true peak", kParameters,
     CountOf(kParameters)},
    nullptr,
    {.stateSize = sizeof(LimiterState),
     .init = Init,
     .process = ProcessAs<LimiterState, ProcessLimiter>,
     .release = ReleaseAs<LimiterState, Release>,
     .hasBuffers = HasBuffers,
     .carry = Carry,
     .fits = Fits,
     .delay = Delay},
};

}  // namespace wavfx
