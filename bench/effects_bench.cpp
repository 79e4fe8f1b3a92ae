// Streams signals through every effect the way a file is streamed: 2048-byte blocks copied out
// of the source, processed in place by ProcessEffect. "none" is the plain copy to compare with.
// The float variants run ProcessEffectFloats over the same blocks already converted, and the
// conversions are measured on their own.
//
// Usage: wavfx_bench [--benchmark_filter=REGEX] [other Google Benchmark options]
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "bench_signals.h"
#include "dsp/effect_math.h"
#include "dsp/sample_conversion.h"
#include "dsp/simd_dispatch.h"
#include "engine/effect.h"

namespace {

constexpr uint32_t kSampleRate = 44100;
constexpr std::size_t kBlockBytes = 2048;

struct Signal {
  const char* name;
  std::vector<int16_t> samples;
};

std::vector<std::string> CanonicalEffects() {
  std::vector<std::string> names;
  bool first = true;
  wavfx::EffectKind previous = wavfx::EffectKind::None;
  for (const wavfx::EffectName& name : wavfx::EffectNames()) {
    if (first || name.kind != previous) names.push_back(name.literal);
    first = false;
    previous = name.kind;
  }
  return names;
}

void StreamThroughEffect(benchmark::State& state, const std::string& effect, uint32_t channels,
                         const std::vector<int16_t>& samples) {
  const std::size_t blockSamples = kBlockBytes / (2 * channels) * channels;
  alignas(64) int16_t block[kBlockBytes / 2];
  for (auto _ : state) {
    wavfx::EffectState effectState{};
    wavfx::InitEffect(effectState, effect.c_str(), channels, kSampleRate);
    for (std::size_t at = 0; at < samples.size(); at += blockSamples) {
      const std::size_t count = std::min(blockSamples, samples.size() - at);
      std::memcpy(block, samples.data() + at, count * sizeof(int16_t));
      wavfx::ProcessEffect(effectState, block, static_cast<int32_t>(count / channels));
      benchmark::DoNotOptimize(block[0]);
      benchmark::ClobberMemory();
    }
    wavfx::ReleaseEffect(effectState);
  }
  const auto total =
      static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(samples.size());
  state.SetItemsProcessed(total);
  state.SetBytesProcessed(total * 2);
}

void StreamFloatsThroughEffect(benchmark::State& state, const std::string& effect,
                               uint32_t channels, const std::vector<int16_t>& samples) {
  const std::size_t blockSamples = kBlockBytes / (2 * channels) * channels;
  std::vector<float> values(samples.size());
  wavfx::SamplesToFloats(samples.data(), values.data(), samples.size());
  alignas(64) float block[kBlockBytes / 2];
  for (auto _ : state) {
    wavfx::EffectState effectState{};
    wavfx::InitEffect(effectState, effect.c_str(), channels, kSampleRate);
    for (std::size_t at = 0; at < values.size(); at += blockSamples) {
      const std::size_t count = std::min(blockSamples, values.size() - at);
      std::memcpy(block, values.data() + at, count * sizeof(float));
      wavfx::ProcessEffectFloats(effectState, block, static_cast<int32_t>(count / channels));
      benchmark::DoNotOptimize(block[0]);
      benchmark::ClobberMemory();
    }
    wavfx::ReleaseEffect(effectState);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(samples.size()));
}

// One 1024-sample block converted each way, as ProcessEffect does.
void ConvertBlock(benchmark::State& state, bool toFloats) {
  std::vector<int16_t> samples = wavfx::bench::MusicSignal(512, 2, kSampleRate);
  std::vector<float> values(samples.size());
  wavfx::SamplesToFloats(samples.data(), values.data(), samples.size());
  for (auto _ : state) {
    if (toFloats) {
      wavfx::SamplesToFloats(samples.data(), values.data(), samples.size());
    } else {
      wavfx::FloatsToSamples(values.data(), samples.data(), samples.size());
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(samples.size()));
}

// The phases of a 5 Hz oscillator at 44100 Hz over one period, and the compressor's ratios.
std::vector<float> OscillatorPhases() {
  std::vector<float> phases(8820);
  for (std::size_t i = 0; i < phases.size(); ++i)
    phases[i] = static_cast<float>(static_cast<double>(i) * 0.0007123792893253267);
  return phases;
}

void LibrarySine(benchmark::State& state) {
  const auto phases = OscillatorPhases();
  for (auto _ : state) {
    for (const float phase : phases)
      benchmark::DoNotOptimize(static_cast<float>(wavfx::Sine(phase) + 1.0));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(phases.size()));
}

void ShortcutSine(benchmark::State& state) {
  const auto phases = OscillatorPhases();
  for (auto _ : state) {
    for (const float phase : phases)
      benchmark::DoNotOptimize(wavfx::SinePlusOne(phase));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(phases.size()));
}

void VectorSine(benchmark::State& state) {
  const auto phases = OscillatorPhases();
  std::vector<float> values(phases.size());
  const wavfx::VectorKernels* kernels = wavfx::ActiveKernels();
  if (kernels == nullptr) {
    state.SkipWithError("no vector path on this processor");
    return;
  }
  for (auto _ : state) {
    kernels->sinePlusOne(phases.data(), values.data(), phases.size());
    benchmark::DoNotOptimize(values.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(phases.size()));
}

void LibraryPower(benchmark::State& state) {
  for (auto _ : state) {
    for (float ratio = 1.0f; ratio < 4.0f; ratio += 0.001f)
      benchmark::DoNotOptimize(static_cast<float>(wavfx::Power(ratio, 0.75)));
  }
  state.SetItemsProcessed(state.iterations() * 3000);
}

void ShortcutPower(benchmark::State& state) {
  for (auto _ : state) {
    for (float ratio = 1.0f; ratio < 4.0f; ratio += 0.001f)
      benchmark::DoNotOptimize(wavfx::PowerOfRatio(ratio, 0.75f));
  }
  state.SetItemsProcessed(state.iterations() * 3000);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  // Ten seconds of music; half a second of noise followed by 59.5 s of silence, long enough for
  // the echo's repeats (0.45 every 0.35 s) to pass through the subnormal range.
  std::vector<Signal> signals[3];
  for (uint32_t channels : {1u, 2u}) {
    signals[channels].push_back(
        {"music", wavfx::bench::MusicSignal(10 * kSampleRate, channels, kSampleRate)});
    signals[channels].push_back(
        {"burst", wavfx::bench::BurstThenSilence(60 * kSampleRate, channels, kSampleRate / 2)});
  }
  for (const std::string& effect : CanonicalEffects()) {
    for (uint32_t channels : {1u, 2u}) {
      for (const Signal& signal : signals[channels]) {
        const std::string name =
            "Effect/" + effect + "/" + (channels == 1 ? "mono" : "stereo") + "/" + signal.name;
        benchmark::RegisterBenchmark(name.c_str(), StreamThroughEffect, effect, channels,
                                     signal.samples)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
      }
    }
  }
  for (const std::string& effect : CanonicalEffects()) {
    const std::string name = "EffectFloats/" + effect + "/stereo/music";
    benchmark::RegisterBenchmark(name.c_str(), StreamFloatsThroughEffect, effect, 2u,
                                 signals[2][0].samples)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
  benchmark::RegisterBenchmark("Convert/SamplesToFloats", ConvertBlock, true);
  benchmark::RegisterBenchmark("Convert/FloatsToSamples", ConvertBlock, false);
  benchmark::RegisterBenchmark("Math/SinePlusOne/library", LibrarySine);
  benchmark::RegisterBenchmark("Math/SinePlusOne/shortcut", ShortcutSine);
  benchmark::RegisterBenchmark("Math/SinePlusOne/vector", VectorSine);
  benchmark::RegisterBenchmark("Math/PowerOfRatio/library", LibraryPower);
  benchmark::RegisterBenchmark("Math/PowerOfRatio/shortcut", ShortcutPower);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
