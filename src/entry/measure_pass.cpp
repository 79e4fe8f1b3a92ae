#include "entry/measure_pass.h"

#include <cmath>
#include <cstdio>
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

// Runs the input through the chain's stages into the meter.
bool MeterThroughChain(EffectChain& chain, Meter& meter, const InputPass& pass,
                       std::string& reason) {
  const std::size_t outChannels = chain.output.channels;
  std::vector<float> out(kBlockFrames * outChannels);
  const FrameSink sink = [&](const float* frames, std::size_t count) {
    if (!chain.reshapes) {
      for (std::size_t at = 0; at < count; at += kBlockFrames) {
        const std::size_t run = std::min(kBlockFrames, count - at);
        std::copy_n(frames + at * chain.channels, run * chain.channels, out.begin());
        ProcessChainFloats(chain, out.data(), run);
        MeterFloats(meter, out.data(), run);
      }
      return;
    }
    for (std::size_t done = 0; done < count;) {
      std::size_t consumed = 0, produced = 0;
      FlowChainSamples(chain, frames + done * chain.channels, count - done, out.data(),
                       kBlockFrames, consumed, produced);
      MeterFloats(meter, out.data(), produced);
      done += consumed;
    }
  };
  if (!pass(sink, reason)) return false;
  for (std::size_t flushed = 1; chain.reshapes && flushed > 0;) {
    flushed = DrainChainSamples(chain, out.data(), kBlockFrames);
    MeterFloats(meter, out.data(), flushed);
  }
  return true;
}

// Measures the stream up to the stage's output with the chain's `count` first stages.
bool MeasureThrough(const ChainRecipe& recipe, uint32_t count, uint32_t channels,
                    uint32_t sampleRate, const InputPass& pass, StreamMeasurement& measurement,
                    std::string& reason) {
  const ChainRecipe prefix = PrefixOf(recipe, count);
  ChainError misfit;
  if (!ChainFits(prefix, {channels, sampleRate}, misfit)) {
    reason = misfit.message;
    return false;
  }
  EffectChain chain{};
  const bool ready = InitChain(chain, prefix, channels, sampleRate);
  Meter meter;
  InitMeter(meter, chain.output.channels, chain.output.sampleRate, {});
  const bool read = ready && MeterThroughChain(chain, meter, pass, reason);
  ReleaseChain(chain);
  if (!ready) reason = "out of memory for the stages before the measurement";
  if (read) measurement = MeasurementOf(meter);
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
    if (!MeasureThrough(recipe, m.stage + 1, channels, sampleRate, pass, m.output, reason)) {
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
                        std::string& reason) {
  for (int stage = FirstUnmeasuredStage(recipe); stage >= 0; stage = FirstUnmeasuredStage(recipe)) {
    StreamMeasurement measurement{};
    if (!MeasureThrough(recipe, static_cast<uint32_t>(stage), channels, sampleRate, pass,
                        measurement, reason)) {
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
