// Proves the fast paths of the effects equal to their references on every input they can get:
//   sine     SinePlusOne and HalfSinePlusOne against the C library's sin, for every float phase
//            from 0 to 6.2831855, through the scalar shortcut and every vector path;
//   power    PowerOfRatio and the vector compressor gains against the C library's pow, for every
//            float ratio in [1, 1024] at the exponents of ratio settings 1, 1.5, 2, 2.5, 3, 4,
//            6, 10 and 20;
//   samples  the vector FloatToSample against the scalar one for every float, and the scalar one
//            against floor(x * 32767 + 0.5) clamped;
//   effects  distortion and bitcrusher (every bit depth) for every 16-bit sample, the widener
//            for every stereo frame, vector paths against the scalar path;
//   phaser   the phaser's stage coefficients on every vector path against the scalar function,
//            for every float oscillator value in [0, 2], at sweeps that reach both clamps;
//   phases   the oscillators' phases computed in runs against frame-by-frame advances, for the
//            tremolo's, flanger's and chorus's increments at every sample rate to 96 kHz.
//
// Usage: wavfx_exhaustive_math [sine|power|samples|effects|phaser|phases]...  (all when none given)
// Prints one line per check and exits with 1 when any input differs.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "dsp/effect_math.h"
#include "dsp/fast_sine.h"
#include "dsp/oscillator.h"
#include "dsp/sample_conversion.h"
#include "dsp/simd_dispatch.h"
#include "effects/bitcrusher.h"
#include "effects/distortion.h"
#include "effects/phaser.h"
#include "effects/widener.h"

namespace {

using wavfx::VectorKernels;
using wavfx::VectorPath;

struct Path {
  const char* name;
  VectorPath path;
  const VectorKernels* kernels;  // null for the scalar path
};

std::vector<Path> AvailablePaths() {
  std::vector<Path> paths = {{"scalar", VectorPath::Scalar, nullptr}};
#if defined(__x86_64__)
  if (wavfx::VectorPathAvailable(VectorPath::Avx2))
    paths.push_back({"avx2", VectorPath::Avx2, &wavfx::kAvx2Kernels});
  if (wavfx::VectorPathAvailable(VectorPath::Avx512))
    paths.push_back({"avx512", VectorPath::Avx512, &wavfx::kAvx512Kernels});
#endif
  return paths;
}

// Splits [begin, end) among the processor's threads; `work` returns its mismatches.
uint64_t Parallel(uint64_t begin, uint64_t end,
                  const std::function<uint64_t(uint64_t, uint64_t)>& work) {
  const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  std::atomic<uint64_t> mismatches{0};
  std::vector<std::thread> pool;
  const uint64_t share = (end - begin + threads - 1) / threads;
  for (unsigned t = 0; t < threads; ++t) {
    const uint64_t from = begin + t * share;
    const uint64_t to = std::min(end, from + share);
    if (from >= to) break;
    pool.emplace_back([&, from, to] { mismatches += work(from, to); });
  }
  for (auto& thread : pool)
    thread.join();
  return mismatches;
}

float FloatOf(uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

uint32_t BitsOf(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool Report(const char* check, uint64_t inputs, uint64_t mismatches,
            std::chrono::steady_clock::time_point start, const std::string& note = "") {
  std::printf("%-8s %14" PRIu64 " inputs %10" PRIu64 " mismatches %8.1f s%s%s\n", check, inputs,
              mismatches, Seconds(start), note.empty() ? "" : "  ", note.c_str());
  std::fflush(stdout);
  return mismatches == 0;
}

// The shortcut's own sine, as effect_math.cpp computes it, to measure its error.
double ShortcutSine(double phase) {
  using namespace wavfx::fast_sine;
  const auto halfTurns = static_cast<int32_t>(HalfTurns(phase));
  const double sine = SinPolynomial(Reduce(phase, static_cast<double>(halfTurns)));
  return halfTurns == 1 ? -sine : sine;
}

bool CheckSine() {
  const auto start = std::chrono::steady_clock::now();
  const uint64_t end = uint64_t{BitsOf(wavfx::fast_sine::kMaxPhase)} + 1;
  const auto paths = AvailablePaths();
  std::atomic<uint64_t> undecided{0};
  std::atomic<uint64_t> worstUlps{0};
  const uint64_t mismatches = Parallel(0, end, [&](uint64_t from, uint64_t to) {
    constexpr std::size_t kChunk = 4096;
    float phases[kChunk], full[kChunk], half[kChunk], vectorFull[kChunk], vectorHalf[kChunk];
    uint64_t bad = 0, unsure = 0, ulps = 0;
    for (uint64_t at = from; at < to; at += kChunk) {
      const auto count = static_cast<std::size_t>(std::min<uint64_t>(kChunk, to - at));
      for (std::size_t i = 0; i < count; ++i) {
        const float phase = FloatOf(static_cast<uint32_t>(at + i));
        phases[i] = phase;
        const double sine = std::sin(static_cast<double>(phase));
        full[i] = static_cast<float>(sine + 1.0);
        half[i] = static_cast<float>((sine + 1.0) * 0.5);
        bad += BitsOf(wavfx::SinePlusOne(phase)) != BitsOf(full[i]);
        bad += BitsOf(wavfx::HalfSinePlusOne(phase)) != BitsOf(half[i]);
        const double shortcut = ShortcutSine(phase);
        const double margin = wavfx::fast_sine::kMargin;
        unsure += static_cast<float>((shortcut - margin) + 1.0) !=
                  static_cast<float>((shortcut + margin) + 1.0);
        ulps = std::max(ulps, static_cast<uint64_t>(std::fabs(shortcut - sine) / 0x1p-53));
      }
      for (const Path& path : paths) {
        if (path.kernels == nullptr) continue;
        path.kernels->sinePlusOne(phases, vectorFull, count);
        path.kernels->halfSinePlusOne(phases, vectorHalf, count);
        for (std::size_t i = 0; i < count; ++i) {
          bad += BitsOf(vectorFull[i]) != BitsOf(full[i]);
          bad += BitsOf(vectorHalf[i]) != BitsOf(half[i]);
        }
      }
    }
    undecided += unsure;
    uint64_t seen = worstUlps.load();
    while (ulps > seen && !worstUlps.compare_exchange_weak(seen, ulps)) {
    }
    return bad;
  });
  char note[160];
  std::snprintf(note, sizeof note,
                "(%zu paths; shortcut within %" PRIu64 " x 2^-53 of the library; %" PRIu64
                " phases, %.1e, left to the library)",
                paths.size(), worstUlps.load(), undecided.load(),
                static_cast<double>(undecided.load()) / static_cast<double>(end));
  return Report("sine", end, mismatches, start, note);
}

bool CheckPower() {
  const auto start = std::chrono::steady_clock::now();
  const uint64_t begin = BitsOf(1.0f);
  const uint64_t end = uint64_t{BitsOf(1024.0f)} + 1;
  std::vector<Path> paths = AvailablePaths();
  paths.erase(paths.begin());  // the scalar path is PowerOfRatio itself
  uint64_t mismatches = 0;
  uint64_t inputs = 0;
  for (const float setting : {1.0f, 1.5f, 2.0f, 2.5f, 3.0f, 4.0f, 6.0f, 10.0f, 20.0f}) {
    const float exponent = 1.0f - 1.0f / setting;
    mismatches += Parallel(begin, end, [&](uint64_t from, uint64_t to) {
      uint64_t bad = 0;
      constexpr std::size_t kBatch = 256;
      float levels[kBatch];
      float references[kBatch];
      for (uint64_t bits = from; bits < to; bits += kBatch) {
        const std::size_t count = std::min<uint64_t>(kBatch, to - bits);
        for (std::size_t i = 0; i < count; ++i) {
          const float ratio = FloatOf(static_cast<uint32_t>(bits + i));
          const auto power = static_cast<float>(
              std::pow(static_cast<double>(ratio), static_cast<double>(exponent)));
          bad += BitsOf(wavfx::PowerOfRatio(ratio, exponent)) != BitsOf(power);
          references[i] = 1.0f / power;
        }
        // The kernels see the ratio as level / threshold with a threshold of 1.
        for (const Path& path : paths) {
          for (std::size_t i = 0; i < count; ++i)
            levels[i] = FloatOf(static_cast<uint32_t>(bits + i));
          const std::size_t done = path.kernels->compressorGains(levels, count, 1.0f, exponent);
          for (std::size_t i = 0; i < done; ++i) {
            const bool aboveThreshold = FloatOf(static_cast<uint32_t>(bits + i)) > 1.0f;
            bad += BitsOf(levels[i]) != BitsOf(aboveThreshold ? references[i] : 1.0f);
          }
        }
      }
      return bad;
    });
    inputs += end - begin;
  }
  return Report("power", inputs, mismatches, start);
}

int16_t FloorDefinition(float x) {
  if (x != x) return 0;
  const double level = std::floor(static_cast<double>(x) * 32767.0 + 0.5);
  return static_cast<int16_t>(std::clamp(level, -32768.0, 32767.0));
}

bool CheckSamples() {
  const auto start = std::chrono::steady_clock::now();
  const auto paths = AvailablePaths();
  const uint64_t end = uint64_t{1} << 32;
  const uint64_t mismatches = Parallel(0, end, [&](uint64_t from, uint64_t to) {
    constexpr std::size_t kChunk = 4096;
    float values[kChunk];
    int16_t scalar[kChunk], vector[kChunk];
    uint64_t bad = 0;
    for (uint64_t at = from; at < to; at += kChunk) {
      const auto count = static_cast<std::size_t>(std::min<uint64_t>(kChunk, to - at));
      for (std::size_t i = 0; i < count; ++i) {
        values[i] = FloatOf(static_cast<uint32_t>(at + i));
        scalar[i] = wavfx::FloatToSample(values[i]);
        bad += scalar[i] != FloorDefinition(values[i]);
      }
      for (const Path& path : paths) {
        if (path.kernels == nullptr) continue;
        path.kernels->toSamples(values, vector, count);
        bad += static_cast<uint64_t>(std::mismatch(scalar, scalar + count, vector).first !=
                                     scalar + count);
      }
    }
    return bad;
  });
  return Report("samples", end, mismatches, start, "(every float, every path)");
}

// Runs an effect over 16-bit samples in place, converted as the engine converts them. Called from
// one thread only.
template <class State>
void ProcessSamples(void (*process)(State&, float*, int32_t), State& state, int16_t* samples,
                    int32_t frames) {
  const std::size_t count = static_cast<std::size_t>(frames) * state.channels;
  static std::vector<float> values;
  values.resize(count);
  wavfx::SamplesToFloats(samples, values.data(), count);
  process(state, values.data(), frames);
  wavfx::FloatsToSamples(values.data(), samples, count);
}

// Runs `process` over `input` on every path and counts the samples that differ from the scalar
// path's.
uint64_t ComparePaths(const std::vector<int16_t>& input,
                      const std::function<void(int16_t*, int32_t)>& process, int32_t frames) {
  uint64_t bad = 0;
  std::vector<int16_t> reference;
  for (const Path& path : AvailablePaths()) {
    wavfx::SetVectorPathForTesting(path.path);
    std::vector<int16_t> output = input;
    process(output.data(), frames);
    if (reference.empty()) {
      reference = output;
    } else {
      for (std::size_t i = 0; i < output.size(); ++i)
        bad += output[i] != reference[i];
    }
  }
  wavfx::ResetVectorPathForTesting();
  return bad;
}

bool CheckEffects() {
  auto start = std::chrono::steady_clock::now();
  std::vector<int16_t> every(65536);
  for (int s = 0; s < 65536; ++s)
    every[static_cast<std::size_t>(s)] = static_cast<int16_t>(s - 32768);
  uint64_t bad = ComparePaths(
      every,
      [](int16_t* samples, int32_t frames) {
        wavfx::DistortionState state{};
        wavfx::InitDistortion(state, 2.5f, 1, 0.7f);
        ProcessSamples(wavfx::ProcessDistortion, state, samples, frames);
      },
      65536);
  for (int32_t bits = 4; bits <= 12; ++bits) {
    bad += ComparePaths(
        every,
        [bits](int16_t* samples, int32_t frames) {
          wavfx::BitcrusherState state{};
          wavfx::InitBitcrusher(state, bits, 1);
          ProcessSamples(wavfx::ProcessBitcrusher, state, samples, frames);
        },
        65536);
  }
  bool ok = Report("effects", 65536 * 10, bad, start, "(distortion; bitcrusher at 4 to 12 bits)");
  // Every stereo frame: one left sample against all right samples at a time.
  start = std::chrono::steady_clock::now();
  std::vector<int16_t> frames(2 * 65536);
  for (int s = 0; s < 65536; ++s)
    frames[2 * static_cast<std::size_t>(s) + 1] = static_cast<int16_t>(s - 32768);
  for (int left = -32768; left <= 32767; ++left) {
    for (int s = 0; s < 65536; ++s)
      frames[2 * static_cast<std::size_t>(s)] = static_cast<int16_t>(left);
    bad += ComparePaths(
        frames,
        [](int16_t* samples, int32_t count) {
          wavfx::WidenerState state{};
          wavfx::InitWidener(state, 1.5f, 2);
          ProcessSamples(wavfx::ProcessWidener, state, samples, count);
        },
        65536);
  }
  return Report("widener", uint64_t{1} << 32, bad, start, "(every stereo frame)") && ok;
}

bool CheckPhases() {
  const auto start = std::chrono::steady_clock::now();
  constexpr uint32_t kHighestRate = 96000;
  constexpr std::size_t kFrames = 40000;
  std::atomic<uint64_t> inputs{0};
  const uint64_t mismatches = Parallel(1, kHighestRate + 1, [&](uint64_t from, uint64_t to) {
    std::vector<float> runs(kFrames), steps(kFrames);
    uint64_t bad = 0, count = 0;
    for (uint64_t rate = from; rate < to; ++rate) {
      for (const double hz : {5.0, 0.25, 0.3}) {
        const auto increment =
            static_cast<float>(hz * 6.283185307179586 / static_cast<double>(rate));
        float phase = 0.0f, stepped = 0.0f;
        // Uneven chunks, as blocks of different channel counts give.
        for (std::size_t at = 0; at < kFrames;) {
          const std::size_t chunk = std::min<std::size_t>(kFrames - at, 97 + at % 300);
          wavfx::AdvancePhases(phase, increment, runs.data() + at, chunk);
          at += chunk;
        }
        for (std::size_t i = 0; i < kFrames; ++i) {
          steps[i] = stepped;
          stepped = wavfx::AdvancePhase(stepped, increment);
        }
        for (std::size_t i = 0; i < kFrames; ++i)
          bad += BitsOf(runs[i]) != BitsOf(steps[i]);
        bad += BitsOf(phase) != BitsOf(stepped);
        count += kFrames;
      }
    }
    inputs += count;
    return bad;
  });
  return Report("phases", inputs, mismatches, start,
                "(5, 0.25 and 0.3 Hz at 1 to 96000 Hz, 40000 frames each)");
}

}  // namespace

bool CheckPhaser() {
  const auto start = std::chrono::steady_clock::now();
  const uint64_t end = uint64_t{BitsOf(2.0f)} + 1;
  std::vector<Path> paths = AvailablePaths();
  paths.erase(paths.begin());
  uint64_t mismatches = 0;
  uint64_t inputs = 0;
  // Sample rate, depth and centre: the defaults, and sweeps into both clamps.
  for (const auto& [rate, depth, centre] :
       {std::tuple{44100u, 0.5, 1300.0}, {44100u, 1.0, 19000.0}, {8000u, 1.0, 20.0}}) {
    const wavfx::PhaserSweep sweep = wavfx::PhaserSweepAt(rate, depth, centre);
    mismatches += Parallel(0, end, [&](uint64_t from, uint64_t to) {
      uint64_t bad = 0;
      constexpr std::size_t kBatch = 256;
      float values[kBatch], references[kBatch], coefficients[kBatch];
      for (uint64_t bits = from; bits < to; bits += kBatch) {
        const std::size_t count = std::min<uint64_t>(kBatch, to - bits);
        for (std::size_t i = 0; i < count; ++i) {
          values[i] = FloatOf(static_cast<uint32_t>(bits + i));
          references[i] = wavfx::PhaserCoefficient(sweep, values[i]);
        }
        for (const Path& path : paths) {
          const std::size_t done =
              path.kernels->phaserCoefficients(values, coefficients, count, sweep);
          for (std::size_t i = 0; i < done; ++i)
            bad += BitsOf(coefficients[i]) != BitsOf(references[i]);
        }
      }
      return bad;
    });
    inputs += end;
  }
  return Report("phaser", inputs, mismatches, start);
}

int main(int argc, char** argv) {
  const std::pair<const char*, bool (*)()> checks[] = {
      {"sine", CheckSine},       {"power", CheckPower},   {"samples", CheckSamples},
      {"effects", CheckEffects}, {"phaser", CheckPhaser}, {"phases", CheckPhases},
  };
  bool ok = true;
  for (const auto& [name, check] : checks) {
    bool chosen = argc == 1;
    for (int i = 1; i < argc; ++i)
      chosen |= std::strcmp(argv[i], name) == 0;
    if (chosen) ok &= check();
  }
  std::printf(ok ? "every input matches\n" : "MISMATCHES FOUND\n");
  return ok ? 0 : 1;
}
