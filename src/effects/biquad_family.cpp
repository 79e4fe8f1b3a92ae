#include "effects/biquad_family.h"

namespace wavfx {

void SetWidth(BiquadDesign& design, const StageValues& values, std::size_t shapeIndex,
              BiquadWidth shapeKind, std::size_t widthIndex) {
  const double width = values.values[widthIndex];
  const double unit = values.values[widthIndex + 1];
  if (width > 0.0 && unit >= 0.0 && unit < static_cast<double>(std::size(kWidthKinds))) {
    design.widthKind = kWidthKinds[static_cast<std::size_t>(unit)];
    design.width = width;
  } else {
    design.widthKind = shapeKind;
    design.width = values.values[shapeIndex];
  }
}

void InitBiquadStage(BiquadStage& stage, BiquadDesign design, uint32_t channels, bool changes) {
  if (!(design.frequency < design.sampleRate * 0.5)) design.frequency = design.sampleRate * 0.45;
  // A rate of 0, or values no chain would pass, leave the audio alone.
  const bool designable = design.frequency > 0.0 && design.width > 0.0 && design.width < 1e300;
  if (!designable) design = {design.shape, 1.0, 4.0, 0.0, BiquadWidth::Q, 1.0};
  InitBiquad(stage.filter, design, channels);
  stage.changes = changes && designable;
}

bool FrequencyFits(double frequency, const char* name, StreamShape in, std::string& problem) {
  const double half = static_cast<double>(in.sampleRate) * 0.5;
  if (frequency < half) return true;
  problem = std::string(name) + " '" + FormatNumber(frequency) +
            "' is not below half the stream's rate (" + FormatNumber(half) + " Hz)";
  return false;
}

BiquadDesign CentredDesign(BiquadShape shape, const StageValues& values, StreamShape in,
                           double gainDb) {
  BiquadDesign design{shape,  values.values[0], static_cast<double>(in.sampleRate),
                      gainDb, BiquadWidth::Q,   0.0};
  SetWidth(design, values, 1, BiquadWidth::Q, 2);
  return design;
}

bool CentredFits(const StageValues& values, StreamShape in, std::string& problem) {
  return FrequencyFits(values.values[0], kCentreParameter.name, in, problem);
}

void ProcessBiquadStage(void* stage, float* samples, int32_t frames) {
  ProcessBiquad(As<BiquadStage>(stage).filter, samples, frames);
}

void ReleaseBiquadStage(void* stage) {
  ReleaseBiquad(As<BiquadStage>(stage).filter);
}

bool BiquadStageChanges(const void* stage) {
  return As<BiquadStage>(stage).changes;
}

bool BiquadStageHasBuffers(const void* stage) {
  return BiquadHasBuffers(As<BiquadStage>(stage).filter);
}

void CarryBiquadStage(const void* from, void* to, bool) {
  CarryBiquad(As<BiquadStage>(from).filter, As<BiquadStage>(to).filter);
}

}  // namespace wavfx
