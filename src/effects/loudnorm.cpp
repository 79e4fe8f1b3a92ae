#include "effects/loudnorm.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "dsp/effect_math.h"
#include "effects/norm.h"

namespace wavfx {
namespace {

enum Parameter { kTarget, kCeiling, kMeasured, kPeak };

constexpr wavfx_parameter_info kParameters[] = {
    {"target", "LUFS", -23, -70, -5, 0, "the integrated loudness to reach"},
    {"ceiling", "dBTP", -1, -20, 0, 0, "the true peak the output stays under"},
    {"measured", "LUFS", kMeasureFirst, kMeasureFirst, 30, 0,
     "the input's integrated loudness as measured (less what the limiter takes); -300: measure "
     "it first"},
    {"peak", "dBTP", kMeasureFirst, kMeasureFirst, 60, 0,
     "the input's true peak as measured; -300: measure it first"},
};

// The gain in dB, 0 for an input without loudness above the gate.
double GainDb(const StageValues& v) {
  return v.values[kMeasured] < -70.0 ? 0.0 : v.values[kTarget] - v.values[kMeasured];
}

// The limiter holds the standard's true peak this far under the ceiling: meters with other
// interpolators (libebur128's reads up to 0.2 dB higher on music) and the output's rounding
// then find it under the ceiling too.
constexpr double kHeadroomDb = 0.3;

double LimitDb(const StageValues& v) {
  return v.values[kCeiling] - kHeadroomDb;
}

bool Limits(const StageValues& v) {
  return v.values[kMeasured] >= -70.0 && v.values[kPeak] + GainDb(v) > LimitDb(v);
}

StageValues LimiterValues(double ceiling) {
  StageValues values{};
  const wavfx_parameter_info* parameters = kLimiterFamily.info.parameters;
  for (std::size_t i = 0; i < kLimiterFamily.info.parameter_count; ++i)
    values.values[i] = parameters[i].default_value;
  values.values[0] = ceiling;  // the ceiling; truepeak is 1 by default
  return values;
}

void Init(void* state, const StageValues& v, StreamShape in) {
  auto& s = As<LoudnormState>(state);
  s.gain.channels = in.channels;
  s.gain.gain = static_cast<float>(TenToThe(std::clamp(GainDb(v) / 20.0, -8.0, 8.0)));
  s.limits = Limits(v);
  if (s.limits) kLimiterFamily.ops.init(&s.limiter, LimiterValues(LimitDb(v)), in);
}

void Process(LoudnormState& s, float* samples, int32_t frames) {
  ProcessGain(s.gain, samples, frames);
  if (s.limits) kLimiterFamily.ops.process(&s.limiter, samples, frames);
}

void Release(LoudnormState& s) {
  if (s.limits) kLimiterFamily.ops.release(&s.limiter);
}

bool HasBuffers(const void* state) {
  const auto& s = As<LoudnormState>(state);
  return !s.limits || kLimiterFamily.ops.hasBuffers(&s.limiter);
}

bool ChangesAudio(const void* state) {
  const auto& s = As<LoudnormState>(state);
  return s.limits || s.gain.gain != 1.0f;
}

uint64_t Delay(const void* state) {
  const auto& s = As<LoudnormState>(state);
  return s.limits ? kLimiterFamily.ops.delay(&s.limiter) : 0;
}

bool Fits(const StageValues& v, StreamShape in, std::string& problem) {
  return !Limits(v) || kLimiterFamily.ops.fits == nullptr ||
         kLimiterFamily.ops.fits(LimiterValues(LimitDb(v)), in, problem);
}

bool NeedsMeasurement(const StageValues& v) {
  return v.values[kMeasured] <= kMeasureFirst || v.values[kPeak] <= kMeasureFirst;
}

void TakeMeasurement(StageValues& v, const StreamMeasurement& m) {
  if (v.values[kMeasured] <= kMeasureFirst) v.values[kMeasured] = MeasuredParameter(m.integrated);
  if (v.values[kPeak] <= kMeasureFirst) v.values[kPeak] = MeasuredParameter(m.truePeak);
}

// The limiter takes some loudness away: the gain before it grows by the shortfall the output
// shows, through the measured value, until the output lies within 0.02 LU of the target.
bool Refine(StageValues& v, const StreamMeasurement& output) {
  if (!Limits(v) || !std::isfinite(output.integrated)) return false;
  const double shortfall = v.values[kTarget] - output.integrated;
  if (std::fabs(shortfall) <= 0.02) return false;
  v.values[kMeasured] = std::max(v.values[kMeasured] - shortfall, -70.0);
  return true;
}

bool Promise(const StageValues& v, const StreamMeasurement& input, StreamMeasurement& output) {
  if (Limits(v)) return false;
  output = AfterGain(input, GainDb(v));
  return true;
}

std::string Plan(const StageValues& v) {
  char text[200];
  if (v.values[kMeasured] < -70.0) {
    return "no loudness above the -70 LUFS gate: left as it is";
  }
  std::snprintf(text, sizeof text, "a gain of %+.2f dB to %.1f LUFS", GainDb(v), v.values[kTarget]);
  std::string plan = text;
  if (Limits(v)) {
    std::snprintf(text, sizeof text,
                  ", which would put the true peak at %+.2f dBTP: limited to %.1f dBTP",
                  v.values[kPeak] + GainDb(v), LimitDb(v));
    plan += text;
  }
  return plan;
}

}  // namespace

const EffectFamily kLoudnormFamily = {
    {"loudnorm", nullptr, 0,
     "normalises the integrated loudness (EBU R128) under a true-peak ceiling, measuring first",
     kParameters, CountOf(kParameters)},
    nullptr,
    {.stateSize = sizeof(LoudnormState),
     .init = Init,
     .process = ProcessAs<LoudnormState, Process>,
     .release = ReleaseAs<LoudnormState, Release>,
     .changesAudio = ChangesAudio,
     .hasBuffers = HasBuffers,
     .fits = Fits,
     .delay = Delay},
    false,
    {.needsMeasurement = NeedsMeasurement,
     .takeMeasurement = TakeMeasurement,
     .refine = Refine,
     .plan = Plan,
     .promise = Promise},
};

}  // namespace wavfx
