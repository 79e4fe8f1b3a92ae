#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/chain_text.h"

namespace wavfx {

// One pass over the whole input from its start: hands its frames, interleaved floats in full
// scale, to `sink` in blocks; false with `reason` set when the input cannot be read.
using FrameSink = std::function<void(const float* frames, std::size_t count)>;
using InputPass = std::function<bool(const FrameSink& sink, std::string& reason)>;

// What a pass measured for a stage.
struct StageMeasurement {
  uint32_t stage;
  StreamMeasurement measured;
  StreamMeasurement output;  // what the stage gives: promised by its gain, or measured
};

// Measures, one pass each, the input of every stage that needs it (the input run through the
// stages before it) and hands it the measurement, so that `recipe` then runs in one pass. Unless
// the measurements are to be `described`, a stage that uses only the sample peak gets that alone
// (its other fields NaN), without the cost of the loudness meter.
bool MeasureStageInputs(ChainRecipe& recipe, uint32_t channels, uint32_t sampleRate,
                        const InputPass& pass, std::vector<StageMeasurement>& measured,
                        std::string& reason, bool described);

// One line for each measurement: "norm (stage 2): its input measures -18.3 LUFS, ...".
std::string DescribeMeasurements(const ChainRecipe& recipe,
                                 const std::vector<StageMeasurement>& measured);

}  // namespace wavfx
