#include "entry/measure_pass.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <limits>

#include "engine/chain.h"
#include "engine/chain_flow.h"
#include "engine/chain_measure.h"
#include "measure/meter.h"

namespace wavfx {
namespace {

constexpr std::size_t kBlockFrames = 4096;

StreamMeasurement MeasurementOf(const Meter& meter) {
  const MeterReport report = ReportMeter(meter);
  return {report.loudness.integrated, report.truePeak, report.overall.peakDb,
          report.loudness.range};
}

// Runs the input through the chain's stages into `take(frames, count)`.
template <typename Take>
bool RunThroughChain(EffectChain& chain, const InputPass& pass, std::string& reason,
                     const Take& take) {
  const std::size_t outChannels = chain.output.channels;
  std::vector<float> out(kBlockFrames * outChannels);
  const FrameSink sink = [&](const float* frames, std::size_t count) {
    if (chain.recipe.count == 0) return take(frames, count);
    if (!chain.reshapes) {
      for (std::size_t at = 0; at < count; at += kBlockFrames) {
        const std::size_t run = std::min(kBlockFrames, count - at);
        std::copy_n(frames + at * chain.channels, run * chain.channels, out.begin());
        ProcessChainFloats(chain, out.data(), run);
        take(out.data(), run);
      }
      return;
    }
    for (std::size_t done = 0; done < count;) {
      std::size_t consumed = 0, produced = 0;
      FlowChainSamples(chain, frames + done * chain.channels, count - done, out.data(),
                       kBlockFrames, consumed, produced);
      take(out.data(), produced);
      done += consumed;
    }
  };
  if (!pass(sink, reason)) return false;
  for (std::size_t flushed = 1; chain.reshapes && flushed > 0;) {
    flushed = DrainChainSamples(chain, out.data(), kBlockFrames);
    take(out.data(), flushed);
  }
  return true;
}

// The largest magnitude of the finite samples, as the meter's sample peak takes it (in lanes: the
// largest of their largest is the same).
double SamplePeakOf(const float* samples, std::size_t count, double peak) {
  using Lanes = float __attribute__((vector_size(16)));
  using Mask = int32_t __attribute__((vector_size(16)));
  constexpr float kMost = std::numeric_limits<float>::max();
  constexpr Mask kMagnitude = {0x7fffffff, 0x7fffffff, 0x7fffffff, 0x7fffffff};
  constexpr std::size_t kLanes = 4;
  const auto larger = [&](Lanes top, std::size_t at) {
    Lanes x;
    std::memcpy(&x, samples + at, sizeof x);
    const Lanes magnitude = (Lanes)((Mask)x & kMagnitude);
    return magnitude <= kMost && magnitude > top ? magnitude : top;
  };
  // Four independent chains, in registers (an array of vectors stays in memory at -O2).
  Lanes first = {}, second = {}, third = {}, fourth = {};
  std::size_t i = 0;
  for (; i + 4 * kLanes <= count; i += 4 * kLanes) {
    first = larger(first, i);
    second = larger(second, i + kLanes);
    third = larger(third, i + 2 * kLanes);
    fourth = larger(fourth, i + 3 * kLanes);
  }
  float top = 0.0f;
  for (const Lanes& lanes : {first, second, third, fourth}) {
    for (std::size_t lane = 0; lane < kLanes; ++lane)
      top = std::max(top, lanes[lane]);
  }
  for (; i < count; ++i) {
    const float magnitude = std::fabs(samples[i]);
    top = magnitude <= kMost && magnitude > top ? magnitude : top;
  }
  return std::max(peak, static_cast<double>(top));
}

// Measures the stream up to the stage's output with the chain's `count` first stages: everything
// the meter tells, or, with `peakOnly`, the sample peak alone (the rest NaN).
bool MeasureThrough(const ChainRecipe& recipe, uint32_t count, uint32_t channels,
                    uint32_t sampleRate, const InputPass& pass, bool peakOnly,
                    StreamMeasurement& measurement, std::string& reason) {
  const ChainRecipe prefix = PrefixOf(recipe, count);
  ChainError misfit;
  if (!ChainFits(prefix, {channels, sampleRate}, misfit)) {
    reason = misfit.message;
    return false;
  }
  EffectChain chain{};
  const bool ready = InitChain(chain, prefix, channels, sampleRate);
  bool read = false;
  if (peakOnly) {
    const std::size_t outChannels = chain.output.channels;
    double peak = 0.0;
    read = ready && RunThroughChain(chain, pass, reason, [&](const float* frames, std::size_t n) {
             peak = SamplePeakOf(frames, n * outChannels, peak);
           });
    constexpr double kUnmeasured = std::numeric_limits<double>::quiet_NaN();
    if (read) measurement = {kUnmeasured, kUnmeasured, Decibels(peak), kUnmeasured};
  } else {
    Meter meter;
    InitMeter(meter, chain.output.channels, chain.output.sampleRate, {});
    read = ready && RunThroughChain(chain, pass, reason, [&](const float* frames, std::size_t n) {
             MeterFloats(meter, frames, n);
           });
    if (read) measurement = MeasurementOf(meter);
  }
  ReleaseChain(chain);
  if (!ready) reason = "out of memory for the stages before the measurement";
  return read;
}

// What the stage gives: promised by its gain, or measured; stages that settle on their own
// output's measurement (loudnorm with its limiter) get a few more passes.
bool Settle(ChainRecipe& recipe, StageMeasurement& m, uint32_t channels, uint32_t sampleRate,
            const InputPass& pass, std::string& reason) {
  EffectSettings& values = recipe.stages[m.stage];
  const MeasuringOps& ops = FamilyOf(values.kind).measuring;
  if (ops.promise != nullptr && ops.promise(values, m.measured, m.output)) return true;
  constexpr int kMostRounds = 8;
  for (int round = 0; round < kMostRounds; ++round) {
    if (!MeasureThrough(recipe, m.stage + 1, channels, sampleRate, pass, false, m.output, reason)) {
      return false;
    }
    if (ops.refine == nullptr || !ops.refine(values, m.output)) break;
  }
  return true;
}

std::string Db(double value, const char* unit) {
  if (!std::isfinite(value)) return std::string("-inf ") + unit;
  char text[32];
  std::snprintf(text, sizeof text, "%.2f %s", value, unit);
  return text;
}

}  // namespace

bool MeasureStageInputs(ChainRecipe& recipe, uint32_t channels, uint32_t sampleRate,
                        const InputPass& pass, std::vector<StageMeasurement>& measured,
                        std::string& reason, bool described) {
  for (int stage = FirstUnmeasuredStage(recipe); stage >= 0; stage = FirstUnmeasuredStage(recipe)) {
    const EffectSettings& values = recipe.stages[stage];
    const auto peakOnly = FamilyOf(values.kind).measuring.usesOnlySamplePeak;
    StreamMeasurement measurement{};
    if (!MeasureThrough(recipe, static_cast<uint32_t>(stage), channels, sampleRate, pass,
                        !described && peakOnly != nullptr && peakOnly(values), measurement,
                        reason)) {
      return false;
    }
    GiveMeasurement(recipe, static_cast<uint32_t>(stage), measurement);
    StageMeasurement m{static_cast<uint32_t>(stage), measurement, measurement};
    if (!Settle(recipe, m, channels, sampleRate, pass, reason)) return false;
    measured.push_back(m);
  }
  return true;
}

std::string DescribeMeasurements(const ChainRecipe& recipe,
                                 const std::vector<StageMeasurement>& measured) {
  std::string text;
  for (const StageMeasurement& m : measured) {
    const StreamMeasurement& s = m.measured;
    const EffectFamily& family = FamilyOf(recipe.stages[m.stage].kind);
    text += std::string(family.info.name) + " (stage " + std::to_string(m.stage + 1) + "): ";
    if (!std::isfinite(s.samplePeak)) {
      text += "its input is silent and stays so\n";
      continue;
    }
    text += "its input measures " + Db(s.integrated, "LUFS") + " integrated, " +
            Db(s.truePeak, "dBTP") + " true peak, " + Db(s.samplePeak, "dBFS") + " sample peak, " +
            Db(s.range, "LU") + " loudness range";
    if (family.measuring.plan != nullptr)
      text += "; " + family.measuring.plan(recipe.stages[m.stage]);
    const StreamMeasurement& o = m.output;
    text += "; its output: " + Db(o.integrated, "LUFS") + ", " + Db(o.truePeak, "dBTP") + ", " +
            Db(o.samplePeak, "dBFS") + ", " + Db(o.range, "LU") + "\n";
  }
  return text;
}

}  // namespace wavfx
