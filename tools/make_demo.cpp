// Writes the demo file: a few seconds of synthesized stereo music at 44100 Hz, 16-bit.
// Usage: wavfx_make_demo OUTPUT.wav
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "wav/wav_writer.h"

namespace {

constexpr uint32_t kRate = 44100;
constexpr double kPi = 3.14159265358979323846;

double NoteFrequency(int semitonesFromA4) {
  return 440.0 * std::pow(2.0, semitonesFromA4 / 12.0);
}

// A plucked tone: a few harmonics under an exponential decay.
double Pluck(double frequency, double t) {
  const double envelope = std::exp(-3.0 * t) * std::min(1.0, t * 200.0);
  double value = 0;
  for (int harmonic = 1; harmonic <= 4; ++harmonic) {
    value += std::sin(2 * kPi * frequency * harmonic * t) / (harmonic * harmonic);
  }
  return envelope * value;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: wavfx_make_demo OUTPUT.wav\n");
    return 1;
  }
  const double seconds = 4.0;
  const auto frames = static_cast<uint32_t>(seconds * kRate);
  // An arpeggio of A minor, F major, C major and G major, two notes a beat, with a bass line.
  const int chords[4][3] = {{0, 3, 7}, {-4, 0, 3}, {3, 7, 10}, {-2, 2, 5}};
  const double beat = 0.25;
  std::vector<int16_t> samples(static_cast<std::size_t>(frames) * 2);
  for (uint32_t n = 0; n < frames; ++n) {
    const double t = n / static_cast<double>(kRate);
    const int step = static_cast<int>(t / beat);
    const int chord = (step / 4) % 4;
    const double noteTime = t - step * beat;
    const double melody = Pluck(NoteFrequency(chords[chord][step % 3] + 12), noteTime);
    const double barTime = t - (step / 4) * 4 * beat;
    const double bass = Pluck(NoteFrequency(chords[chord][0] - 24), barTime);
    const double hat =
        (step % 2 == 1 && noteTime < 0.02) ? std::sin(n * 1.7) * std::sin(n * 2.9) : 0;
    const double pan = 0.5 + 0.4 * std::sin(2 * kPi * 0.25 * t);
    const double left = 0.45 * melody * (1 - pan) * 2 + 0.5 * bass + 0.1 * hat;
    const double right = 0.45 * melody * pan * 2 + 0.5 * bass - 0.1 * hat;
    samples[2 * n] = static_cast<int16_t>(std::lround(std::clamp(left, -1.0, 1.0) * 30000));
    samples[2 * n + 1] = static_cast<int16_t>(std::lround(std::clamp(right, -1.0, 1.0) * 30000));
  }
  const wavfx::StreamFormat format{2, kRate, 16, kRate * 4, 4, frames * 4};
  std::FILE* file = wavfx::WriteWavHeader(argv[1], format);
  if (file == nullptr) return 1;
  for (int16_t sample : samples) {
    const unsigned char bytes[2] = {static_cast<unsigned char>(sample & 0xFF),
                                    static_cast<unsigned char>((sample >> 8) & 0xFF)};
    std::fwrite(bytes, 1, 2, file);
  }
  return std::fclose(file) == 0 ? 0 : 1;
}
