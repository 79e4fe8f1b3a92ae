#include "measure/loudness.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "dsp/effect_math.h"

namespace wavfx {
namespace {

uint64_t SubBlockStart(uint64_t index, uint32_t sampleRate) {
  return index * sampleRate / 10;
}

uint64_t SubBlockLength(uint64_t index, uint32_t sampleRate) {
  return SubBlockStart(index + 1, sampleRate) - SubBlockStart(index, sampleRate);
}

// The mean square of the last `count` sub-blocks, oldest first.
double MeanSquareOfLast(const LoudnessMeter& meter, std::size_t count) {
  double energy = 0.0;
  uint64_t frames = 0;
  for (std::size_t back = count; back > 0; --back) {
    const std::size_t slot = (meter.subBlocks - back) % LoudnessMeter::kShortTermSubBlocks;
    energy += meter.recentEnergy[slot];
    frames += meter.recentFrames[slot];
  }
  return frames > 0 ? energy / static_cast<double>(frames) : 0.0;
}

void EndSubBlock(LoudnessMeter& meter) {
  // Memories decaying in silence would become subnormal (and slow) within seconds; below 1e-150
  // they weigh nothing. Flushed at sub-block ends, so the cut of the stream does not matter.
  for (double& memory : meter.memories) {
    if (std::fabs(memory) < 1e-150) memory = 0.0;
  }
  double energy = 0.0;
  for (uint32_t c = 0; c < meter.channels; ++c) {
    energy += meter.weights[c] * meter.squares[c];
    meter.squares[c] = 0.0;
  }
  const std::size_t slot = meter.subBlocks % LoudnessMeter::kShortTermSubBlocks;
  meter.recentEnergy[slot] = energy;
  meter.recentFrames[slot] = meter.subBlockFrames;
  ++meter.subBlocks;
  if (meter.subBlocks >= 4) meter.momentary.push_back(MeanSquareOfLast(meter, 4));
  if (meter.subBlocks >= LoudnessMeter::kShortTermSubBlocks) {
    meter.shortTerm.push_back(MeanSquareOfLast(meter, LoudnessMeter::kShortTermSubBlocks));
  }
  meter.subBlockFrames = 0;
  meter.subBlockLength = SubBlockLength(meter.subBlocks, meter.sampleRate);
}

// The value at round((n - 1) p) of sorted values.
double Percentile(const std::vector<double>& sorted, double p) {
  const double at = static_cast<double>(sorted.size() - 1) * p + 0.5;
  return sorted[static_cast<std::size_t>(at)];
}

}  // namespace

std::vector<double> DefaultLoudnessWeights(uint32_t channels) {
  std::vector<double> weights(channels, 1.0);
  if (channels == 6) {
    weights[3] = 0.0;
    weights[4] = weights[5] = 1.41;
  } else if (channels == 5) {
    weights[3] = weights[4] = 1.41;
  }
  return weights;
}

void InitLoudness(LoudnessMeter& meter, uint32_t channels, uint32_t sampleRate,
                  std::vector<double> weights) {
  meter = LoudnessMeter{};
  meter.channels = channels;
  meter.sampleRate = sampleRate;
  meter.filter = DesignKWeighting(sampleRate);
  meter.weights = std::move(weights);
  meter.weights.resize(channels, 1.0);
  meter.memories.assign(4 * static_cast<std::size_t>(channels), 0.0);
  meter.squares.assign(channels, 0.0);
  meter.subBlockLength = SubBlockLength(0, sampleRate);
}

WeighingPair StartWeighing(const LoudnessMeter& meter, uint32_t c) {
  const double* single = meter.memories.data() + 4 * static_cast<std::size_t>(c);
  const bool pair = c + 1 < meter.channels;
  WeighingPair w{};
  for (std::size_t i = 0; i < 4; ++i)
    w.memory[i] = ChannelPair{single[i], pair ? single[i + 4] : single[i]};
  w.squares = ChannelPair{meter.squares[c], pair ? meter.squares[c + 1] : meter.squares[c]};
  return w;
}

void EndWeighing(LoudnessMeter& meter, uint32_t c, const WeighingPair& pair) {
  const bool single = c + 1 == meter.channels;
  double* memory = meter.memories.data() + 4 * static_cast<std::size_t>(c);
  for (std::size_t i = 0; i < 4; ++i) {
    memory[i] = pair.memory[i][0];
    if (!single) memory[i + 4] = pair.memory[i][1];
  }
  meter.squares[c] = pair.squares[0];
  if (!single) meter.squares[c + 1] = pair.squares[1];
}

std::size_t LoudnessRoom(const LoudnessMeter& meter) {
  return static_cast<std::size_t>(meter.subBlockLength - meter.subBlockFrames);
}

void AdvanceLoudness(LoudnessMeter& meter, std::size_t frames) {
  meter.subBlockFrames += frames;
  if (meter.subBlockFrames == meter.subBlockLength) EndSubBlock(meter);
}

double LoudnessOf(double meanSquare) {
  if (!(meanSquare > 0.0)) return -std::numeric_limits<double>::infinity();
  return -0.691 + 10.0 * LogTen(meanSquare);
}

LoudnessSummary SummariseLoudness(const LoudnessMeter& meter) {
  const double none = -std::numeric_limits<double>::infinity();
  LoudnessSummary summary{none, none, none, 0.0};
  // A mean square whose loudness is -70 LUFS.
  const double absoluteGate = TenToThe((-70.0 + 0.691) / 10.0);
  const auto gatedMean = [](const std::vector<double>& values, double gate) {
    double sum = 0.0;
    std::size_t count = 0;
    for (const double v : values) {
      if (v > gate) {
        sum += v;
        ++count;
      }
    }
    return count > 0 ? sum / static_cast<double>(count) : 0.0;
  };
  double most = 0.0;
  for (const double v : meter.momentary)
    most = std::max(most, v);
  if (!meter.momentary.empty()) summary.momentaryMax = LoudnessOf(most);
  most = 0.0;
  for (const double v : meter.shortTerm)
    most = std::max(most, v);
  if (!meter.shortTerm.empty()) summary.shortTermMax = LoudnessOf(most);

  const double absoluteMean = gatedMean(meter.momentary, absoluteGate);
  if (absoluteMean > 0.0) {
    const double relativeGate = std::max(absoluteGate, absoluteMean * 0.1);
    summary.integrated = LoudnessOf(gatedMean(meter.momentary, relativeGate));
  }

  const double shortMean = gatedMean(meter.shortTerm, absoluteGate);
  if (shortMean > 0.0) {
    const double relativeGate = std::max(absoluteGate, shortMean * 0.01);
    std::vector<double> gated;
    for (const double v : meter.shortTerm) {
      if (v > relativeGate) gated.push_back(LoudnessOf(v));
    }
    std::sort(gated.begin(), gated.end());
    if (gated.size() >= 2) summary.range = Percentile(gated, 0.95) - Percentile(gated, 0.10);
  }
  return summary;
}

}  // namespace wavfx
