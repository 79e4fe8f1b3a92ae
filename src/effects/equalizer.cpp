#include "effects/biquad_family.h"

namespace wavfx {
namespace {

constexpr wavfx_parameter_info kParameters[] = {
    kCentreParameter,
    kQParameter,
    kWidthParameter,
    kUnitParameter,
    {"gain", "dB", 0, -120, 60, 0, "gain at the centre"},
};
constexpr ParameterSyntax kSyntax[] = {{}, {}, {}, kWidthUnitSyntax, {}};

void Init(void* state, const StageValues& v, StreamShape in) {
  InitBiquadStage(As<BiquadStage>(state), CentredDesign(BiquadShape::Peaking, v, in, v.values[4]),
                  in.channels, v.values[4] != 0.0);
}

}  // namespace

const EffectFamily kEqualizerFamily = {
    {"equalizer", nullptr, 0, "two-pole peaking equaliser (the cookbook's, as SoX's)", kParameters,
     CountOf(kParameters)},
    kSyntax,
    BiquadOps(Init, CentredFits),
};

}  // namespace wavfx
