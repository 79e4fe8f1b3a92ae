#include "effects/norm.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "dsp/effect_math.h"
#include "effects/gain.h"

namespace wavfx {
namespace {

enum Parameter { kLevel, kTruePeak, kPeak };

constexpr wavfx_parameter_info kParameters[] = {
    {"level", "dB", 0, -60, 0, 0, "the peak level to reach, in dBFS (dBTP with truepeak=1)"},
    {"truepeak", "", 0, 0, 1, 1, "1: normalise the true peak (BS.1770), 0: the sample peak"},
    {"peak", "dB", kMeasureFirst, kMeasureFirst, 60, 0,
     "the input's peak as measured; -300: measure it first"},
};

void Init(void* state, const StageValues& v, StreamShape in) {
  auto& gain = As<GainState>(state);
  gain.channels = in.channels;
  const double peak = v.values[kPeak];
  const double exponent = std::min((v.values[kLevel] - peak) / 20.0, 8.0);
  gain.gain = peak < kSilentBelow ? 1.0f : static_cast<float>(TenToThe(exponent));
}

bool ChangesAudio(const void* state) {
  return As<GainState>(state).gain != 1.0f;
}

bool NeedsMeasurement(const StageValues& v) {
  return v.values[kPeak] <= kMeasureFirst;
}

void TakeMeasurement(StageValues& v, const StreamMeasurement& m) {
  v.values[kPeak] = MeasuredParameter(v.values[kTruePeak] != 0 ? m.truePeak : m.samplePeak);
}

double GainDb(const StageValues& v) {
  return v.values[kPeak] < kSilentBelow ? 0.0 : std::min(v.values[kLevel] - v.values[kPeak], 160.0);
}

bool UsesOnlySamplePeak(const StageValues& v) {
  return v.values[kTruePeak] == 0;
}

std::string Plan(const StageValues& v) {
  if (v.values[kPeak] < kSilentBelow) return "silent: left as it is";
  char text[64];
  std::snprintf(text, sizeof text, "a gain of %+.2f dB", GainDb(v));
  return text;
}

bool Promise(const StageValues& v, const StreamMeasurement& input, StreamMeasurement& output) {
  output = AfterGain(input, GainDb(v));
  return true;
}

}  // namespace

double MeasuredParameter(double measured) {
  // At or below kMeasureFirst the stage would ask for its measurement again, for good.
  return std::isfinite(measured) && measured > kMeasureFirst ? measured : kSilentBelow - 50.0;
}

StreamMeasurement AfterGain(const StreamMeasurement& measured, double db) {
  return {measured.integrated + db, measured.truePeak + db, measured.samplePeak + db,
          measured.range};
}

const EffectFamily kNormFamily = {
    {"norm", nullptr, 0, "normalises the peak (sample or true) to a level, measuring it first",
     kParameters, CountOf(kParameters)},
    nullptr,
    {.stateSize = sizeof(GainState),
     .init = Init,
     .process = ProcessAs<GainState, ProcessGain>,
     .changesAudio = ChangesAudio},
    false,
    {.needsMeasurement = NeedsMeasurement,
     .takeMeasurement = TakeMeasurement,
     .usesOnlySamplePeak = UsesOnlySamplePeak,
     .plan = Plan,
     .promise = Promise},
};

}  // namespace wavfx
