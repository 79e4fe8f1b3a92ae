#include "effects/compand.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <string_view>

#include "dsp/effect_math.h"
#include "dsp/sample_buffer.h"
#include "effects/frame_flow.h"

namespace wavfx {
namespace {

enum Parameter { kTimes, kPoints, kKnee, kGain, kVolume, kDelay };

constexpr wavfx_parameter_info kParameters[] = {
    {"times", "", 0, 0, 0, 0,
     "attack/decay pairs in s by '/', one for all channels or one per channel (0.3/1)"},
    {"points", "", 0, 0, 0, 0,
     "transfer points in dB by '/': [in/]in/out/in/out... up to 0 dB (-70/-60/-20)"},
    {"knee", "dB", 0.01, 0.01, 100, 0, "radius of the rounding at each point"},
    {"gain", "dB", 0, -200, 200, 0, "gain added to the transfer function"},
    {"volume", "dB", 0, -1000, 0, 0, "the envelope's initial level"},
    {"delay", "s", 0, 0, 100, 0, "delay of the audio behind the envelope"},
};
constexpr ParameterSyntax kSyntax[std::size(kParameters)] = {{nullptr, 0, false, true},
                                                             {nullptr, 0, false, true}};
constexpr const char* kDefaultTimes = "0.3/1";
constexpr const char* kDefaultPoints = "-70/-60/-20";

constexpr double kLn10 = 2.30258509299404568402;

// The level SoX gives -inf: one step of a 32-bit sample, -20 log10(2^31) dB.
double MinusInfinityDb() {
  return -20.0 * LogTen(2147483648.0);
}

struct Values {
  double numbers[kMaxCompandValues];
  uint32_t count;
};

// Reads numbers separated by '/' or blanks (an empty text is `fallback`); -inf only in points.
bool ReadValues(const char* given, const char* fallback, bool points, Values& out,
                std::string& problem) {
  std::string_view text = given;
  if (text.find_first_not_of(" \t/") == std::string_view::npos) text = fallback;
  out.count = 0;
  const char* name = points ? "points" : "times";
  for (;;) {
    const std::size_t start = text.find_first_not_of(" \t/");
    if (start == std::string_view::npos) break;
    text.remove_prefix(start);
    const std::string_view word = text.substr(0, text.find_first_of(" \t/"));
    text.remove_prefix(word.size());
    double value = 0;
    const auto [stop, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    const bool fits = points ? value <= 0.0 : value >= 0.0 && value < HUGE_VAL;
    if (error != std::errc{} || stop != word.data() + word.size() || !fits) {
      problem = std::string(name) + ": '" + std::string(word) + "' is not " +
                (points ? "a level of at most 0 dB (or -inf)" : "a time of at least 0 s");
      return false;
    }
    if (out.count == kMaxCompandValues) {
      problem = std::string(name) + ": more than " + std::to_string(kMaxCompandValues) + " values";
      return false;
    }
    out.numbers[out.count++] = std::isinf(value) ? MinusInfinityDb() : value;
  }
  if (!points && out.count % 2 != 0) {
    problem = "times: an attack without its decay (give attack/decay pairs)";
    return false;
  }
  // Input levels: an odd count's first value, then the first of each pair.
  for (uint32_t i = 0, previous = 0; points && i < out.count;) {
    if (i > 0 && !(out.numbers[i] > out.numbers[previous])) {
      problem = "points: input levels must increase (" + FormatNumber(out.numbers[i]) + " dB)";
      return false;
    }
    previous = i;
    i += i == 0 && out.count % 2 == 1 ? 1 : 2;
  }
  return true;
}

bool ReadSettings(const StageValues& v, Values& times, Values& points, std::string& problem) {
  return ReadValues(StageText(v, 0), kDefaultTimes, false, times, problem) &&
         ReadValues(StageText(v, 1), kDefaultPoints, true, points, problem);
}

// Rounds the corner at point k (segment 2k) between its neighbours with a parabola from `radius`
// before it to at most half the way to the next point, which then starts there.
void RoundKnee(CompandSegment* s, uint32_t k, double radius) {
  CompandSegment& before = s[2 * k - 2];
  CompandSegment& curve = s[2 * k - 1];
  CompandSegment& point = s[2 * k];
  const CompandSegment& after = s[2 * k + 2];
  before.b = (point.y - before.y) / (point.x - before.x);
  point.b = (after.y - point.y) / (after.x - point.x);
  const double dx1 = point.x - before.x, dy1 = point.y - before.y;
  const double length1 = std::sqrt(dx1 * dx1 + dy1 * dy1);
  const double r1 = std::min(radius, length1);
  curve.x = point.x - r1 * (dx1 / length1);
  curve.y = point.y - r1 * (dy1 / length1);
  const double dx2 = after.x - point.x, dy2 = after.y - point.y;
  const double length2 = std::sqrt(dx2 * dx2 + dy2 * dy2);
  const double r2 = std::min(radius, length2 / 2);
  const double x = point.x + r2 * (dx2 / length2);
  const double y = point.y + r2 * (dy2 / length2);
  const double cx = (curve.x + point.x + x) / 3;
  const double cy = (curve.y + point.y + y) / 3;
  point.x = x;
  point.y = y;
  const double in1 = cx - curve.x, out1 = cy - curve.y;
  const double in2 = point.x - curve.x, out2 = point.y - curve.y;
  curve.a = (out2 / in2 - out1 / in1) / (in2 - in1);
  curve.b = out1 / in1 - curve.a * in1;
}

void BuildCurve(const Values& given, double knee, double gainDb, CompandCurve& c) {
  // Points as (input dB, gain dB); an odd count's first level stands alone, at a gain of 0.
  CompandSegment p[kMaxCompandPoints] = {};
  uint32_t n = 1;
  const uint32_t odd = given.count % 2;
  if (odd != 0) p[n++] = {given.numbers[0], 0, 0, 0};
  for (uint32_t i = odd; i + 1 < given.count; i += 2)
    p[n++] = {given.numbers[i], given.numbers[i + 1] - given.numbers[i], 0, 0};
  if (n == 1 || p[n - 1].x != 0.0) p[n++] = {};
  p[0] = {p[1].x - 2 * knee, p[1].y, 0, 0};
  for (uint32_t k = 2; k < n;) {  // a point in line with its neighbours goes
    const double g1 = (p[k - 1].y - p[k - 2].y) * (p[k].x - p[k - 1].x);
    const double g2 = (p[k].y - p[k - 1].y) * (p[k - 1].x - p[k - 2].x);
    if (g1 != g2) {
      ++k;
      continue;
    }
    std::copy(p + k, p + n, p + k - 1);
    --n;
  }
  CompandSegment* s = c.segments;
  std::fill(s, s + 2 * kMaxCompandPoints, CompandSegment{});
  for (uint32_t k = 0; k < n; ++k)
    s[2 * k] = {p[k].x * (kLn10 / 20), (p[k].y + gainDb) * (kLn10 / 20), 0, 0};
  for (uint32_t k = 1; k + 1 < n; ++k)
    RoundKnee(s, k, knee * kLn10 / 20);
  c.last = 2 * n - 3;
  s[c.last] = {0, s[2 * n - 2].y, 0, 0};
  c.floorLevel = NaturalExp(s[1].x);
  c.floorGain = NaturalExp(s[1].y);
  c.topGain = NaturalExp(s[c.last].y);
}

// The fraction of the distance an envelope moves each frame for a time of `seconds`.
double Coefficient(double seconds, double rate) {
  return seconds > 1.0 / rate ? 1.0 - Exponential(-1.0 / (rate * seconds)) : 1.0;
}

// level > volume is delta > 0 (the difference of two doubles is 0 only when they are equal),
// and leaves the comparison off the recurrence's chain.
void Follow(double& volume, double level, double attack, double decay) {
  const double delta = level - volume;
  volume += delta * (level > volume ? attack : decay);
}

// Envelope values in a block: one a frame (shared) or one a channel.
constexpr std::size_t kBlockValues = 256;

std::size_t ValuesPerFrame(const CompandState& s) {
  return s.shared ? 1 : s.channels;
}

// The envelope of channel c (and of c + 1 with kPair) over `frames` frames, held in registers so
// that the two recurrences overlap.
template <bool kPair>
void FollowChannels(CompandState& s, const float* in, std::size_t frames, double* levels,
                    uint32_t c) {
  double first = s.volume[c];
  double second = kPair ? s.volume[c + 1] : 0.0;
  for (std::size_t at = c; at < frames * s.channels; at += s.channels) {
    Follow(first, std::fabs(static_cast<double>(in[at])), s.attack[c], s.decay[c]);
    levels[at] = first;
    if constexpr (kPair) {
      Follow(second, std::fabs(static_cast<double>(in[at + 1])), s.attack[c + 1], s.decay[c + 1]);
      levels[at + 1] = second;
    }
  }
  s.volume[c] = first;
  if constexpr (kPair) s.volume[c + 1] = second;
}

// Updates the envelopes with `frames` input frames, storing them at `levels`.
void Listen(CompandState& s, const float* in, std::size_t frames, double* levels) {
  if (s.shared) {
    double volume = s.volume[0];
    for (std::size_t f = 0; f < frames; ++f) {
      double loudest = 0.0;
      for (uint32_t c = 0; c < s.channels; ++c)
        loudest = std::max(loudest, std::fabs(static_cast<double>(in[f * s.channels + c])));
      Follow(volume, loudest, s.attack[0], s.decay[0]);
      levels[f] = volume;
    }
    s.volume[0] = volume;
    return;
  }
  uint32_t c = 0;
  for (; c + 1 < s.channels; c += 2)
    FollowChannels<true>(s, in, frames, levels, c);
  if (c < s.channels) FollowChannels<false>(s, in, frames, levels, c);
}

// Frames scaled by their gains (ValuesPerFrame of them a frame).
void Scale(const CompandState& s, const double* gains, const float* in, float* out,
           std::size_t frames) {
  if (!s.shared) {
    for (std::size_t i = 0; i < frames * s.channels; ++i)
      out[i] = static_cast<float>(static_cast<double>(in[i]) * gains[i]);
    return;
  }
  for (std::size_t f = 0; f < frames; ++f) {
    for (uint32_t c = 0; c < s.channels; ++c) {
      const std::size_t i = f * s.channels + c;
      out[i] = static_cast<float>(static_cast<double>(in[i]) * gains[f]);
    }
  }
}

// The delay as SoX holds it: delay * rate * channels samples, truncated, in whole frames.
uint64_t DelayFrames(double seconds, StreamShape in) {
  const double samples = seconds * in.sampleRate * in.channels;
  if (!(samples >= 1.0 && samples < 0x1p63) || in.channels == 0) return 0;
  return static_cast<uint64_t>(samples) / in.channels;
}

void Init(void* state, const StageValues& v, StreamShape in) {
  auto& s = As<CompandState>(state);
  Values times, points;
  std::string problem;
  s.channels = in.channels;
  if (!ReadSettings(v, times, points, problem) || in.channels == 0) return;
  const uint32_t pairs = times.count / 2;
  s.shared = pairs == 1 && in.channels > 1;
  if (!s.shared && pairs < in.channels) return;
  s.active = true;
  for (uint32_t i = 0; i < pairs; ++i) {
    s.attack[i] = Coefficient(times.numbers[2 * i], in.sampleRate);
    s.decay[i] = Coefficient(times.numbers[2 * i + 1], in.sampleRate);
    s.volume[i] = TenToThe(v.values[kVolume] / 20);
  }
  BuildCurve(points, std::max(v.values[kKnee], 0.01), v.values[kGain], s.curve);
  s.delayFrames = DelayFrames(v.values[kDelay], in);
  if (s.delayFrames > 0) s.held = AllocateSamples(s.delayFrames * in.channels);
}

void Flow(void* state, const void* in, std::size_t inFrames, void* out, std::size_t outRoom,
          std::size_t, std::size_t& consumed, std::size_t& produced) {
  auto& s = As<CompandState>(state);
  const auto* from = static_cast<const float*>(in);
  auto* to = static_cast<float*>(out);
  const uint32_t channels = s.channels;
  consumed = produced = 0;
  if (!s.active || (s.delayFrames > 0 && s.held == nullptr)) {
    consumed = produced = std::min(inFrames, outRoom);
    CopyFrames(out, in, consumed, channels, sizeof(float));
    return;
  }
  // The envelopes of a block first, then its gains together.
  const std::size_t perFrame = ValuesPerFrame(s);
  const std::size_t blockFrames = kBlockValues / perFrame;
  double levels[kBlockValues];
  double gains[kBlockValues];
  while (consumed < inFrames) {
    // Frames that fill the delay emit nothing, each one after it a frame.
    const auto room = static_cast<std::size_t>(s.delayFrames - s.count) + (outRoom - produced);
    const std::size_t frames = std::min({inFrames - consumed, blockFrames, room});
    if (frames == 0) break;
    const float* first = from + consumed * channels;
    Listen(s, first, frames, levels);
    CompandGains(s.curve, levels, gains, frames * perFrame);
    if (s.delayFrames == 0) {
      Scale(s, gains, first, to + produced * channels, frames);
      consumed += frames;
      produced += frames;
      continue;
    }
    // Runs up to the ring's end; while it fills, its write position is the count it holds.
    for (std::size_t f = 0; f < frames;) {
      const std::size_t run = std::min<std::size_t>(frames - f, s.delayFrames - s.index);
      float* slots = s.held + s.index * channels;
      if (s.count == s.delayFrames) {
        Scale(s, gains + f * perFrame, slots, to + produced * channels, run);
        produced += run;
      } else {
        s.count += run;
      }
      std::copy(first + f * channels, first + (f + run) * channels, slots);
      s.index = s.index + run == s.delayFrames ? 0 : s.index + run;
      f += run;
    }
    consumed += frames;
  }
}

// What the delay holds, oldest first, at the envelopes' last gains.
std::size_t Drain(void* state, void* out, std::size_t outRoom, std::size_t) {
  auto& s = As<CompandState>(state);
  if (s.held == nullptr) return 0;
  const uint64_t oldest = s.count < s.delayFrames ? 0 : s.index;
  double gains[kMaxCompandPairs];
  for (std::size_t c = 0; c < ValuesPerFrame(s); ++c)
    gains[c] = CompandGain(s.curve, s.volume[c]);
  std::size_t written = 0;
  for (; written < outRoom && s.drained < s.count; ++written, ++s.drained) {
    const uint64_t frame = (oldest + s.drained) % s.delayFrames;
    Scale(s, gains, s.held + frame * s.channels, static_cast<float*>(out) + written * s.channels,
          1);
  }
  return written;
}

void Release(void* state) {
  FreeSamples(As<CompandState>(state).held);
}

bool HasBuffers(const void* state) {
  const auto& s = As<CompandState>(state);
  return s.delayFrames == 0 || s.held != nullptr;
}

uint64_t Latency(const void* state) {
  const auto& s = As<CompandState>(state);
  return s.count - s.drained;
}

bool CopiesOnly(const void*) {
  return false;
}

bool Check(const StageValues& v, std::string& problem) {
  Values times, points;
  return ReadSettings(v, times, points, problem);
}

bool Fits(const StageValues& v, StreamShape in, std::string& problem) {
  Values times, points;
  if (!ReadSettings(v, times, points, problem)) return false;
  const uint32_t pairs = times.count / 2;
  if (pairs > 1 && pairs < in.channels) {
    problem = "times has " + std::to_string(pairs) + " attack/decay pairs for " +
              std::to_string(in.channels) + " channels (one for all, or one per channel)";
    return false;
  }
  const double held = v.values[kDelay] * in.sampleRate * in.channels;
  if (held <= static_cast<double>(kMaxSamplesPerBuffer)) return true;
  problem = "delay " + FormatNumber(v.values[kDelay]) + " s holds more than " +
            FormatNumber(static_cast<double>(kMaxSamplesPerBuffer)) + " samples";
  return false;
}

}  // namespace

const EffectFamily kCompandFamily = {
    {"compand", nullptr, 0,
     "SoX's compander: attack/decay envelopes through a soft-kneed transfer function", kParameters,
     CountOf(kParameters)},
    kSyntax,
    {.stateSize = sizeof(CompandState),
     .init = Init,
     .release = Release,
     .hasBuffers = HasBuffers,
     .shape = KeepShape,
     .flow = Flow,
     .drain = Drain,
     .latency = Latency,
     .copiesOnly = CopiesOnly,
     .check = Check,
     .fits = Fits},
};

}  // namespace wavfx
