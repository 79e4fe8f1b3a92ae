// Quality and speed of wavfx's resampler against libsoxr (its HQ and VHQ recipes, one thread)
// and SoX's `rate` effect (the sox program, default quality).
//
// Usage: wavfx_resample_bench quality            (prints one table row per converter and rates)
//        wavfx_resample_bench speed FILE OUT_RATE ROUNDS   (median thread seconds in memory)
#include <sndfile.h>
#include <soxr.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dsp/resampler.h"

namespace {

using Signal = std::vector<float>;

enum class Converter { WavfxHigh, WavfxVeryHigh, SoxrHq, SoxrVhq, SoxRate };
constexpr const char* kNames[] = {"wavfx high", "wavfx veryhigh", "libsoxr HQ", "libsoxr VHQ",
                                  "sox rate"};

double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Whole-stream conversion through wavfx in blocks of 4096 frames, as a stage would run it.
// Room for the output of `frames` input frames, with a block to spare.
std::size_t OutputRoom(std::size_t frames, unsigned in, unsigned out, unsigned channels) {
  return (frames * out / in + 4096) * channels;
}

// wavfx into `y`, which has OutputRoom; returns the samples written.
std::size_t WavfxInto(wavfx::ResampleQuality q, unsigned in, unsigned out, unsigned channels,
                      const Signal& x, Signal& y) {
  wavfx::Resampler r;
  if (!wavfx::InitResampler(r, in, out, channels, q)) std::abort();
  const std::size_t frames = x.size() / channels;
  std::size_t at = 0, written = 0;
  while (at < frames) {
    std::size_t used = 0, made = 0;
    wavfx::RunResampler(r, x.data() + at * channels, std::min<std::size_t>(4096, frames - at),
                        y.data() + written * channels, y.size() / channels - written, used, made);
    at += used;
    written += made;
  }
  written += wavfx::DrainResampler(r, y.data() + written * channels, y.size() / channels - written);
  wavfx::ReleaseResampler(r);
  return written * channels;
}

// libsoxr in blocks of 4096 frames, one thread, into `y`, which has OutputRoom.
std::size_t SoxrInto(unsigned long recipe, unsigned in, unsigned out, unsigned channels,
                     const Signal& x, Signal& y) {
  const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
  const soxr_quality_spec_t quality = soxr_quality_spec(recipe, 0);
  const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
  soxr_error_t error = nullptr;
  soxr_t soxr = soxr_create(in, out, channels, &error, &io, &quality, &runtime);
  if (error != nullptr) std::abort();
  const std::size_t frames = x.size() / channels;
  std::size_t at = 0, written = 0;
  for (;;) {
    const std::size_t offer = std::min<std::size_t>(4096, frames - at);
    std::size_t used = 0, made = 0;
    soxr_process(soxr, at < frames ? x.data() + at * channels : nullptr, offer, &used,
                 y.data() + written * channels, y.size() / channels - written, &made);
    at += used;
    written += made;
    if (at == frames && made == 0) break;
  }
  soxr_delete(soxr);
  return written * channels;
}

Signal Wavfx(wavfx::ResampleQuality q, unsigned in, unsigned out, unsigned channels,
             const Signal& x) {
  Signal y(OutputRoom(x.size() / channels, in, out, channels));
  y.resize(WavfxInto(q, in, out, channels, x, y));
  return y;
}

Signal Soxr(unsigned long recipe, unsigned in, unsigned out, unsigned channels, const Signal& x) {
  Signal y(OutputRoom(x.size() / channels, in, out, channels));
  y.resize(SoxrInto(recipe, in, out, channels, x, y));
  return y;
}

// The sox program's `rate` at its default quality, through raw float files.
Signal Sox(unsigned in, unsigned out, const Signal& x) {
  const std::string dir = "/dev/shm/wavfx-resample-" + std::to_string(getpid());
  const std::string from = dir + "-in.f32", to = dir + "-out.f32";
  FILE* f = std::fopen(from.c_str(), "wb");
  std::fwrite(x.data(), sizeof(float), x.size(), f);
  std::fclose(f);
  const std::string command = "sox -D -t raw -e floating-point -b 32 -c 1 -r " +
                              std::to_string(in) + " " + from + " -t raw -e floating-point -b 32 " +
                              to + " rate " + std::to_string(out);
  if (std::system(command.c_str()) != 0) std::abort();
  f = std::fopen(to.c_str(), "rb");
  Signal y;
  float block[4096];
  while (std::size_t n = std::fread(block, sizeof(float), 4096, f))
    y.insert(y.end(), block, block + n);
  std::fclose(f);
  std::remove(from.c_str());
  std::remove(to.c_str());
  return y;
}

Signal Convert(Converter c, unsigned in, unsigned out, const Signal& x) {
  switch (c) {
    case Converter::WavfxHigh:
      return Wavfx(wavfx::ResampleQuality::High, in, out, 1, x);
    case Converter::WavfxVeryHigh:
      return Wavfx(wavfx::ResampleQuality::VeryHigh, in, out, 1, x);
    case Converter::SoxrHq:
      return Soxr(SOXR_HQ, in, out, 1, x);
    case Converter::SoxrVhq:
      return Soxr(SOXR_VHQ, in, out, 1, x);
    case Converter::SoxRate:
      return Sox(in, out, x);
  }
  return {};
}

constexpr std::size_t kSize = 1 << 16;

void Fft(std::vector<std::complex<double>>& a) {
  const std::size_t n = a.size();
  for (std::size_t i = 1, j = 0; i < n; ++i) {
    std::size_t bit = n >> 1;
    for (; j & bit; bit >>= 1)
      j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  static std::vector<std::complex<double>> turns;
  if (turns.size() != n / 2) {
    turns.clear();
    for (std::size_t k = 0; k < n / 2; ++k) {
      const double angle = -2.0 * M_PI * static_cast<double>(k) / static_cast<double>(n);
      turns.emplace_back(std::cos(angle), std::sin(angle));
    }
  }
  for (std::size_t len = 2; len <= n; len <<= 1) {
    const std::size_t stride = n / len;
    for (std::size_t i = 0; i < n; i += len) {
      for (std::size_t k = 0; k < len / 2; ++k) {
        const auto u = a[i + k], v = a[i + k + len / 2] * turns[k * stride];
        a[i + k] = u + v;
        a[i + k + len / 2] = u - v;
      }
    }
  }
}

// Power per bin of kSize output frames from the middle, Kaiser window (beta 20, sidelobes near
// -190 dB), scaled so that a sine of amplitude A shows A^2 / 2 summed over its main lobe.
std::vector<double> Spectrum(const Signal& y) {
  static std::vector<double> window;
  static double energy = 0.0;
  if (window.empty()) {
    auto i0 = [](double x) {
      double term = 1.0, sum = 1.0;
      for (int k = 1; k < 200; ++k)
        sum += term *= x * x / 4.0 / static_cast<double>(k * k);
      return sum;
    };
    for (std::size_t i = 0; i < kSize; ++i) {
      const double t = 2.0 * static_cast<double>(i) / static_cast<double>(kSize - 1) - 1.0;
      window.push_back(i0(20.0 * std::sqrt(1.0 - t * t)) / i0(20.0));
    }
    for (double w : window)
      energy += w * w;
  }
  if (y.size() < kSize) std::abort();
  const std::size_t start = (y.size() - kSize) / 2;
  std::vector<std::complex<double>> a(kSize);
  for (std::size_t i = 0; i < kSize; ++i)
    a[i] = y[start + i] * window[i];
  Fft(a);
  std::vector<double> power(kSize / 2);
  for (std::size_t i = 0; i < kSize / 2; ++i)
    power[i] = 2.0 * std::norm(a[i]) / (energy * static_cast<double>(kSize));
  return power;
}

double Db(double power) {
  return 10.0 * std::log10(power + 1e-300);
}

Signal Tone(double f, unsigned rate, std::size_t frames, double amplitude) {
  Signal x(frames);
  for (std::size_t i = 0; i < frames; ++i) {
    x[i] = static_cast<float>(amplitude * std::sin(2.0 * M_PI * f * static_cast<double>(i) / rate));
  }
  return x;
}

constexpr std::size_t kLobe = 16;

// Sums the power of the bins within kLobe of `bin` and zeroes them.
double Take(std::vector<double>& power, double bin) {
  const auto centre = static_cast<long>(std::lround(bin));
  double sum = 0.0;
  for (long i = std::max(0L, centre - static_cast<long>(kLobe));
       i <= std::min<long>(static_cast<long>(power.size()) - 1, centre + static_cast<long>(kLobe));
       ++i) {
    sum += power[i];
    power[i] = 0.0;
  }
  return sum;
}

std::size_t InputFrames(unsigned in, unsigned out) {
  return (kSize + 16384) * static_cast<std::size_t>(in) / out + 1;
}

void Quality(Converter c, unsigned in, unsigned out) {
  const double lower = 0.5 * std::min(in, out);
  const std::size_t frames = InputFrames(in, out);
  const double binHz = static_cast<double>(out) / kSize;
  // Tones over the input band: gain in the passband, the strongest other component anywhere.
  double worst = -400.0, low90 = 0.0, high90 = -400.0, low95 = 0.0, high95 = -400.0;
  constexpr int kTones = 64;
  for (int t = 0; t < kTones; ++t) {
    const double f = (t + 0.5) / kTones * 0.5 * in;
    if (std::fabs(f - lower) < 40.0 * binHz) continue;
    auto power = Spectrum(Convert(c, in, out, Tone(f, in, frames, 0.5)));
    if (f < 0.5 * out) {
      const double gain = Db(Take(power, f / binHz) / 0.125);
      if (f <= 0.9 * lower) low90 = std::min(low90, gain), high90 = std::max(high90, gain);
      if (f <= 0.95 * lower) low95 = std::min(low95, gain), high95 = std::max(high95, gain);
    }
    Take(power, 0.0);
    worst = std::max(worst, Db(*std::max_element(power.begin(), power.end()) / 0.125));
  }
  // 1 kHz at -1 dBFS: everything else up to 20 kHz (or 90% of the lower Nyquist) against it.
  auto power = Spectrum(Convert(c, in, out, Tone(1000.0, in, frames, std::pow(10.0, -1.0 / 20))));
  const double fundamental = Take(power, 1000.0 / binHz);
  Take(power, 0.0);
  double rest = 0.0;
  for (std::size_t i = 0;
       i < power.size() && static_cast<double>(i) * binHz <= std::min(20000.0, 0.9 * lower); ++i) {
    rest += power[i];
  }
  std::printf("| %s | %u -> %u | %.4f | %.4f | %.1f | %.1f |", kNames[static_cast<int>(c)], in, out,
              high90 - low90, high95 - low95, worst, Db(rest / fundamental));
  // 23 kHz at -4 dBFS over noise at -150 dBFS RMS, 96 -> 44.1 kHz: the alias at 21.1 kHz.
  if (in == 96000 && out == 44100) {
    Signal x = Tone(23000.0, in, frames, std::pow(10.0, -4.0 / 20));
    uint32_t seed = 1;
    const double noise = std::pow(10.0, -150.0 / 20) * std::sqrt(3.0);
    for (float& v : x) {
      seed = seed * 1664525u + 1013904223u;
      v += static_cast<float>(noise * (seed / 2147483648.0 - 1.0));
    }
    auto p = Spectrum(Convert(c, in, out, x));
    std::printf(" %.1f |\n", Db(Take(p, (44100.0 - 23000.0) / binHz) / 0.5));
  } else {
    std::printf(" - |\n");
  }
}

Signal ReadWav(const char* path, unsigned& rate, unsigned& channels) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path, SFM_READ, &info);
  if (file == nullptr) std::abort();
  Signal x(static_cast<std::size_t>(info.frames) * info.channels);
  sf_readf_float(file, x.data(), info.frames);
  sf_close(file);
  rate = static_cast<unsigned>(info.samplerate);
  channels = static_cast<unsigned>(info.channels);
  return x;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "quality") {
    const unsigned pairs[][2] = {{96000, 44100}, {44100, 48000}, {48000, 16000}, {16000, 48000}};
    for (const auto& pair : pairs) {
      for (int c = 0; c < 5; ++c)
        Quality(static_cast<Converter>(c), pair[0], pair[1]);
    }
    return 0;
  }
  if (mode == "speed" && argc == 5) {
    unsigned rate = 0, channels = 0;
    const Signal x = ReadWav(argv[2], rate, channels);
    const auto out = static_cast<unsigned>(std::atoi(argv[3]));
    const int rounds = std::atoi(argv[4]);
    std::vector<double> wavfx, soxr;
    // One output buffer, touched before the clocks start, so neither pays for its pages.
    Signal y(OutputRoom(x.size() / channels, rate, out, channels));
    for (int i = 0; i < rounds; ++i) {
      double start = ThreadSeconds();
      const std::size_t a = WavfxInto(wavfx::ResampleQuality::High, rate, out, channels, x, y);
      wavfx.push_back(ThreadSeconds() - start);
      start = ThreadSeconds();
      const std::size_t b = SoxrInto(SOXR_HQ, rate, out, channels, x, y);
      soxr.push_back(ThreadSeconds() - start);
      if (a == 0 || b == 0) return 1;
    }
    std::sort(wavfx.begin(), wavfx.end());
    std::sort(soxr.begin(), soxr.end());
    std::printf("%.4f %.4f\n", wavfx[wavfx.size() / 2], soxr[soxr.size() / 2]);
    return 0;
  }
  std::fprintf(stderr, "usage: wavfx_resample_bench quality | speed FILE RATE ROUNDS\n");
  return 2;
}
