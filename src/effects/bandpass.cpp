#include "effects/biquad_family.h"

namespace wavfx {
namespace {

constexpr const char* kPeaks[] = {"unity", "skirt"};
constexpr wavfx_parameter_info kParameters[] = {
    kCentreParameter,
    kQParameter,
    kWidthParameter,
    kUnitParameter,
    {"peak", "", 0, 0, 1, 1,
     "unity (0 dB at the centre) or skirt (constant skirt gain, Q at the centre: SoX's -c)"},
};
constexpr ParameterSyntax kSyntax[] = {{}, {}, {}, kWidthUnitSyntax, {kPeaks, 2, false, false}};

void Init(void* state, const StageValues& v, StreamShape in) {
  const BiquadShape shape = v.values[4] == 1.0 ? BiquadShape::BandpassSkirt : BiquadShape::Bandpass;
  InitBiquadStage(As<BiquadStage>(state), CentredDesign(shape, v, in, 0.0), in.channels, true);
}

}  // namespace

const EffectFamily kBandpassFamily = {
    {"bandpass", nullptr, 0, "two-pole band-pass (the cookbook's, as SoX's)", kParameters,
     CountOf(kParameters)},
    kSyntax,
    BiquadOps(Init, CentredFits),
};

}  // namespace wavfx
