// Per-sample cost of every LV2 plugin against the C API's float path on the same effect and
// stream, at blocks of 64 and 8192 frames. Each round times slices of 8192 frames, the two in
// turns, and takes the median slice of each; the result is the median over the rounds of each
// and of the rounds' ratios. Short slices in turns keep a busy machine's time-slicing out.
// Usage: wavfx_plugin_bench [ROUNDS [LABEL-PREFIX]]
#include <lv2/core/lv2.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "plugin_variants.h"
#include "wavfx/wavfx.h"

namespace {

constexpr uint32_t kRate = 48000;
constexpr uint32_t kSourceFrames = 1u << 16;
constexpr uint32_t kSliceFrames = 8192;
constexpr uint32_t kSlices = 64;

using Clock = std::chrono::steady_clock;

// Noise at half scale, planar.
std::vector<std::vector<float>> Source(uint32_t channels) {
  std::vector<std::vector<float>> source(channels, std::vector<float>(kSourceFrames));
  uint32_t seed = 1;
  for (uint32_t f = 0; f < kSourceFrames; ++f) {
    for (uint32_t c = 0; c < channels; ++c) {
      seed = seed * 1664525u + 1013904223u;
      source[c][f] = (static_cast<float>(seed >> 8) * 0x1p-23f - 1.0f) * 0.5f;
    }
  }
  return source;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The C API works in place: the host copies each block of fresh audio into the interleaved
// buffer it hands over.
struct ApiRun {
  uint32_t channels;
  std::vector<float> source;  // interleaved
  std::vector<float> buffer;
  wavfx_effect* effect;

  ApiRun(const wavfx::PluginVariant& variant, uint32_t block)
      : channels(variant.channels),
        buffer(std::size_t{block} * channels),
        effect(wavfx_chain_create(variant.family->info.name, channels, kRate, nullptr)) {
    const auto planar = Source(channels);
    for (uint32_t f = 0; f < kSourceFrames; ++f) {
      for (uint32_t c = 0; c < channels; ++c)
        source.push_back(planar[c][f]);
    }
  }
  ~ApiRun() { wavfx_effect_destroy(effect); }

  void Block(uint32_t frame, uint32_t count) {
    std::memcpy(buffer.data(), source.data() + std::size_t{frame} * channels,
                std::size_t{count} * channels * sizeof(float));
    wavfx_effect_process_float(effect, buffer.data(), static_cast<int32_t>(count));
  }
};

// The plugin: the host copies each block into its input buffers, one per channel and reused,
// and runs the plugin into its output buffers.
struct PluginRun {
  const LV2_Descriptor* descriptor;
  uint32_t channels;
  std::vector<std::vector<float>> source, in, out;
  std::vector<float> controls;
  float latency = 0.0f;
  LV2_Handle handle;

  PluginRun(uint32_t index, uint32_t block)
      : descriptor(lv2_descriptor(index)),
        channels(wavfx::PluginVariants()[index].channels),
        source(Source(channels)),
        in(channels, std::vector<float>(block)),
        out(channels, std::vector<float>(block)) {
    const wavfx::PluginVariant& variant = wavfx::PluginVariants()[index];
    for (const auto& parameter : wavfx::ParametersOf(*variant.family))
      controls.push_back(static_cast<float>(parameter.default_value));
    handle = descriptor->instantiate(descriptor, kRate, "", nullptr);
    for (std::size_t p = 0; p < controls.size(); ++p)
      descriptor->connect_port(handle, wavfx::ControlPort(variant, p), &controls[p]);
    descriptor->connect_port(handle, wavfx::LatencyPort(variant), &latency);
    for (uint32_t c = 0; c < channels; ++c) {
      descriptor->connect_port(handle, wavfx::AudioInputPort(c), in[c].data());
      descriptor->connect_port(handle, wavfx::AudioOutputPort(variant, c), out[c].data());
    }
    descriptor->activate(handle);
  }
  ~PluginRun() { descriptor->cleanup(handle); }

  void Block(uint32_t frame, uint32_t count) {
    for (uint32_t c = 0; c < channels; ++c)
      std::memcpy(in[c].data(), source[c].data() + frame, count * sizeof(float));
    descriptor->run(handle, count);
  }
};

// Nanoseconds per sample of one slice, from frame `from` of the source.
template <class Run>
double Slice(Run& run, uint32_t from, uint32_t block) {
  const auto start = Clock::now();
  for (uint32_t done = 0; done < kSliceFrames; done += block)
    run.Block(from + done, std::min(block, kSliceFrames - done));
  const Clock::duration spent = Clock::now() - start;
  return std::chrono::duration<double, std::nano>(spent).count() /
         (double{kSliceFrames} * run.channels);
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  std::printf("| plugin | block | C API ns/sample | plugin ns/sample | plugin / C API |\n");
  std::printf("|---|---:|---:|---:|---:|\n");
  double worst = 0.0;
  const auto variants = wavfx::PluginVariants();
  for (uint32_t i = 0; i < variants.size(); ++i) {
    if (argc > 2 && !variants[i].label.starts_with(argv[2])) continue;
    for (const uint32_t block : {64u, 8192u}) {
      std::vector<double> api, plugin, ratios;
      for (int round = 0; round < rounds; ++round) {
        ApiRun apiRun(variants[i], block);
        PluginRun pluginRun(i, block);
        std::vector<double> apiSlices, pluginSlices;
        for (uint32_t slice = 0; slice < kSlices; ++slice) {
          const uint32_t from = slice * kSliceFrames % kSourceFrames;
          apiSlices.push_back(Slice(apiRun, from, block));
          pluginSlices.push_back(Slice(pluginRun, from, block));
        }
        api.push_back(Median(apiSlices));
        plugin.push_back(Median(pluginSlices));
        ratios.push_back(plugin.back() / api.back());
      }
      const double ratio = Median(ratios);
      worst = std::max(worst, ratio);
      std::printf("| %s | %u | %.3f | %.3f | %.3f |\n", variants[i].label.c_str(), block,
                  Median(api), Median(plugin), ratio);
    }
  }
  std::printf("\nlargest ratio: %.3f\n", worst);
  return 0;
}
