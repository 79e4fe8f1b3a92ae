#include "effects/biquad_family.h"

namespace wavfx {

const EffectFamily kAllpassFamily = {
    {"allpass", nullptr, 0, "two-pole all-pass: shifts the phase around the centre (as SoX's)",
     kCentredParameters, CountOf(kCentredParameters)},
    kCentredSyntax,
    BiquadOps(InitCentred<BiquadShape::Allpass>, CentredFits),
};

}  // namespace wavfx
