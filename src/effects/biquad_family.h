#pragma once

#include <cstddef>
#include <string>

#include "dsp/biquad.h"
#include "effects/family.h"

namespace wavfx {

// The stage record of the two-pole families: one cookbook section per channel. A stage whose
// frequency does not fit its rate, or whose gain is 0 dB in a family that boosts and cuts,
// leaves its audio alone.
struct BiquadStage {
  BiquadState filter;
  bool changes;
};

// How "q or width" is written: `q` (or a shelf's `slope`) gives the width unless `width` is above
// 0, which then gives it in the unit of `unit`'s choice. Both are always set in a plugin, so a
// width above 0 wins rather than being refused beside a q.
constexpr const char* kWidthUnits[] = {"hz", "octaves", "q"};
constexpr ParameterSyntax kWidthUnitSyntax = {kWidthUnits, 2, false, false};
constexpr ParameterSyntax kShelfWidthUnitSyntax = {kWidthUnits, 3, false, false};
constexpr BiquadWidth kWidthKinds[] = {BiquadWidth::Hertz, BiquadWidth::Octaves, BiquadWidth::Q};

// Sets the stage up for `design`; the frequency is kept below half the rate (at 0.45 of it, as
// the one-pole filters are, for callers that did not ask `fits`).
void InitBiquadStage(BiquadStage& stage, BiquadDesign design, uint32_t channels, bool changes);

// The first four parameters of the families centred on a frequency (all but the shelves).
constexpr wavfx_parameter_info kCentreParameter = {
    "frequency", "Hz", 1000, 1, 1000000, 0, "centre frequency, below half the sample rate"};
// 1/sqrt(2) in single precision, so that a plugin's control port holds it exactly: Butterworth's
// Q, and SoX's default for its two-pole lowpass and highpass (within 2e-8).
constexpr double kButterworthQ = 0.707106769084930419921875;
constexpr wavfx_parameter_info kQParameter = {
    "q", "", kButterworthQ, 0.001, 1000, 0, "quality factor: the centre over the bandwidth"};
constexpr wavfx_parameter_info kWidthParameter = {
    "width", "", 0, 0, 1000000, 0, "bandwidth in the unit of unit, replacing q when above 0"};
constexpr wavfx_parameter_info kUnitParameter = {"unit", "", 0, 0, 1, 1, "hz or octaves"};

constexpr wavfx_parameter_info kCentredParameters[] = {kCentreParameter, kQParameter,
                                                       kWidthParameter, kUnitParameter};
constexpr ParameterSyntax kCentredSyntax[] = {{}, {}, {}, kWidthUnitSyntax};

// The design of a centred family from those four parameters.
BiquadDesign CentredDesign(BiquadShape shape, const StageValues& values, StreamShape in,
                           double gainDb);

// A centred family with those four parameters alone.
template <BiquadShape kShape>
void InitCentred(void* stage, const StageValues& values, StreamShape in) {
  InitBiquadStage(*static_cast<BiquadStage*>(stage), CentredDesign(kShape, values, in, 0.0),
                  in.channels, true);
}
bool CentredFits(const StageValues& values, StreamShape in, std::string& problem);

// The width of a design from the values at `shapeIndex` (q or slope, of kind `shapeKind`),
// `widthIndex` and the unit after it.
void SetWidth(BiquadDesign& design, const StageValues& values, std::size_t shapeIndex,
              BiquadWidth shapeKind, std::size_t widthIndex);

// Refuses a frequency at or above half the stream's rate.
bool FrequencyFits(double frequency, const char* name, StreamShape in, std::string& problem);

void ProcessBiquadStage(void* stage, float* samples, int32_t frames);
void ReleaseBiquadStage(void* stage);
bool BiquadStageChanges(const void* stage);
bool BiquadStageHasBuffers(const void* stage);
void CarryBiquadStage(const void* from, void* to, bool sameBuffers);

// The operations every two-pole family shares, given its init and fits.
constexpr FamilyOps BiquadOps(void (*init)(void*, const StageValues&, StreamShape),
                              bool (*fits)(const StageValues&, StreamShape, std::string&)) {
  return {.stateSize = sizeof(BiquadStage),
          .init = init,
          .process = ProcessBiquadStage,
          .release = ReleaseBiquadStage,
          .changesAudio = BiquadStageChanges,
          .hasBuffers = BiquadStageHasBuffers,
          .carry = CarryBiquadStage,
          .fits = fits};
}

extern const EffectFamily kBandpassFamily;
extern const EffectFamily kBandrejectFamily;
extern const EffectFamily kAllpassFamily;
extern const EffectFamily kEqualizerFamily;
extern const EffectFamily kBassFamily;
extern const EffectFamily kTrebleFamily;

}  // namespace wavfx
