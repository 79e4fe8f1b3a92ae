#include "bench_signals.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace wavfx::bench {
namespace {

constexpr double kPi = 3.14159265358979323846;

uint32_t NextRandom(uint32_t& state) {
  state = state * 1103515245u + 12345u;
  return state >> 8;
}

// A uniform value in [-1, 1).
double Noise(uint32_t& state) {
  return static_cast<double>(NextRandom(state)) / 8388608.0 - 1.0;
}

double NoteFrequency(int semitonesFromA4) {
  return 440.0 * std::pow(2.0, semitonesFromA4 / 12.0);
}

double Pluck(double frequency, double t) {
  const double envelope = std::exp(-3.0 * t) * std::min(1.0, t * 200.0);
  double value = 0.0;
  for (int harmonic = 1; harmonic <= 4; ++harmonic) {
    value += std::sin(2.0 * kPi * frequency * harmonic * t) / (harmonic * harmonic);
  }
  return envelope * value;
}

int16_t ToSample(double value) {
  return static_cast<int16_t>(std::lround(std::clamp(value, -1.0, 1.0) * 32767.0));
}

}  // namespace

std::vector<int16_t> MusicSignal(uint32_t frames, uint32_t channels, uint32_t sampleRate) {
  const int chords[4][3] = {{0, 3, 7}, {-4, 0, 3}, {3, 7, 10}, {-2, 2, 5}};
  const double beat = 0.25;
  uint32_t random = 1;
  std::vector<int16_t> samples(static_cast<std::size_t>(frames) * channels);
  for (uint32_t n = 0; n < frames; ++n) {
    const double t = n / static_cast<double>(sampleRate);
    const int step = static_cast<int>(t / beat);
    const int chord = (step / 4) % 4;
    const double noteTime = t - step * beat;
    const double melody = Pluck(NoteFrequency(chords[chord][step % 3] + 12), noteTime);
    const double bass = Pluck(NoteFrequency(chords[chord][0] - 24), t - (step / 4) * 4 * beat);
    const double hat = step % 2 == 1 ? Noise(random) * std::exp(-200.0 * noteTime) : 0.0;
    const double pan = 0.5 + 0.4 * std::sin(2.0 * kPi * 0.25 * t);
    for (uint32_t c = 0; c < channels; ++c) {
      const double side = c % 2 == 0 ? 1.0 - pan : pan;
      const double value = 0.6 * melody * side + 0.45 * bass + 0.1 * hat * (c % 2 ? -1 : 1);
      samples[static_cast<std::size_t>(n) * channels + c] = ToSample(value);
    }
  }
  return samples;
}

std::vector<int16_t> BurstThenSilence(uint32_t frames, uint32_t channels, uint32_t burstFrames) {
  uint32_t random = 7;
  std::vector<int16_t> samples(static_cast<std::size_t>(frames) * channels, 0);
  const std::size_t burst = static_cast<std::size_t>(std::min(burstFrames, frames)) * channels;
  for (std::size_t i = 0; i < burst; ++i) {
    samples[i] = ToSample(0.9 * Noise(random));
  }
  return samples;
}

}  // namespace wavfx::bench
