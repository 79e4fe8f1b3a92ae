#pragma once

#include <cstdint>
#include <vector>

namespace wavfx::bench {

// Interleaved 16-bit samples of a music-like signal: plucked chords over a bass line with a
// noisy hi-hat, panned slowly between the channels, a little over -3 dBFS at its loudest.
std::vector<int16_t> MusicSignal(uint32_t frames, uint32_t channels, uint32_t sampleRate);

// Loud noise for `burstFrames` frames, then silence: feedback paths decay towards zero and
// spend a long time in subnormal floats.
std::vector<int16_t> BurstThenSilence(uint32_t frames, uint32_t channels, uint32_t burstFrames);

}  // namespace wavfx::bench
