#include <iterator>

#include "effects/biquad_family.h"

namespace wavfx {
namespace {

constexpr const char* kShelfHelp = "mid-point of the shelf, below half the sample rate";
constexpr wavfx_parameter_info kSlope = {
    "slope", "", 0.5, 0.001, 1, 0, "shelf slope S, 1 the steepest without overshoot"};
constexpr wavfx_parameter_info kWidth = {
    "width", "", 0, 0, 1000000, 0, "width in the unit of unit, replacing slope when above 0"};
constexpr wavfx_parameter_info kUnit = {"unit", "", 0, 0, 2, 1, "hz, octaves or q"};

constexpr wavfx_parameter_info kBass[] = {
    {"gain", "dB", 0, -120, 60, 0, "gain at 0 Hz"},
    {"frequency", "Hz", 100, 1, 1000000, 0, kShelfHelp},
    kSlope,
    kWidth,
    kUnit,
};
constexpr wavfx_parameter_info kTreble[] = {
    {"gain", "dB", 0, -120, 60, 0, "gain at half the sample rate"},
    {"frequency", "Hz", 3000, 1, 1000000, 0, kShelfHelp},
    kSlope,
    kWidth,
    kUnit,
};
constexpr ParameterSyntax kSyntax[] = {{}, {}, {}, {}, kShelfWidthUnitSyntax};
constexpr const char* kBassAliases[] = {"lowshelf"};
constexpr const char* kTrebleAliases[] = {"highshelf"};

template <BiquadShape kShape>
void Init(void* state, const StageValues& v, StreamShape in) {
  BiquadDesign design{kShape,      v.values[1],        static_cast<double>(in.sampleRate),
                      v.values[0], BiquadWidth::Slope, 0.0};
  SetWidth(design, v, 2, BiquadWidth::Slope, 3);
  InitBiquadStage(As<BiquadStage>(state), design, in.channels, v.values[0] != 0.0);
}

bool Fits(const StageValues& v, StreamShape in, std::string& problem) {
  return FrequencyFits(v.values[1], "frequency", in, problem);
}

}  // namespace

const EffectFamily kBassFamily = {
    {"bass", kBassAliases, std::size(kBassAliases),
     "two-pole low shelf: boosts or cuts the bass (the cookbook's, as SoX's bass)", kBass,
     CountOf(kBass)},
    kSyntax,
    BiquadOps(Init<BiquadShape::LowShelf>, Fits),
};
const EffectFamily kTrebleFamily = {
    {"treble", kTrebleAliases, std::size(kTrebleAliases),
     "two-pole high shelf: boosts or cuts the treble (the cookbook's, as SoX's treble)", kTreble,
     CountOf(kTreble)},
    kSyntax,
    BiquadOps(Init<BiquadShape::HighShelf>, Fits),
};

}  // namespace wavfx
