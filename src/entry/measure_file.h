#pragma once

#include <string>
#include <vector>

#include "entry/measure_pass.h"
#include "formats/sound_file.h"
#include "measure/meter.h"

namespace wavfx {

// Weights of loudness for a file's channels, from libsndfile's channel map (which reads a WAV
// file's channel mask) when it has one: 0 for the LFE, 1.41 for the side and rear left and right
// channels (the surrounds of 5.1, which WAV's mask names back channels), 1 for the rest; otherwise
// DefaultLoudnessWeights.
std::vector<double> LoudnessWeightsOf(SNDFILE* file, uint32_t channels);

// Reads a whole file (or the descriptor `fd` when not -1: a pipe) through the general reader into
// `meter`, in blocks, at the samples' native precision. Returns false with `reason` set to one
// line when it cannot be read.
bool MeasureSoundFile(const char* path, int fd, SoundInfo& info, Meter& meter, std::string& reason);

// Measures, reading the file once for each, the inputs of the chain's stages that need it (see
// MeasureStageInputs); `notes` gets a line for each. False with `reason` set when the file
// cannot be read.
bool MeasureChainInputs(const std::string& path, ChainRecipe& recipe, std::string& notes,
                        std::string& reason);

// A pass over a sound file through the general reader, samples converted as the general path
// converts them.
InputPass FilePass(const std::string& path);

}  // namespace wavfx
