#pragma once

#include <string>
#include <vector>

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

}  // namespace wavfx
