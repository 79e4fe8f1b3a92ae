#include "effects/resample.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

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
    {"rate", "Hz", 0, 0, 2000000, 1, "the output's sample rate: 0 keeps the input's"},
};
constexpr ParameterSyntax kSpeedSyntax[] = {{}, kResampleQualitySyntax, {}};

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

// The products below stay within 64 bits for every factor, rate and stream rate.
static_assert(kSpeedParameters[0].maximum * kSpeedScale * 4294967295.0 < 18446744073709551616.0 &&
              kSpeedParameters[2].maximum * kSpeedScale < 18446744073709551616.0);

// With an output rate R the stream is taken as one at f times its rate, converted once to R.
Rates SpeedRates(const StageValues& v, StreamShape in) {
  const auto from = static_cast<uint64_t>(std::round(v.values[0] * kSpeedScale));
  const auto rate = static_cast<uint64_t>(v.values[2]);
  const auto to = static_cast<uint64_t>(kSpeedScale);
  if (rate == 0) return {from, to};
  return {from * in.sampleRate, to * rate};
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

// Whether the converter takes the two rates: within its factor of 256 either way, reduced by
// their gcd below 2^40.
bool Reachable(Rates rates) {
  if (rates.from == 0 || rates.to == 0) return false;
  const uint64_t g = std::gcd(rates.from, rates.to);
  const uint64_t from = rates.from / g;
  const uint64_t to = rates.to / g;
  return from < kMaxReducedRate && to < kMaxReducedRate && to <= from * kMaxResampleFactor &&
         from <= to * kMaxResampleFactor;
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

bool SpeedFits(const StageValues& v, StreamShape in, std::string& problem) {
  const Rates rates = SpeedRates(v, in);
  if (Reachable(rates)) return true;
  const double relabelled = static_cast<double>(rates.from) / kSpeedScale;  // f * in
  const double low = std::max(1.0, std::ceil(relabelled / static_cast<double>(kMaxResampleFactor)));
  const double high = std::min(std::floor(relabelled * static_cast<double>(kMaxResampleFactor)),
                               kSpeedParameters[2].maximum);
  const double rate = v.values[2];
  problem = "rate '" + FormatNumber(rate) + "' from the stream's " + std::to_string(in.sampleRate) +
            " Hz times the factor, " + FormatNumber(relabelled) + " Hz, ";
  if (rate >= low && rate <= high) {
    problem += "takes rates that do not reduce below 2^40: give the factor fewer decimals";
  } else {
    problem += "is beyond a factor of 256";
    if (low <= high) problem += " (" + FormatNumber(low) + " to " + FormatNumber(high) + " Hz)";
  }
  return false;
}

StreamShape SpeedShape(const StageValues& v, StreamShape in) {
  const auto rate = static_cast<uint32_t>(v.values[2]);
  return {in.channels, rate == 0 ? in.sampleRate : rate};
}

void Flow(void* record, const void* in, std::size_t inFrames, void* out, std::size_t outRoom,
          std::size_t sampleBytes, std::size_t& consumed, std::size_t& produced) {
  auto& state = As<ResampleState>(record);
  if (state.identity) {
    consumed = produced = std::min(inFrames, outRoom);
    if (consumed > 0) std::memcpy(out, in, consumed * state.channels * sampleBytes);
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
    kSpeedSyntax,
    {.stateSize = sizeof(ResampleState),
     .init = Init<SpeedRates>,
     .release = Release,
     .hasBuffers = HasTables,
     .shape = SpeedShape,
     .flow = Flow,
     .drain = Drain,
     .latency = Latency,
     .copiesOnly = Copies,
     .fits = SpeedFits},
};

}  // namespace wavfx
