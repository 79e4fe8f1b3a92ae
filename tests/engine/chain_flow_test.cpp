// Chains that change the rate, the channels or the length, through the C API's flow calls: every
// reshaping family of the registry at its defaults, and the chains below.
#include <gtest/gtest.h>

#if defined(__x86_64__)
#include <cpuid.h>
#endif

#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "dsp/true_peak.h"
#include "engine/registry.h"
#include "measure/meter.h"
#include "wavfx/wavfx.h"

namespace wavfx {
namespace {

struct FlowCase {
  std::string chain;
  uint32_t channels;
  uint32_t rate;
};

const FlowCase kChains[] = {
    {"resample=rate=16000", 2, 44100},
    {"resample=rate=48000:quality=veryhigh", 1, 44100},
    {"resample=rate=96000:quality=low", 3, 22050},
    {"speed=factor=1.1", 2, 16000},
    {"lowpass,speed=factor=0.9,echo=delay=5,resample=rate=8000", 2, 44100},
    {"limiter=truepeak=0:lookahead=0.1", 1, 8000},
    {"resample=rate=48000,limiter=ceiling=-20:lookahead=2,gain=db=3", 3, 44100},
    {"loudnorm=target=-10:measured=-20:peak=-3", 2, 44100},
    {"speed=factor=1.1,trim=start=100s:end=3000s,echo=delay=5,resample=rate=8000", 2, 44100},
    {"limiter=lookahead=2,trim=end=7000s,pad=end=50s", 1, 8000},
};

std::vector<FlowCase> Cases() {
  std::vector<FlowCase> cases(std::begin(kChains), std::end(kChains));
  for (const EffectFamily* family : EffectFamilies()) {
    // Stages that measure their input first run with a measurement, above.
    if (Reshapes(*family) && family->measuring.needsMeasurement == nullptr) {
      cases.push_back({family->info.name, 2, 44100});
    }
  }
  return cases;
}

template <class Sample>
std::vector<Sample> Signal(std::size_t frames, uint32_t channels) {
  std::mt19937 random(frames + channels);
  std::uniform_real_distribution<float> noise(-0.2f, 0.2f);
  std::vector<Sample> samples(frames * channels);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const float value = 0.7f * std::sin(0.003f * static_cast<float>(i)) + noise(random);
    if constexpr (std::is_same_v<Sample, float>) {
      samples[i] = value;
    } else {
      samples[i] = static_cast<Sample>(value * 32767.0f);
    }
  }
  return samples;
}

int32_t Flow(wavfx_effect* e, const float* in, size_t n, float* out, size_t room, size_t* c,
             size_t* p) {
  return wavfx_effect_flow_float(e, in, n, out, room, c, p);
}
int32_t Flow(wavfx_effect* e, const int16_t* in, size_t n, int16_t* out, size_t room, size_t* c,
             size_t* p) {
  return wavfx_effect_flow_int16(e, in, n, out, room, c, p);
}
int32_t Flush(wavfx_effect* e, float* out, size_t room, size_t* p) {
  return wavfx_effect_flush_float(e, out, room, p);
}
int32_t Flush(wavfx_effect* e, int16_t* out, size_t room, size_t* p) {
  return wavfx_effect_flush_int16(e, out, room, p);
}

// The whole stream through a fresh instance: in one call when `random` is null, else in calls
// of random sizes (empty ones included) with random output room.
template <class Sample>
std::vector<Sample> RunFlow(const FlowCase& c, const std::vector<Sample>& input,
                            std::mt19937* random) {
  wavfx_error error;
  wavfx_effect* effect = wavfx_chain_create(c.chain.c_str(), c.channels, c.rate, &error);
  EXPECT_NE(effect, nullptr) << c.chain << ": " << error.message;
  if (effect == nullptr) return {};
  const std::size_t out = wavfx_effect_output_channels(effect);
  std::uniform_int_distribution<std::size_t> size(0, 600);
  const auto next = [&](std::size_t most) {
    return random == nullptr ? most : std::min(most, size(*random));
  };
  std::vector<Sample> room(1 << 16);
  std::vector<Sample> output;
  const std::size_t frames = input.size() / c.channels;
  for (std::size_t at = 0; at < frames;) {
    std::size_t consumed = 0, produced = 0;
    EXPECT_EQ(Flow(effect, input.data() + at * c.channels, next(frames - at), room.data(),
                   next(room.size() / out), &consumed, &produced),
              WAVFX_OK);
    output.insert(output.end(), room.begin(), room.begin() + produced * out);
    at += consumed;
  }
  for (;;) {
    const std::size_t offered = next(room.size() / out);
    std::size_t produced = 0;
    EXPECT_EQ(Flush(effect, room.data(), offered, &produced), WAVFX_OK);
    output.insert(output.end(), room.begin(), room.begin() + produced * out);
    if (offered > 0 && produced == 0) break;
  }
  wavfx_effect_destroy(effect);
  return output;
}

// Whether the upper halves of the vector registers are in use (XGETBV with ECX = 1, where the
// processor has it). The kernels return with them clear: while they were in use, the SSE code
// around the kernels ran three to four times slower on AMD Zen 5.
bool UpperHalvesInUse() {
#if defined(__x86_64__)
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (__get_cpuid_count(0xD, 1, &a, &b, &c, &d) == 0 || (a & 4u) == 0) return false;
  uint32_t low = 0, high = 0;
  asm volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(1));
  return (low & (1u << 2)) != 0;  // the upper halves of ymm0 to ymm15
#else
  return false;
#endif
}

TEST(ReshapingChains, BlockSplitDoesNotChangeOutput) {
  for (const FlowCase& c : Cases()) {
    std::mt19937 random(7);
    const auto floats = Signal<float>(20000, c.channels);
    const auto whole = RunFlow(c, floats, nullptr);
    EXPECT_FALSE(UpperHalvesInUse()) << c.chain;
    const auto cut = RunFlow(c, floats, &random);
    ASSERT_EQ(whole.size(), cut.size()) << c.chain;
    EXPECT_EQ(std::memcmp(whole.data(), cut.data(), whole.size() * sizeof(float)), 0) << c.chain;
    const auto samples = Signal<int16_t>(20000, c.channels);
    EXPECT_EQ(RunFlow(c, samples, nullptr), RunFlow(c, samples, &random)) << c.chain;
  }
}

// A stage that delays its output internally gives frame i for frame i: below its ceiling the
// limiter passes every sample exactly, in calls of any size.
TEST(ReshapingChains, DelayedStagesAreAligned) {
  for (const char* chain :
       {"limiter", "limiter=truepeak=0:lookahead=50", "trim=start=7s,limiter"}) {
    std::mt19937 random(3);
    const FlowCase c{chain, 2, 44100};
    auto input = Signal<float>(5000, 2);
    for (float& sample : input)
      sample *= 0.5f;
    const auto output = RunFlow(c, input, &random);
    if (chain[0] == 't') input.erase(input.begin(), input.begin() + 14);
    EXPECT_EQ(output, input) << chain;
  }
}

// The largest sample of a stereo stream, or its true peak followed by silence.
double Peak(std::vector<float> samples, bool truePeak) {
  float peak = 0.0f;
  for (const float sample : samples)
    peak = std::max(peak, std::fabs(sample));
  if (!truePeak) return peak;
  samples.resize(samples.size() + 2 * kTruePeakTaps, 0.0f);
  Meter meter;
  InitMeter(meter, 2, 48000, {});
  MeterFloats(meter, samples.data(), samples.size() / 2);
  return std::max(meter.truePeaks[0], meter.truePeaks[1]);
}

// The limiter's promise, measured on its output (followed by silence) with the BS.1770
// interpolator: no true peak above the ceiling with truepeak=1, no sample above it with 0.
TEST(ReshapingChains, LimiterOutputStaysUnderItsCeiling) {
  const auto tone = [](float gain, float phase, float step) {
    return [=](std::size_t i) { return gain * std::sin(step * static_cast<float>(i) + phase); };
  };
  const auto square = [](float gain, std::size_t period) {
    return [=](std::size_t i) { return (i / period) % 2 == 0 ? gain : -gain; };
  };
  std::mt19937 random(11);
  std::normal_distribution<float> noise(0.0f, 0.7f);
  std::vector<float> music(60000);
  for (std::size_t i = 0; i < music.size(); ++i)
    music[i] = noise(random) * (1.5f + std::sin(0.0005f * static_cast<float>(i))) +
               0.8f * std::sin(0.01f * static_cast<float>(i));
  const std::vector<std::function<float(std::size_t)>> signals = {
      [&](std::size_t i) { return music[i]; },
      tone(1.0f, 0.785398163f, 1.570796327f),  // fs/4 at 45 degrees: 3 dB between samples
      tone(8.0f, 0.785398163f, 1.570796327f),
      square(1.0f, 1),
      square(4.0f, 3),
      square(30.0f, 40),
      [](std::size_t i) { return i % 5000 == 2500 ? (i % 10000 == 2500 ? 20.0f : -3.0f) : 0.0f; },
  };
  for (const double ceiling : {-0.1, -1.0, -6.0, -24.0}) {
    for (const int truePeak : {1, 0}) {
      for (std::size_t s = 0; s < signals.size(); ++s) {
        const std::string chain = "limiter=ceiling=" + FormatNumber(ceiling) +
                                  ":truepeak=" + std::to_string(truePeak) + ":release=20";
        std::vector<float> input(2 * music.size());
        for (std::size_t i = 0; i < input.size(); ++i)
          input[i] = signals[s](i / 2) * (i % 2 == 0 ? 1.0f : -0.5f);
        const std::vector<float> output = RunFlow(FlowCase{chain, 2, 44100}, input, nullptr);
        ASSERT_EQ(output.size(), input.size());
        const double measured = Peak(output, truePeak != 0);
        EXPECT_LE(measured, std::pow(10.0, ceiling / 20.0)) << chain << ", signal " << s;
        const double reachable =
            std::min(Peak(input, truePeak != 0), std::pow(10.0, ceiling / 20.0));
        EXPECT_GT(measured, reachable * 0.89) << chain << ", signal " << s;  // within 1 dB
      }
    }
  }
}

TEST(ReshapingChains, InPlaceCallsRefuseThemAndShapesAreReported) {
  wavfx_error error;
  wavfx_effect* effect = wavfx_chain_create("resample=rate=16000,speed=factor=2", 2, 48000, &error);
  ASSERT_NE(effect, nullptr);
  EXPECT_EQ(wavfx_effect_reshapes(effect), 1);
  EXPECT_EQ(wavfx_effect_output_sample_rate(effect), 16000u);
  EXPECT_EQ(wavfx_effect_output_channels(effect), 2u);
  EXPECT_EQ(wavfx_effect_latency(effect), 0u);  // nothing is held before the stream starts
  int16_t samples[4] = {};
  float values[4] = {};
  const auto input = Signal<float>(3000, 2);
  std::vector<float> out(2000 * 2);
  size_t consumed = 0, produced = 0;
  wavfx_effect_flow_float(effect, input.data(), 3000, out.data(), 2000, &consumed, &produced);
  EXPECT_EQ(consumed, 3000u);
  EXPECT_GT(wavfx_effect_latency(effect), 0u);  // the converter's look-ahead
  EXPECT_EQ(wavfx_effect_process(effect, samples, 2), WAVFX_ERROR_RESHAPES);
  EXPECT_EQ(wavfx_effect_process_float(effect, values, 2), WAVFX_ERROR_RESHAPES);
  EXPECT_EQ(wavfx_effect_flow_float(effect, nullptr, 1, values, 2, nullptr, nullptr),
            WAVFX_ERROR_NULL_SAMPLES);
  // The flush ends the stream until a reset.
  EXPECT_EQ(wavfx_effect_flush_float(effect, out.data(), 2000, &produced), WAVFX_OK);
  EXPECT_EQ(
      wavfx_effect_flow_float(effect, input.data(), 3000, out.data(), 2000, &consumed, &produced),
      WAVFX_ERROR_FLUSHED);
  EXPECT_EQ(consumed + produced, 0u);
  EXPECT_EQ(wavfx_effect_reset(effect), WAVFX_OK);
  EXPECT_EQ(
      wavfx_effect_flow_float(effect, input.data(), 3000, out.data(), 2000, &consumed, &produced),
      WAVFX_OK);
  EXPECT_EQ(consumed, 3000u);
  wavfx_effect_destroy(effect);
}

// A trim that has taken all it keeps stops the chain's input: the rest is taken at once, the
// stages before it no longer run, and the output is the first frames of the untrimmed chain's.
TEST(ReshapingChains, AFinishedTrimStopsTheInputWithTheSameOutput) {
  for (const char* chain : {"speed=factor=1.1,resample=rate=16000", "limiter,tempo=factor=1.2",
                            "lowpass,pad=start=300s,remix=map=2|1"}) {
    const auto input = Signal<float>(20000, 2);
    const auto whole = RunFlow(FlowCase{chain, 2, 44100}, input, nullptr);
    const std::string trimmed = std::string(chain) + ",trim=end=4000s";
    std::mt19937 random(3);
    const auto cut = RunFlow(FlowCase{trimmed, 2, 44100}, input, &random);
    ASSERT_EQ(cut.size(), 4000u * 2) << chain;
    EXPECT_EQ(std::memcmp(whole.data(), cut.data(), cut.size() * sizeof(float)), 0) << chain;
    wavfx_effect* effect = wavfx_chain_create(trimmed.c_str(), 2, 44100, nullptr);
    ASSERT_NE(effect, nullptr);
    std::vector<float> out(input.size());
    size_t consumed = 0, produced = 0;
    EXPECT_EQ(wavfx_effect_wants_input(effect), 1);
    wavfx_effect_flow_float(effect, input.data(), 20000, out.data(), 20000, &consumed, &produced);
    EXPECT_EQ(consumed, 20000u) << chain;
    EXPECT_EQ(wavfx_effect_wants_input(effect), 0) << chain;
    wavfx_effect_destroy(effect);
  }
}

// Stages whose settings leave the stream as it is copy every sample exactly, at every width:
// no 32767/32768 conversion pair.
TEST(ReshapingChains, IdentitySettingsCopyExactly) {
  for (const char* chain : {"resample=rate=44100", "speed=factor=1"}) {
    const std::vector<int16_t> input = {32767, -32768, 16385, -16384, 1, 0, 3, -3};
    const auto output = RunFlow(FlowCase{chain, 2, 44100}, input, nullptr);
    EXPECT_EQ(output, input) << chain;
  }
}

struct Refusal {
  const char* chain;
  uint32_t channels, rate;
  const char* message;
};

TEST(ReshapingChains, SettingsThatDoNotFitAreRefusedWithOneLine) {
  const Refusal refusals[] = {
      {"resample=rate=0", 2, 44100,
       "stage 1 (resample): rate '0' is out of range (1 to 2000000 Hz)"},
      {"resample=rate=100", 2, 44100,
       "stage 1 (resample): rate '100' is beyond a factor of 256 from the stream's 44100 Hz "
       "(173 to 2000000 Hz)"},
      {"resample=quality=best", 2, 44100,
       "stage 1 (resample): quality 'best' is not one of low, medium, high, veryhigh"},
      {"speed=factor=0", 2, 44100, "stage 1 (speed): factor '0' is out of range (0.05 to 20)"},
      {"limiter=lookahead=0", 2, 44100,
       "stage 1 (limiter): lookahead '0' is out of range (0.1 to 100 ms)"},
      {"limiter=truepeak=0.5", 2, 44100,
       "stage 1 (limiter): truepeak '0.5' is not a whole number (0 to 1)"},
      {"gate=range=-3", 2, 44100, "stage 1 (gate): range '-3' is out of range (0 to 120 dB)"},
      {"limiter=lookahead=100", 1024, 2000000000,
       "stage 1 (limiter): lookahead 100 ms holds 204800287744 samples of a stream of 1024 "
       "channels (at most 268435456)"},
      {"resample=rate=nan", 2, 44100,
       "stage 1 (resample): rate 'nan' is not a finite number (1 to 2000000 Hz)"},
      {"gain,bass=frequency=24000", 2, 48000,
       "stage 2 (bass): frequency '24000' is not below half the stream's rate (24000 Hz)"},
      {"lowpass=poles=2:cutoff=30000", 1, 44100,
       "stage 1 (lowpass): cutoff '30000' is not below half the stream's rate (22050 Hz)"},
      {"equalizer=q=0", 2, 44100, "stage 1 (equalizer): q '0' is out of range (0.001 to 1000)"},
  };
  for (const Refusal& r : refusals) {
    wavfx_error error;
    EXPECT_EQ(wavfx_chain_create(r.chain, r.channels, r.rate, &error), nullptr) << r.chain;
    EXPECT_STREQ(error.message, r.message);
  }
}

}  // namespace
}  // namespace wavfx
