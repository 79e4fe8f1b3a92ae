#include "golden/signals.h"

namespace wavfx::testing {
namespace {

// sin(2 pi t) for t in [0, 1) from a fixed polynomial: plenty for a test tone, and free of
// the C library so that it is the same everywhere.
double PolySine(double t) {
  double x = t < 0.5 ? t : t - 1.0;  // [-0.5, 0.5)
  x *= 6.283185307179586;
  const double x2 = x * x;
  return x * (1.0 - x2 / 6.0 * (1.0 - x2 / 20.0 * (1.0 - x2 / 42.0 * (1.0 - x2 / 72.0))));
}

uint32_t NextRandom(uint32_t& state) {
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return state;
}

int16_t ToSample(double value) {
  if (value > 32767.0) return 32767;
  if (value < -32768.0) return -32768;
  return static_cast<int16_t>(value);
}

}  // namespace

const std::vector<std::string>& SignalNames() {
  static const std::vector<std::string> names = {"impulse", "silence", "square",
                                                 "sweep",   "noise",   "mix"};
  return names;
}

const std::vector<uint32_t>& SignalChannelCounts() {
  static const std::vector<uint32_t> counts = {1, 2, 3, 6};
  return counts;
}

const std::vector<uint32_t>& SignalSampleRates() {
  static const std::vector<uint32_t> rates = {8000,  11025, 22050, 44100, 48000,
                                              96000, 0,     1,     10,    22};
  return rates;
}

std::size_t SignalFrames(uint32_t sampleRate) {
  if (sampleRate == 44100) return 132300;  // 3 s: past the reverb's and compressor's start-up
  if (sampleRate >= 8000) return 40000;
  return 3000;
}

std::vector<int16_t> MakeSignal(const SignalRecipe& signal) {
  const std::size_t frames = SignalFrames(signal.sampleRate);
  std::vector<int16_t> samples(frames * signal.channels, 0);
  for (uint32_t c = 0; c < signal.channels; ++c) {
    uint32_t random = 0x9E3779B9u ^ (c * 0x85EBCA6Bu) ^ signal.sampleRate;
    if (random == 0) random = 1;
    double phase = 0.0;
    for (std::size_t f = 0; f < frames; ++f) {
      // A sweep from 0 to half the frame rate over the signal, faster on higher channels.
      const double increment = 0.5 * static_cast<double>(f) / static_cast<double>(frames);
      phase += increment * (1.0 + 0.1 * c);
      phase -= static_cast<double>(static_cast<int64_t>(phase));
      const double sweep = 30000.0 * PolySine(phase);
      const auto noise = static_cast<int16_t>(NextRandom(random) & 0xFFFF);
      int16_t value = 0;
      if (signal.name == "impulse") {
        if (f == 0) value = c % 2 == 0 ? 16384 : 32767;
        if (f == frames / 2) value = -32768;
      } else if (signal.name == "square") {
        value = ((f + 13 * c) / 50) % 2 == 0 ? 32767 : -32768;
      } else if (signal.name == "sweep") {
        value = ToSample(sweep);
      } else if (signal.name == "noise") {
        value = noise;
      } else if (signal.name == "mix") {
        // Bursts of tone and noise with silent gaps, so feedback paths decay in between.
        const bool burst = (f / 4000) % 3 == 0;
        value = burst ? ToSample(0.6 * sweep + 0.3 * noise) : 0;
      }
      samples[f * signal.channels + c] = value;
    }
  }
  return samples;
}

}  // namespace wavfx::testing
