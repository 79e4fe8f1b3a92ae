#include "engine/registry.h"

#include <bit>

namespace wavfx {
namespace {

// Parameters that stand for a value the effect's initialisation takes in single precision.
float Single(double value) {
  return static_cast<float>(value);
}

constexpr wavfx_parameter_info kCutoff3000[] = {
    {"cutoff", "Hz", 3000, 10, 100000, 0, "corner frequency, at most 0.45 of the sample rate"},
};
constexpr wavfx_parameter_info kCutoff300[] = {
    {"cutoff", "Hz", 300, 10, 100000, 0, "corner frequency, at most 0.45 of the sample rate"},
};
constexpr wavfx_parameter_info kAntique[] = {
    {"cutoff", "Hz", 4000, 10, 100000, 0, "lowpass corner; 0.45 of the rate below twice this"},
    {"noise", "", 0.002, 0, 0.1, 0, "level of the added white noise, of full scale"},
    {"bits", "", 8, 1, 16, 1, "grain: the quantiser has 2^bits levels"},
    {"level", "", 0.9, 0, 1, 0, "output gain"},
};
constexpr wavfx_parameter_info kEcho[] = {
    {"delay", "ms", 350, 1, 5000, 0, "time between repeats"},
    {"feedback", "", 0.45, -0.95, 0.95, 0, "each repeat's level relative to the last"},
    {"wet", "", 0.5, 0, 1, 0, "gain of the delayed signal"},
    {"dry", "", 0.7, 0, 1, 0, "gain of the input"},
};
constexpr wavfx_parameter_info kReverb[] = {
    {"wet", "", 0.42, 0, 1, 0, "gain of the reverberation"},
    {"dry", "", 0.7, 0, 1, 0, "gain of the input"},
    {"size", "", 1, 0.05, 4, 0, "room size: scales the four comb delays"},
    {"decay", "", 1, 0, 1.25, 0, "scales the four comb feedbacks"},
};
constexpr wavfx_parameter_info kTremolo[] = {
    {"rate", "Hz", 5, 0.01, 100, 0, "speed of the volume swing"},
    {"depth", "", 0.7, 0, 1, 0, "swing: the gain runs from 1 - depth/2 to 1 + depth/2"},
};
constexpr wavfx_parameter_info kDistortion[] = {
    {"drive", "", 2.5, 0.1, 100, 0, "gain into the clipper"},
    {"level", "", 0.7, 0, 1, 0, "output gain"},
};
constexpr wavfx_parameter_info kBitcrusher[] = {
    {"bits", "", 8, 4, 12, 1, "the quantiser has 2^bits levels"},
};
constexpr wavfx_parameter_info kFlanger[] = {
    {"min", "ms", 0.3, 0, 50, 0, "shortest delay of the sweep"},
    {"max", "ms", 5, 0.1, 100, 0, "longest delay of the sweep"},
    {"rate", "Hz", 0.25, 0.01, 20, 0, "sweeps per second"},
    {"wet", "", 0.6, 0, 1, 0, "gain of the delayed signal"},
    {"dry", "", 0.7, 0, 1, 0, "gain of the input"},
    {"feedback", "", 0.3, -0.95, 0.95, 0, "delayed signal fed back into the delay"},
};
constexpr wavfx_parameter_info kChorus[] = {
    {"min", "ms", 10, 0, 50, 0, "shortest delay of the sweep"},
    {"max", "ms", 25, 0.1, 100, 0, "longest delay of the sweep"},
    {"rate", "Hz", 0.3, 0.01, 20, 0, "sweeps per second"},
    {"wet", "", 0.5, 0, 1, 0, "gain of the delayed signal"},
    {"dry", "", 0.7, 0, 1, 0, "gain of the input"},
    {"feedback", "", 0.1, -0.95, 0.95, 0, "delayed signal fed back into the delay"},
};
constexpr wavfx_parameter_info kCompressor[] = {
    {"threshold", "dB", -12, -60, 0, 0, "level above which the gain is reduced"},
    {"ratio", "", 4, 1, 20, 0, "input level change per unit of output change above threshold"},
    {"attack", "ms", 10, 0.1, 1000, 0, "time constant of a rising level"},
    {"release", "ms", 100, 1, 5000, 0, "time constant of a falling level"},
};
constexpr wavfx_parameter_info kWidener[] = {
    {"width", "", 1.5, 0, 4, 0, "gain of the side signal; 1 leaves the image as it is"},
};

constexpr const char* kReverbAliases[] = {"concert"};
constexpr const char* kDistortionAliases[] = {"overdrive"};
constexpr const char* kBitcrusherAliases[] = {"bitcrusher"};
constexpr const char* kCompressorAliases[] = {"compressor"};
constexpr const char* kWidenerAliases[] = {"stereo"};

template <std::size_t N>
constexpr std::size_t Count(const wavfx_parameter_info (&)[N]) {
  return N;
}

#define WAVFX_ALIASES(list) list, sizeof(list) / sizeof(list[0])
#define WAVFX_PARAMETERS(list) list, Count(list)

const EffectFamily kFamilies[] = {
    {{"none", nullptr, 0, "copies the audio unchanged", nullptr, 0},
     EffectKind::None,
     [](EffectState&, const double*, uint32_t, uint32_t) {}},
    {{"antique", nullptr, 0, "old record: band-limited, faint noise, coarse grain",
      WAVFX_PARAMETERS(kAntique)},
     EffectKind::Antique,
     [](EffectState& s, const double* v, uint32_t channels, uint32_t rate) {
       InitAntique(s.antique, rate, channels, Single(v[0]), Single(v[1]),
                   static_cast<int32_t>(v[2]), Single(v[3]));
     }},
    {{"echo", nullptr, 0, "a repeating echo", WAVFX_PARAMETERS(kEcho)},
     EffectKind::Echo,
     [](EffectState& s, const double* v, uint32_t channels, uint32_t rate) {
       InitEcho(s.echo, rate, channels, v[0] * 0.001, Single(v[1]), Single(v[2]), Single(v[3]));
     }},
    {{"reverb", WAVFX_ALIASES(kReverbAliases), "hall reverberation from four combs in series",
      WAVFX_PARAMETERS(kReverb)},
     EffectKind::Reverb,
     [](EffectState& s, const double* v, uint32_t channels, uint32_t rate) {
       InitReverb(s.reverb, static_cast<int32_t>(rate), channels, Single(v[0]), Single(v[1]), v[2],
                  Single(v[3]));
     }},
    {{"tremolo", nullptr, 0, "a sine swing of the volume", WAVFX_PARAMETERS(kTremolo)},
     EffectKind::Tremolo,
     [](EffectState& s, const double* v, uint32_t channels, uint32_t rate) {
       InitTremolo(s.tremolo, static_cast<int32_t>(rate), Single(v[0]), Single(v[1]), channels);
     }},
    {{"distort", WAVFX_ALIASES(kDistortionAliases), "overdrive: drive into a cubic soft clip",
      WAVFX_PARAMETERS(kDistortion)},
     EffectKind::Distortion,
     [](EffectState& s, const double* v, uint32_t channels, uint32_t) {
       InitDistortion(s.distortion, Single(v[0]), channels, Single(v[1]));
     }},
    {{"lowpass", nullptr, 0, "one-pole lowpass", WAVFX_PARAMETERS(kCutoff3000)},
     EffectKind::Lowpass,
     [](EffectState& s, const double* v, uint32_t channels, uint32_t rate) {
       InitOnePole(s.onePole, rate, Single(v[0]), channels);
     }},
    {{"highpass", nullptr, 0, "one-pole highpass: the input minus its lowpass",
      WAVFX_PARAMETERS(kCutoff300)},
     EffectKind::Highpass,
     [](EffectState& s, const double* v, uint32_t channels, uint32_t rate) {
       InitOnePole(s.onePole, rate, Single(v[0]), channels);
     }},
    {{"bitcrush", WAVFX_ALIASES(kBitcrusherAliases), "amplitude quantisation, rounding down",
      WAVFX_PARAMETERS(kBitcrusher)},
     EffectKind::Bitcrusher,
     [](EffectState& s, const double* v, uint32_t channels, uint32_t) {
       InitBitcrusher(s.bitcrusher, static_cast<int32_t>(v[0]), channels);
     }},
    {{"flanger", nullptr, 0, "a short swept delay with strong feedback",
      WAVFX_PARAMETERS(kFlanger)},
     EffectKind::Flanger,
     [](EffectState& s, const double* v, uint32_t channels, uint32_t rate) {
       InitModDelay(s.flanger, static_cast<int32_t>(rate), channels, Single(v[0]), Single(v[1]),
                    Single(v[2]), Single(v[3]), Single(v[4]), Single(v[5]));
     }},
    {{"chorus", nullptr, 0, "a longer swept delay with light feedback", WAVFX_PARAMETERS(kChorus)},
     EffectKind::Chorus,
     [](EffectState& s, const double* v, uint32_t channels, uint32_t rate) {
       InitModDelay(s.chorus, static_cast<int32_t>(rate), channels, Single(v[0]), Single(v[1]),
                    Single(v[2]), Single(v[3]), Single(v[4]), Single(v[5]));
     }},
    {{"compress", WAVFX_ALIASES(kCompressorAliases), "peak compressor, one gain for all channels",
      WAVFX_PARAMETERS(kCompressor)},
     EffectKind::Compressor,
     [](EffectState& s, const double* v, uint32_t channels, uint32_t rate) {
       InitCompressor(s.compressor, static_cast<int32_t>(rate), Single(v[0]), Single(v[1]),
                      Single(v[2]), Single(v[3]), channels);
     }},
    {{"widen", WAVFX_ALIASES(kWidenerAliases), "stereo widener (stereo streams only)",
      WAVFX_PARAMETERS(kWidener)},
     EffectKind::Widener,
     [](EffectState& s, const double* v, uint32_t channels, uint32_t) {
       InitWidener(s.widener, Single(v[0]), channels);
     }},
};

#undef WAVFX_ALIASES
#undef WAVFX_PARAMETERS

unsigned char FoldCase(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte + 32) : byte;
}

bool EqualsFolded(std::string_view name, const char* literal) {
  std::size_t i = 0;
  for (; i < name.size(); ++i) {
    if (literal[i] == '\0' || FoldCase(name[i]) != FoldCase(literal[i])) return false;
  }
  return literal[i] == '\0';
}

}  // namespace

std::span<const EffectFamily> EffectFamilies() {
  return kFamilies;
}

const EffectFamily& FamilyOf(EffectKind kind) {
  return kFamilies[static_cast<int32_t>(kind)];
}

const EffectFamily* FindEffectFamily(std::string_view name) {
  for (const EffectFamily& family : kFamilies) {
    if (EqualsFolded(name, family.info.name)) return &family;
    for (std::size_t i = 0; i < family.info.alias_count; ++i) {
      if (EqualsFolded(name, family.info.aliases[i])) return &family;
    }
  }
  return nullptr;
}

std::span<const wavfx_parameter_info> ParametersOf(const EffectFamily& family) {
  return {family.info.parameters, family.info.parameter_count};
}

EffectSettings DefaultSettings(const EffectFamily& family) {
  EffectSettings settings{family.kind, {}};
  const auto parameters = ParametersOf(family);
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    settings.values[i] = parameters[i].default_value;
  }
  return settings;
}

}  // namespace wavfx
