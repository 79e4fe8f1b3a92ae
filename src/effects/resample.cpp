#include "effects/resample.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace wavfx {
namespace {

constexpr wavfx_parameter_info kResampleParameters[] = {
    {"rate", "Hz", 44100, 1, 2000000, 1, "the output's sample rate"},
    {"quality", "", 2, 0, 3, 1,
     "low, medium, high or veryhigh: flat to 70, 80, 90, 95% of the lower Nyquist frequency, "
     "aliases 70, 100, 125, 150 dB down"},
};
constexpr ParameterSyntax kResampleSyntax[] = {
    {},
    kResampleQualitySyntax,
};

constexpr wavfx_parameter_info kSpeedParameters[] = {
    {"factor", "", 1, 0.05, 20, 0, "playback speed: 2 is an octave up and half as long"},
    {"quality", "", 2, 0, 3, 1, "as resample's"},
};

// Speed factors are taken to six decimals.
constexpr double kSpeedScale = 1e6;

// The converter's two rates: from, to.
struct Rates {
  uint64_t from;
  uint64_t to;
};

Rates ResampleRates(const StageValues& v, StreamShape in) {
  return {in.sampleRate, static_cast<uint64_t>(v.values[0])};
}

Rates SpeedRates(const StageValues& v, StreamShape) {
  return {static_cast<uint64_t>(std::round(v.values[0] * kSpeedScale)),
          static_cast<uint64_t>(kSpeedScale)};
}

template <Rates (*RatesOf)(const StageValues&, StreamShape)>
void Init(void* record, const StageValues& v, StreamShape in) {
  auto& state = As<ResampleState>(record);
  const Rates rates = RatesOf(v, in);
  state.channels = in.channels;
  state.identity = rates.from == rates.to;
  if (!state.identity) {
    InitResampler(state.resampler, rates.from, rates.to, in.channels,
                  static_cast<ResampleQuality>(static_cast<int32_t>(v.values[1])));
  }
}

// Whether the converter takes the two rates: within its factor of 256 either way.
bool Reachable(Rates rates) {
  return rates.from > 0 && rates.to > 0 && rates.to <= rates.from * kMaxResampleFactor &&
         rates.from <= rates.to * kMaxResampleFactor;
}

bool ResampleFits(const StageValues& v, StreamShape in, std::string& problem) {
  if (Reachable(ResampleRates(v, in))) return true;
  const double low = std::ceil(in.sampleRate / static_cast<double>(kMaxResampleFactor));
  const double high = std::min(static_cast<double>(in.sampleRate) * kMaxResampleFactor,
                               kResampleParameters[0].maximum);
  problem = "rate '" + FormatNumber(v.values[0]) +
            "' is beyond a factor of 256 from the stream's " + std::to_string(in.sampleRate) +
            " Hz (" + FormatNumber(low) + " to " + FormatNumber(high) + " Hz)";
  return false;
}

StreamShape ResampleShape(const StageValues& v, StreamShape in) {
  return {in.channels, static_cast<uint32_t>(v.values[0])};
}

StreamShape SpeedShape(const StageValues&, StreamShape in) {
  return in;
}

void Flow(void* record, const void* in, std::size_t inFrames, void* out, std::size_t outRoom,
          std::size_t sampleBytes, std::size_t& consumed, std::size_t& produced) {
  auto& state = As<ResampleState>(record);
  if (state.identity) {
    consumed = produced = std::min(inFrames, outRoom);
    std::memcpy(out, in, consumed * state.channels * sampleBytes);
    return;
  }
  RunResampler(state.resampler, static_cast<const float*>(in), inFrames, static_cast<float*>(out),
               outRoom, consumed, produced);
}

std::size_t Drain(void* record, void* out, std::size_t outRoom, std::size_t) {
  auto& state = As<ResampleState>(record);
  if (state.identity) return 0;
  return DrainResampler(state.resampler, static_cast<float*>(out), outRoom);
}

uint64_t Latency(const void* record) {
  const auto& state = As<ResampleState>(record);
  return state.identity ? 0 : ResamplerLatency(state.resampler);
}

bool Copies(const void* record) {
  return As<ResampleState>(record).identity;
}

bool HasTables(const void* record) {
  const auto& state = As<ResampleState>(record);
  return state.identity || state.resampler.table != nullptr;
}

void Release(void* record) {
  auto& state = As<ResampleState>(record);
  if (!state.identity) ReleaseResampler(state.resampler);
}

}  // namespace

const EffectFamily kResampleFamily = {
    {"resample", nullptr, 0, "band-limited sample-rate conversion", kResampleParameters,
     CountOf(kResampleParameters)},
    kResampleSyntax,
    {.stateSize = sizeof(ResampleState),
     .init = Init<ResampleRates>,
     .release = Release,
     .hasBuffers = HasTables,
     .shape = ResampleShape,
     .flow = Flow,
     .drain = Drain,
     .latency = Latency,
     .copiesOnly = Copies,
     .fits = ResampleFits},
};

const EffectFamily kSpeedFamily = {
    {"speed", nullptr, 0, "faster or slower, pitch and tempo together", kSpeedParameters,
     CountOf(kSpeedParameters)},
    kResampleSyntax,
    {.stateSize = sizeof(ResampleState),
     .init = Init<SpeedRates>,
     .release = Release,
     .hasBuffers = HasTables,
     .shape = SpeedShape,
     .flow = Flow,
     .drain = Drain,
     .latency = Latency,
     .copiesOnly = Copies},
};

}  // namespace wavfx
