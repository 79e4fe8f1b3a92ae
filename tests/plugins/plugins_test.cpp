#include <gtest/gtest.h>
#include <ladspa.h>
#include <lv2/core/lv2.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "engine/chain.h"
#include "plugin_instance.h"
#include "support/failing_allocator.h"

namespace wavfx {
namespace {

constexpr uint32_t kRate = 44100;
constexpr uint32_t kFrames = 44100;
constexpr uint32_t kRandomBlocks = 0;  // block sizes drawn from 1 to 8192

// A standard's entry points as a host calls them, for the variant at `index`.
struct Host {
  const char* name;
  void* (*instantiate)(uint32_t index);
  void (*connect)(uint32_t index, void* handle, uint32_t port, float* data);
  void (*activate)(uint32_t index, void* handle);
  void (*run)(uint32_t index, void* handle, uint32_t frames);
  void (*cleanup)(uint32_t index, void* handle);
};

const Host kHosts[] = {
    {"lv2",
     [](uint32_t i) -> void* {
       return lv2_descriptor(i)->instantiate(lv2_descriptor(i), kRate, "", nullptr);
     },
     [](uint32_t i, void* h, uint32_t port, float* data) {
       lv2_descriptor(i)->connect_port(h, port, data);
     },
     [](uint32_t i, void* h) { lv2_descriptor(i)->activate(h); },
     [](uint32_t i, void* h, uint32_t frames) { lv2_descriptor(i)->run(h, frames); },
     [](uint32_t i, void* h) { lv2_descriptor(i)->cleanup(h); }},
    {"ladspa",
     [](uint32_t i) -> void* {
       return ladspa_descriptor(i)->instantiate(ladspa_descriptor(i), kRate);
     },
     [](uint32_t i, void* h, uint32_t port, float* data) {
       ladspa_descriptor(i)->connect_port(h, port, data);
     },
     [](uint32_t i, void* h) { ladspa_descriptor(i)->activate(h); },
     [](uint32_t i, void* h, uint32_t frames) { ladspa_descriptor(i)->run(h, frames); },
     [](uint32_t i, void* h) { ladspa_descriptor(i)->cleanup(h); }},
};

// Noise under a level that swells and fades, different in each channel, interleaved, and a NaN
// and infinities. No sample is -0: the widener's vector and scalar paths give zeros of different
// signs for a frame of two.
std::vector<float> Signal(uint32_t channels) {
  std::vector<float> samples(std::size_t{kFrames} * channels);
  uint32_t seed = 12345;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    seed = seed * 1664525u + 1013904223u;
    const float noise = static_cast<float>(seed >> 8) * 0x1p-23f - 1.0f;
    const float level = std::fabs(std::sin(static_cast<float>(i / channels) * 0.0003f)) + 0.01f;
    samples[i] = noise * level * (i % channels == 0 ? 0.9f : 0.6f);
  }
  samples[997] = NAN;
  samples[1499] = INFINITY;
  samples[2003] = -INFINITY;
  return samples;
}

// The control values a host sets: the defaults, or each value a quarter of the way from its
// default to the minimum (to the maximum where the default is the minimum), or all the way for a
// whole-number parameter that a quarter does not move.
std::vector<float> Controls(const PluginVariant& variant, bool shifted) {
  std::vector<float> controls;
  for (const wavfx_parameter_info& p : ParametersOf(*variant.family)) {
    const double end = p.default_value > p.minimum ? p.minimum : p.maximum;
    double value = shifted ? p.default_value + (end - p.default_value) * 0.25 : p.default_value;
    if (p.integer != 0) value = std::round(value);
    if (shifted && value == p.default_value) value = end;
    controls.push_back(static_cast<float>(value));
  }
  return controls;
}

// What the library gives for the whole signal at those values.
// What the library gives for the whole signal at those values, in place, and the frames its
// output lags the input by.
std::vector<float> Expected(const PluginVariant& variant, const std::vector<float>& controls,
                            float* latency = nullptr) {
  const auto parameters = ParametersOf(*variant.family);
  ChainRecipe recipe{};
  recipe.count = 1;
  recipe.stages[0].kind = KindOf(*variant.family);
  for (std::size_t i = 0; i < parameters.size(); ++i)
    recipe.stages[0].values[i] = ParameterValue(parameters[i], controls[i]);
  std::vector<float> samples = Signal(variant.channels);
  EffectChain chain;
  InitChain(chain, recipe, variant.channels, kRate);
  ProcessChainFloats(chain, samples.data(), kFrames);
  if (latency != nullptr) *latency = static_cast<float>(EffectDelay(chain.stages[0]));
  ReleaseChain(chain);
  return samples;
}

// An instance with planar buffers, run by a host in blocks; outputs replace the inputs when
// `inPlace`.
struct HostedInstance {
  const Host& host;
  uint32_t index;
  const PluginVariant& variant;
  bool inPlace;
  std::vector<float> controls;
  std::vector<std::vector<float>> in, out;
  float latency = -1.0f;
  void* handle = nullptr;

  HostedInstance(const Host& h, uint32_t i, bool sameBuffers, std::vector<float> values)
      : host(h),
        index(i),
        variant(PluginVariants()[i]),
        inPlace(sameBuffers),
        controls(std::move(values)) {
    const std::vector<float> signal = Signal(variant.channels);
    for (uint32_t c = 0; c < variant.channels; ++c) {
      in.emplace_back(kFrames);
      out.emplace_back(kFrames);
      for (uint32_t f = 0; f < kFrames; ++f)
        in[c][f] = signal[std::size_t{f} * variant.channels + c];
    }
    handle = host.instantiate(index);
    for (uint32_t c = 0; c < variant.channels; ++c) {
      host.connect(index, handle, AudioInputPort(c), in[c].data());
      host.connect(index, handle, AudioOutputPort(variant, c), (inPlace ? in : out)[c].data());
    }
    for (std::size_t p = 0; p < controls.size(); ++p)
      host.connect(index, handle, ControlPort(variant, p), &controls[p]);
    host.connect(index, handle, LatencyPort(variant), &latency);
    host.activate(index, handle);
  }
  ~HostedInstance() { host.cleanup(index, handle); }

  // Frames `from` to `to` in blocks of `block`, asking the heap for no sample buffer.
  void Process(uint32_t from, uint32_t to, uint32_t block) {
    uint32_t seed = 99;
    testing::ScopedFailingAllocator allocator(1);
    for (uint32_t done = from; done < to;) {
      seed = seed * 1664525u + 1013904223u;
      const uint32_t size = block != kRandomBlocks ? block : 1 + (seed >> 8) % 8192;
      const uint32_t count = std::min(size, to - done);
      for (uint32_t c = 0; c < variant.channels; ++c) {
        host.connect(index, handle, AudioInputPort(c), in[c].data() + done);
        host.connect(index, handle, AudioOutputPort(variant, c),
                     (inPlace ? in : out)[c].data() + done);
      }
      host.run(index, handle, count);
      done += count;
    }
    EXPECT_EQ(allocator.Calls(), 0);
  }

  std::vector<float> Interleaved() const {
    std::vector<float> samples(std::size_t{kFrames} * variant.channels);
    for (uint32_t c = 0; c < variant.channels; ++c) {
      for (uint32_t f = 0; f < kFrames; ++f)
        samples[std::size_t{f} * variant.channels + c] = (inPlace ? in : out)[c][f];
    }
    return samples;
  }
};

// Whether frames `from` to `to` are the same bits in both.
bool SameFrames(const std::vector<float>& a, const std::vector<float>& b, uint32_t channels,
                uint32_t from, uint32_t to) {
  return std::memcmp(a.data() + std::size_t{from} * channels,
                     b.data() + std::size_t{from} * channels,
                     std::size_t{to - from} * channels * sizeof(float)) == 0;
}

template <class Test>
void ForEachVariant(Test&& test) {
  for (const Host& host : kHosts) {
    for (uint32_t i = 0; i < PluginVariants().size(); ++i) {
      SCOPED_TRACE(std::string(host.name) + " " + PluginVariants()[i].label);
      test(host, i, PluginVariants()[i]);
    }
  }
}

TEST(Plugins, AnyBlocksGiveTheLibrarysSamples) {
  ForEachVariant([](const Host& host, uint32_t i, const PluginVariant& variant) {
    for (const bool shifted : {false, true}) {
      float latency = 0.0f;
      const std::vector<float> expected = Expected(variant, Controls(variant, shifted), &latency);
      for (const uint32_t block : {1u, 7u, 64u, 8192u, kFrames, kRandomBlocks}) {
        SCOPED_TRACE("block " + std::to_string(block) + (shifted ? ", shifted" : ""));
        HostedInstance run(host, i, block % 2 == 1, Controls(variant, shifted));
        run.Process(0, kFrames, block);
        EXPECT_TRUE(SameFrames(run.Interleaved(), expected, variant.channels, 0, kFrames));
        EXPECT_EQ(run.latency, latency);
      }
    }
  });
}

// Values set before the first block apply as if the instance had been made with them; each
// value changed between blocks changes what follows, when it changes the output at all (a
// filter's q with one pole, a width's unit while no width is given, do not).
TEST(Plugins, ControlChangesTakeEffectFromTheNextBlock) {
  ForEachVariant([](const Host& host, uint32_t i, const PluginVariant& variant) {
    const std::vector<float> defaults = Controls(variant, false);
    const std::vector<float> shifted = Controls(variant, true);
    HostedInstance early(host, i, false, defaults);
    std::copy(shifted.begin(), shifted.end(), early.controls.begin());
    early.Process(0, kFrames, 64);
    EXPECT_TRUE(
        SameFrames(early.Interleaved(), Expected(variant, shifted), variant.channels, 0, kFrames));

    const std::vector<float> expected = Expected(variant, defaults);
    constexpr uint32_t kHalf = kFrames / 2;
    for (std::size_t p = 0; p < defaults.size(); ++p) {
      SCOPED_TRACE(ParametersOf(*variant.family)[p].name);
      HostedInstance run(host, i, false, defaults);
      run.Process(0, kHalf, 64);
      run.controls[p] = shifted[p];
      run.Process(kHalf, kFrames, 64);
      const std::vector<float> samples = run.Interleaved();
      EXPECT_TRUE(SameFrames(samples, expected, variant.channels, 0, kHalf));
      std::vector<float> alone = defaults;
      alone[p] = shifted[p];
      const bool matters =
          !SameFrames(Expected(variant, alone), expected, variant.channels, 0, kFrames);
      EXPECT_EQ(SameFrames(samples, expected, variant.channels, kHalf, kFrames), !matters);
    }
  });
}

// Retuning to the values the stage runs with keeps everything it carries between blocks.
TEST(Plugins, RetuningToTheSameValuesChangesNothing) {
  ForEachVariant([](const Host& host, uint32_t i, const PluginVariant& variant) {
    const std::vector<float> defaults = Controls(variant, false);
    HostedInstance run(host, i, false, defaults);
    run.Process(0, kFrames / 2, 64);
    auto& instance = *static_cast<PluginInstance*>(run.handle);
    EXPECT_TRUE(RetuneChain(instance.tunable, instance.settings));
    run.Process(kFrames / 2, kFrames, 64);
    EXPECT_TRUE(
        SameFrames(run.Interleaved(), Expected(variant, defaults), variant.channels, 0, kFrames));
  });
}

}  // namespace
}  // namespace wavfx
