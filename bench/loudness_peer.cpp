// The meter against libebur128.
//   wavfx_loudness_peer compare FILE...   integrated within 0.01 LU and short-term maximum within
//                                         0.02 LU of libebur128's; prints both (and the range
//                                         and true peak, which differ by design), exits 1 if not
//   wavfx_loudness_peer speed FILE ROUNDS median thread times of the whole measurement by each
//   wavfx_loudness_peer reaches FILE TARGET CEILING
//                                         libebur128 reads the integrated loudness within 0.1 LU
//                                         of TARGET and the true peak at or below CEILING
#include <ebur128.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "entry/measure_file.h"
#include "measure/meter.h"

namespace {

struct Sound {
  int channels = 0;
  int rate = 0;
  std::vector<float> samples;
};

Sound Load(const char* path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path, SFM_READ, &info);
  if (file == nullptr) {
    std::fprintf(stderr, "%s: %s\n", path, sf_strerror(nullptr));
    std::exit(2);
  }
  Sound sound{info.channels, info.samplerate, std::vector<float>(info.frames * info.channels)};
  sf_readf_float(file, sound.samples.data(), info.frames);
  sf_close(file);
  return sound;
}

struct Peer {
  double integrated, shortTermMax, range, truePeak;
};

// libebur128 fed 100 ms at a time, its short-term loudness read after each.
Peer MeasureWithPeer(const Sound& sound, int modes) {
  ebur128_state* state = ebur128_init(sound.channels, sound.rate, modes);
  const std::size_t step = static_cast<std::size_t>(sound.rate) / 10;
  const std::size_t frames = sound.samples.size() / sound.channels;
  double most = -HUGE_VAL;
  for (std::size_t at = 0; at < frames; at += step) {
    const std::size_t count = std::min(step, frames - at);
    ebur128_add_frames_float(state, sound.samples.data() + at * sound.channels, count);
    double shortTerm = -HUGE_VAL;
    if ((modes & EBUR128_MODE_S) == EBUR128_MODE_S && at + count >= 3 * step * 10 &&
        ebur128_loudness_shortterm(state, &shortTerm) == EBUR128_SUCCESS) {
      most = std::max(most, shortTerm);
    }
  }
  Peer peer{-HUGE_VAL, most, 0, -HUGE_VAL};
  ebur128_loudness_global(state, &peer.integrated);
  if ((modes & EBUR128_MODE_LRA) == EBUR128_MODE_LRA) ebur128_loudness_range(state, &peer.range);
  if ((modes & EBUR128_MODE_TRUE_PEAK) == EBUR128_MODE_TRUE_PEAK) {
    double peak = 0;
    for (int c = 0; c < sound.channels; ++c) {
      double p = 0;
      ebur128_true_peak(state, c, &p);
      peak = std::max(peak, p);
    }
    peer.truePeak = 20 * std::log10(peak);
  }
  ebur128_destroy(&state);
  return peer;
}

wavfx::MeterReport MeasureWithWavfx(const Sound& sound) {
  wavfx::Meter meter;
  wavfx::InitMeter(meter, sound.channels, sound.rate, {});
  wavfx::MeterFloats(meter, sound.samples.data(), sound.samples.size() / sound.channels);
  return wavfx::ReportMeter(meter);
}

double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

template <class F>
double Median(int rounds, F f) {
  std::vector<double> times;
  for (int i = 0; i < rounds; ++i) {
    const double start = ThreadSeconds();
    f();
    times.push_back(ThreadSeconds() - start);
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "compare" && argc > 2) {
    bool all = true;
    for (int i = 2; i < argc; ++i) {
      const Sound sound = Load(argv[i]);
      const Peer peer = MeasureWithPeer(
          sound, EBUR128_MODE_I | EBUR128_MODE_S | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK);
      const wavfx::MeterReport ours = MeasureWithWavfx(sound);
      const double di = std::fabs(ours.loudness.integrated - peer.integrated);
      const double ds = std::fabs(ours.loudness.shortTermMax - peer.shortTermMax);
      const bool ok = di <= 0.01 && ds <= 0.02;
      all &= ok;
      std::printf(
          "%s %s: %d Hz, I %.4f / %.4f LUFS, S max %.4f / %.4f LUFS, LRA %.2f / %.2f LU, "
          "true peak %.2f / %.2f dBTP\n",
          ok ? "ok  " : "FAIL", argv[i], sound.rate, ours.loudness.integrated, peer.integrated,
          ours.loudness.shortTermMax, peer.shortTermMax, ours.loudness.range, peer.range,
          ours.truePeak, peer.truePeak);
    }
    return all ? 0 : 1;
  }
  if (mode == "speed" && argc == 4) {
    const Sound sound = Load(argv[2]);
    const int rounds = std::atoi(argv[3]);
    const double ours = Median(rounds, [&] { MeasureWithWavfx(sound); });
    const double peer = Median(rounds, [&] {
      MeasureWithPeer(sound, EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK);
    });
    std::printf("%.4f %.4f\n", ours, peer);
    return 0;
  }
  if (mode == "reaches" && argc == 5) {
    const Peer peer = MeasureWithPeer(Load(argv[2]), EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    const double target = std::atof(argv[3]);
    const double ceiling = std::atof(argv[4]);
    const bool ok = std::fabs(peer.integrated - target) <= 0.1 && peer.truePeak <= ceiling;
    std::printf("%s libebur128: I %.3f LUFS, TP %.3f dBTP\n", ok ? "ok  " : "FAIL", peer.integrated,
                peer.truePeak);
    return ok ? 0 : 1;
  }
  std::fprintf(stderr,
               "usage: %s compare FILE... | speed FILE ROUNDS | reaches FILE TARGET CEILING\n",
               argv[0]);
  return 2;
}
