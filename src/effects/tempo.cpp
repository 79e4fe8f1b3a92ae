#include "effects/tempo.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dsp/effect_math.h"
#include "dsp/sample_buffer.h"
#include "effects/frame_flow.h"
#include "effects/resample.h"

namespace wavfx {
namespace {

constexpr wavfx_parameter_info kTempoParameters[] = {
    {"factor", "", 1, 0.1, 100, 0, "tempo: 2 is twice as fast, at the same pitch"},
    {"segment", "ms", 82, 10, 120, 0, "the length of the pieces spliced together"},
    {"search", "ms", 14.68, 0, 30, 0, "how far a splice may move to match the waveform"},
    {"overlap", "ms", 12, 0, 30, 0, "the crossfade at each splice, at most half a segment"},
};

// Cents that keep the stretch factor within tempo's 0.1 to 100.
constexpr wavfx_parameter_info kPitchParameters[] = {
    {"cents", "", 0, -7972, 3986, 0, "pitch shift: 1200 is an octave up, the length kept"},
    kTempoParameters[1],
    kTempoParameters[2],
    kTempoParameters[3],
    {"quality", "", 0, 0, 3, 1, "the resampling, as resample's"},
};
constexpr ParameterSyntax kPitchSyntax[] = {{}, {}, {}, {}, kResampleQualitySyntax};

enum { kFactor, kSegment, kSearch, kOverlap, kQuality };

// The converter's largest output step; halved while its table would interpolate its phases.
constexpr uint64_t kPitchMaxSteps = 1024;
constexpr std::size_t kMiddleFrames = 4096;

double TempoFactor(const StageValues& v) {
  return v.values[kFactor];
}

// 1 / 2^(cents / 1200) to 12 significant digits; 2^x as 10^(x log10 2), the same on every build.
double PitchFactor(const StageValues& v) {
  const double ratio = TenToThe(v.values[kFactor] / 1200.0 * 0.30102999566398119521);
  char text[32];
  std::snprintf(text, sizeof text, "%.12g", 1.0 / ratio);
  return std::strtod(text, nullptr);
}

WsolaFrames FramesOf(const StageValues& v, uint32_t rate) {
  return WsolaFramesAt(v.values[kSegment], v.values[kSearch], v.values[kOverlap], rate);
}

bool Check(const StageValues& v, std::string& problem) {
  if (v.values[kOverlap] * 2.0 <= v.values[kSegment]) return true;
  problem = "overlap " + FormatNumber(v.values[kOverlap]) + " ms is more than half the segment " +
            FormatNumber(v.values[kSegment]) + " ms";
  return false;
}

template <double (*FactorOf)(const StageValues&)>
bool Fits(const StageValues& v, StreamShape in, std::string& problem) {
  const WsolaFrames f = FramesOf(v, in.sampleRate);
  if (f.segment < 2 * f.overlap || f.segment == f.overlap) {
    problem = "segment " + FormatNumber(v.values[kSegment]) + " ms at " +
              std::to_string(in.sampleRate) + " Hz is shorter than twice its overlap (" +
              std::to_string(f.segment) + " and " + std::to_string(f.overlap) + " frames)";
    return false;
  }
  const double held = static_cast<double>(WsolaQueueFrames(f, FactorOf(v))) * in.channels;
  if (held <= static_cast<double>(kMaxSamplesPerBuffer)) return true;
  problem = "holds " + FormatNumber(held) + " samples of a stream of " +
            std::to_string(in.channels) + " channels at " + std::to_string(in.sampleRate) +
            " Hz (at most " + FormatNumber(static_cast<double>(kMaxSamplesPerBuffer)) + ")";
  return false;
}

void InitStretch(TempoState& s, const StageValues& v, StreamShape in, double factor) {
  s.channels = in.channels;
  s.rate = in.sampleRate;
  s.identity = factor == 1.0;
  if (!s.identity)
    InitWsola(s.wsola, FramesOf(v, in.sampleRate), factor, in.channels, in.sampleRate);
}

void InitTempo(void* record, const StageValues& v, StreamShape in) {
  InitStretch(As<TempoState>(record), v, in, TempoFactor(v));
}

struct Fraction {
  uint64_t top, bottom;
};

// The last convergent of x's continued fraction (0.01 <= x <= 100) whose bottom is at most
// `most`.
Fraction NearestFraction(double x, uint64_t most) {
  uint64_t p0 = 1, q0 = 0, p1 = static_cast<uint64_t>(x), q1 = 1;
  double rest = x - static_cast<double>(p1);
  while (rest > 0x1p-40) {
    rest = 1.0 / rest;
    const double whole = std::floor(rest);
    if (!(whole < 0x1p20)) break;
    const auto a = static_cast<uint64_t>(whole);
    const uint64_t p2 = a * p1 + p0, q2 = a * q1 + q0;
    if (q2 > most) break;
    p0 = p1, q0 = q1, p1 = p2, q1 = q2;
    rest -= whole;
  }
  return {std::max<uint64_t>(p1, 1), q1};
}

void InitPitch(void* record, const StageValues& v, StreamShape in) {
  auto& s = As<TempoState>(record);
  const double factor = PitchFactor(v);
  InitStretch(s, v, in, factor);
  if (s.identity || s.wsola.input == nullptr) return;
  s.resamples = true;
  for (uint64_t most = kPitchMaxSteps;; most /= 2) {
    const Fraction rates = NearestFraction(1.0 / factor, most);
    if (!InitResampler(s.resampler, rates.top, rates.bottom, in.channels,
                       static_cast<ResampleQuality>(static_cast<int32_t>(v.values[kQuality]))))
      return;
    if (!s.resampler.interpolated || most <= 16) break;
    ReleaseResampler(s.resampler);
  }
  s.middle = AllocateSamples(uint64_t{kMiddleFrames} * in.channels);
}

// Passes the stretched frames through the converter, writing at most `room` frames.
std::size_t Pump(TempoState& s, float* out, std::size_t room) {
  std::size_t used = 0, made = 0;
  RunResampler(s.resampler, s.middle + s.middleAt * s.channels, s.middleFill - s.middleAt, out,
               room, used, made);
  s.middleAt += used;
  if (s.middleAt > 0) {
    std::memmove(s.middle, s.middle + s.middleAt * s.channels,
                 (s.middleFill - s.middleAt) * s.channels * sizeof(float));
    s.middleFill -= s.middleAt;
    s.middleAt = 0;
  }
  s.produced += made;
  return made;
}

void Flow(void* record, const void* in, std::size_t inFrames, void* out, std::size_t outRoom,
          std::size_t sampleBytes, std::size_t& consumed, std::size_t& produced) {
  auto& s = As<TempoState>(record);
  const auto* from = static_cast<const float*>(in);
  auto* to = static_cast<float*>(out);
  if (s.identity) {
    consumed = produced = std::min(inFrames, outRoom);
    if (consumed > 0) std::memcpy(out, in, consumed * s.channels * sampleBytes);
    return;
  }
  if (!s.resamples) {
    RunWsola(s.wsola, from, inFrames, to, outRoom, consumed, produced);
    return;
  }
  consumed = produced = 0;
  for (;;) {
    const std::size_t made = Pump(s, to + produced * s.channels, outRoom - produced);
    produced += made;
    std::size_t used = 0, stretched = 0;
    RunWsola(s.wsola, from + consumed * s.channels, inFrames - consumed,
             s.middle + s.middleFill * s.channels, kMiddleFrames - s.middleFill, used, stretched);
    consumed += used;
    s.middleFill += stretched;
    if (made + used + stretched == 0) return;
  }
}

// The pitch stage's whole output once the input has ended, and the zeros that take the
// converter at least that far.
uint64_t PitchLength(const TempoState& s, uint64_t stretched) {
  const double factor = s.wsola.factor, rate = s.rate;
  const double due = static_cast<double>(stretched) / ((rate / factor) / rate) + 0.5;
  return due > 0.0 && due < 0x1p63 ? static_cast<uint64_t>(due) : 0;
}

void SetLength(TempoState& s) {
  const uint64_t stretched = WsolaLength(s.wsola.factor, s.wsola.taken);
  s.length = PitchLength(s, stretched);
  while (ResampledLength(s.resampler, stretched + s.zerosLeft) < s.length)
    ++s.zerosLeft;
}

std::size_t Drain(void* record, void* out, std::size_t outRoom, std::size_t) {
  auto& s = As<TempoState>(record);
  auto* to = static_cast<float*>(out);
  if (s.identity) return 0;
  if (!s.resamples) return DrainWsola(s.wsola, to, outRoom);
  if (!s.ending) {
    s.ending = true;
    SetLength(s);
  }
  std::size_t written = 0;
  for (;;) {
    const auto room = static_cast<std::size_t>(
        std::min<uint64_t>(outRoom - written, s.length - std::min(s.length, s.produced)));
    const std::size_t made = Pump(s, to + written * s.channels, room);
    written += made;
    const std::size_t space = kMiddleFrames - s.middleFill;
    float* middle = s.middle + s.middleFill * s.channels;
    std::size_t fed = DrainWsola(s.wsola, middle, space);
    if (fed == 0 && s.zerosLeft > 0 && space > 0) {
      fed = static_cast<std::size_t>(std::min<uint64_t>(s.zerosLeft, space));
      std::memset(middle, 0, fed * s.channels * sizeof(float));
      s.zerosLeft -= fed;
    }
    s.middleFill += fed;
    if (made + fed > 0) continue;
    if (s.middleFill > 0) return written;  // no room left
    const auto last = static_cast<std::size_t>(
        std::min<uint64_t>(outRoom - written, s.length - std::min(s.length, s.produced)));
    const std::size_t tail = DrainResampler(s.resampler, to + written * s.channels, last);
    s.produced += tail;
    return written + tail;
  }
}

uint64_t Latency(const void* record) {
  const auto& s = As<TempoState>(record);
  if (s.identity) return 0;
  if (!s.resamples) return WsolaLatency(s.wsola);
  const uint64_t due = PitchLength(s, WsolaLength(s.wsola.factor, s.wsola.taken));
  return due > s.produced ? due - s.produced : 0;
}

bool Copies(const void* record) {
  return As<TempoState>(record).identity;
}

bool HasBuffers(const void* record) {
  const auto& s = As<TempoState>(record);
  return s.identity || (s.wsola.input != nullptr && (!s.resamples || s.middle != nullptr));
}

void Release(void* record) {
  auto& s = As<TempoState>(record);
  if (s.identity) return;
  ReleaseWsola(s.wsola);
  if (s.resamples) ReleaseResampler(s.resampler);
  FreeSamples(s.middle);
}

// Tempo and pitch move frames alike; they differ in how they start and what fits.
constexpr FamilyOps StretchOps(void (*init)(void*, const StageValues&, StreamShape),
                               bool (*fits)(const StageValues&, StreamShape, std::string&)) {
  return {.stateSize = sizeof(TempoState),
          .init = init,
          .release = Release,
          .hasBuffers = HasBuffers,
          .shape = KeepShape,
          .flow = Flow,
          .drain = Drain,
          .latency = Latency,
          .copiesOnly = Copies,
          .check = Check,
          .fits = fits};
}

}  // namespace

const EffectFamily kTempoFamily = {
    {"tempo", nullptr, 0, "faster or slower at the same pitch (WSOLA)", kTempoParameters,
     CountOf(kTempoParameters)},
    nullptr,
    StretchOps(InitTempo, Fits<TempoFactor>),
};

const EffectFamily kPitchFamily = {
    {"pitch", nullptr, 0, "pitch shift with the length kept (tempo, then resampling)",
     kPitchParameters, CountOf(kPitchParameters)},
    kPitchSyntax,
    StretchOps(InitPitch, Fits<PitchFactor>),
};

}  // namespace wavfx
