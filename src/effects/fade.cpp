#include "effects/fade.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "dsp/effect_math.h"
#include "dsp/fast_sine.h"
#include "dsp/sample_buffer.h"
#include "effects/frame_flow.h"

namespace wavfx {
namespace {

constexpr const char* kCurves[] = {"linear", "qsin", "hsin", "log", "para"};
enum Curve : uint32_t { kLinear, kQuarterSine, kHalfSine, kLogarithmic, kParabola };

constexpr ParameterSyntax kSyntax[] = {
    kTimeSyntax, kTimeSyntax, {kCurves, std::size(kCurves), false, false}};
constexpr wavfx_parameter_info kParameters[] = {
    {"in", "s", 0, 0, 86400, 0, "length of the fade-in"},
    {"out", "s", 0, 0, 600, 0, "length of the fade-out, held back until the stream ends"},
    {"shape", "", 0, 0, 4, 1, "linear, qsin, hsin, log or para"},
};
constexpr std::size_t kIn = 0, kOut = 1, kShape = 2;

constexpr double kHalfPi = 1.57079632679489661923;

double CurveAt(uint32_t curve, double t) {
  switch (curve) {
    case kQuarterSine:
      return fast_sine::SinPolynomial(t * kHalfPi);
    case kHalfSine: {
      const double sine = fast_sine::SinPolynomial(t * kHalfPi);
      return sine * sine;
    }
    case kLogarithmic:
      return TenToThe(5.0 * (t - 1.0));
    case kParabola:
      return 1.0 - (1.0 - t) * (1.0 - t);
    default:
      return t;
  }
}

float GainAt(const FadeState& fade, uint64_t index, uint64_t length) {
  return static_cast<float>(
      CurveAt(fade.curve, static_cast<double>(index) / static_cast<double>(length)));
}

void Scale(float* to, const float* from, std::size_t channels, float gain) {
  for (std::size_t c = 0; c < channels; ++c)
    to[c] = from[c] * gain;
}

// Takes `count` frames, fading in those within the fade-in.
void Take(FadeState& fade, void* to, const void* from, std::size_t count, std::size_t sampleBytes) {
  const std::size_t channels = fade.channels;
  std::size_t f = 0;
  for (; f < count && fade.seen < fade.inFrames; ++f, ++fade.seen) {
    Scale(static_cast<float*>(to) + f * channels, static_cast<const float*>(from) + f * channels,
          channels, GainAt(fade, fade.seen, fade.inFrames));
  }
  CopyFrames(FrameAt(to, f, channels, sampleBytes), FrameAt(from, f, channels, sampleBytes),
             count - f, channels, sampleBytes);
  fade.seen += count - f;
}

// In place, once the length is known: only frames within a ramp change, each scaled as the flow
// scales it (by the fade-in's gain, then by the fade-out's).
void Process(FadeState& fade, float* samples, int32_t frames) {
  const std::size_t channels = fade.channels;
  const uint64_t first = fade.seen;
  const uint64_t end = first + static_cast<uint64_t>(std::max(frames, 0));
  for (uint64_t frame = first; frame < std::min(end, fade.inFrames); ++frame) {
    float* at = samples + (frame - first) * channels;
    Scale(at, at, channels, GainAt(fade, frame, fade.inFrames));
  }
  const uint64_t fadeOut = fade.length - std::min(fade.outFrames, fade.length);
  for (uint64_t frame = std::max(first, fadeOut); frame < std::min(end, fade.length); ++frame) {
    float* at = samples + (frame - first) * channels;
    Scale(at, at, channels, GainAt(fade, fade.length - 1 - frame, fade.outFrames));
  }
  fade.seen = end;
}

// Before the first input, the stream's length makes the held frames unnecessary.
bool KnowLength(void* state, uint64_t frames) {
  FadeState& fade = As<FadeState>(state);
  if (fade.seen > 0 || frames == 0) return false;
  fade.length = frames;
  FreeSamples(fade.held);
  return true;
}

bool Fits(const StageValues& v, StreamShape in, std::string& problem) {
  if (!FrameCountFits(v, kIn, kParameters[kIn], kMaxTimeFrames, problem) ||
      !FrameCountFits(v, kOut, kParameters[kOut], kMaxTimeFrames, problem))
    return false;
  const double held = static_cast<double>(TimeFrames(v, kOut, in.sampleRate)) * in.channels;
  if (held <= static_cast<double>(kMaxSamplesPerBuffer)) return true;
  problem = "out " + TimeText(v, kOut) + " holds " + FormatNumber(held) +
            " samples of a stream of " + std::to_string(in.channels) + " channels (at most " +
            FormatNumber(static_cast<double>(kMaxSamplesPerBuffer)) + ")";
  return false;
}

void Init(void* state, const StageValues& v, StreamShape in) {
  FadeState& fade = As<FadeState>(state);
  fade.channels = in.channels;
  fade.inFrames = TimeFrames(v, kIn, in.sampleRate);
  fade.outFrames = TimeFrames(v, kOut, in.sampleRate);
  const double curve = v.values[kShape];
  fade.curve = curve >= 0.0 && curve < static_cast<double>(std::size(kCurves))
                   ? static_cast<uint32_t>(curve)
                   : 0;
  if (in.channels > 0 && fade.outFrames > 0 && fade.outFrames <= kMaxSamplesPerBuffer / in.channels)
    fade.held = AllocateSamples(fade.outFrames * in.channels);
}

void Flow(void* state, const void* in, std::size_t inFrames, void* out, std::size_t outRoom,
          std::size_t sampleBytes, std::size_t& consumed, std::size_t& produced) {
  FadeState& fade = As<FadeState>(state);
  const std::size_t channels = fade.channels;
  consumed = produced = 0;
  if (fade.held == nullptr) {  // nothing to hold back
    consumed = produced = std::min(inFrames, outRoom);
    Take(fade, out, in, consumed, sampleBytes);
    return;
  }
  const uint64_t ring = fade.outFrames;
  while (consumed < inFrames) {
    const std::size_t left = inFrames - consumed;
    const void* from = FrameAt(in, consumed, channels, sampleBytes);
    std::size_t count;
    if (fade.fill < ring) {  // filling: no frame leaves yet
      const uint64_t end = (fade.oldest + fade.fill) % ring;
      count = static_cast<std::size_t>(std::min<uint64_t>(left, ring - std::max(end, fade.fill)));
      Take(fade, fade.held + end * channels, from, count, sampleBytes);
      fade.fill += count;
    } else {  // full: each frame taken pushes the oldest out
      count = static_cast<std::size_t>(
          std::min<uint64_t>(std::min(left, outRoom - produced), ring - fade.oldest));
      if (count == 0) break;
      float* slot = fade.held + fade.oldest * channels;
      CopyFrames(FrameAt(out, produced, channels, sampleBytes), slot, count, channels, sampleBytes);
      Take(fade, slot, from, count, sampleBytes);
      fade.oldest = (fade.oldest + count) % ring;
      produced += count;
    }
    consumed += count;
  }
}

std::size_t Drain(void* state, void* out, std::size_t outRoom, std::size_t) {
  FadeState& fade = As<FadeState>(state);
  const std::size_t channels = fade.channels;
  std::size_t written = 0;
  for (; written < outRoom && fade.drained < fade.fill; ++written, ++fade.drained) {
    const uint64_t frame = (fade.oldest + fade.drained) % fade.outFrames;
    const uint64_t fromEnd = fade.fill - 1 - fade.drained;
    Scale(static_cast<float*>(out) + written * channels, fade.held + frame * channels, channels,
          GainAt(fade, fromEnd, fade.outFrames));
  }
  return written;
}

void Release(void* state) {
  FreeSamples(As<FadeState>(state).held);
}

bool ChangesAudio(const void* state) {
  return As<FadeState>(state).inFrames != 0 || As<FadeState>(state).outFrames != 0;
}

bool HasBuffers(const void* state) {
  const FadeState& fade = As<FadeState>(state);
  return fade.outFrames == 0 || fade.held != nullptr || fade.length > 0;
}

uint64_t Latency(const void* state) {
  return As<FadeState>(state).fill - As<FadeState>(state).drained;
}

bool CopiesOnly(const void* state) {
  return !ChangesAudio(state);
}

}  // namespace

const EffectFamily kFadeFamily = {
    {"fade", nullptr, 0, "fades the stream in at its start and out at its end", kParameters,
     CountOf(kParameters)},
    kSyntax,
    {.stateSize = sizeof(FadeState),
     .init = Init,
     .process = ProcessAs<FadeState, Process>,
     .release = Release,
     .changesAudio = ChangesAudio,
     .hasBuffers = HasBuffers,
     .shape = KeepShape,
     .flow = Flow,
     .drain = Drain,
     .latency = Latency,
     .knowLength = KnowLength,
     .copiesOnly = CopiesOnly,
     .fits = Fits},
};

}  // namespace wavfx
