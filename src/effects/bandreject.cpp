#include "effects/biquad_family.h"

namespace wavfx {

const EffectFamily kBandrejectFamily = {
    {"bandreject", nullptr, 0, "two-pole notch (the cookbook's, as SoX's)", kCentredParameters,
     CountOf(kCentredParameters)},
    kCentredSyntax,
    BiquadOps(InitCentred<BiquadShape::Bandreject>, CentredFits),
};

}  // namespace wavfx
