#include "entry/measure_file.h"

#include <sndfile.h>

#include "engine/chain.h"
#include "formats/sample_blocks.h"

namespace wavfx {
namespace {

constexpr int64_t kBlockFrames = 8192;

double WeightOfRole(int role) {
  switch (role) {
    case SF_CHANNEL_MAP_LFE:
      return 0.0;
    case SF_CHANNEL_MAP_SIDE_LEFT:
    case SF_CHANNEL_MAP_SIDE_RIGHT:
    case SF_CHANNEL_MAP_REAR_LEFT:
    case SF_CHANNEL_MAP_REAR_RIGHT:
      return 1.41;
    default:
      return 1.0;
  }
}

}  // namespace

std::vector<double> LoudnessWeightsOf(SNDFILE* file, uint32_t channels) {
  std::vector<int> roles(channels, 0);
  const int bytes = static_cast<int>(roles.size() * sizeof(int));
  if (channels == 0 || sf_command(file, SFC_GET_CHANNEL_MAP_INFO, roles.data(), bytes) != SF_TRUE) {
    return DefaultLoudnessWeights(channels);
  }
  std::vector<double> weights;
  for (const int role : roles)
    weights.push_back(WeightOfRole(role));
  return weights;
}

bool MeasureSoundFile(const char* path, int fd, SoundInfo& info, Meter& meter,
                      std::string& reason) {
  SoundFile file = OpenSoundForReading(path, fd, info, reason);
  if (file == nullptr) return false;
  const auto channels = static_cast<uint32_t>(info.channels);
  InitMeter(meter, channels, static_cast<uint32_t>(info.sampleRate),
            LoudnessWeightsOf(file.get(), channels));
  // An integer file without samples still reports its depth, not a float's.
  if (info.samples.kind == SampleKind::Int) meter.bits = info.samples.bits;
  const SampleStorage storage = StorageOf(file.get(), info.samples);
  SampleBlock block;
  block.Reserve(static_cast<std::size_t>(kBlockFrames) * channels, storage);
  uint64_t framesRead = 0;
  for (;;) {
    const int64_t got = ReadSamples(file.get(), storage, block, kBlockFrames, channels, false);
    if (got <= 0) break;
    const auto frames = static_cast<std::size_t>(got);
    framesRead += frames;
    if (info.samples.kind == SampleKind::Int) {
      MeterInts(meter, block.ints.data(), frames, info.samples.bits);
    } else {
      if (info.samples.kind == SampleKind::Float64)
        ToFloats(info.samples, block, frames * channels);
      MeterFloats(meter, block.floats.data(), frames);
    }
  }
  if (sf_error(file.get()) != SF_ERR_NO_ERROR) {
    reason = std::string("read failed: ") + sf_strerror(file.get());
    return false;
  }
  reason = ShortfallOf(info, framesRead);
  return reason.empty();
}

bool MeasureChainInputs(const std::string& path, ChainRecipe& recipe, std::string& notes,
                        std::string& reason) {
  SoundInfo info;
  if (OpenSoundForReading(path.c_str(), -1, info, reason) == nullptr) return false;
  std::vector<StageMeasurement> measured;
  if (!MeasureStageInputs(recipe, static_cast<uint32_t>(info.channels),
                          static_cast<uint32_t>(info.sampleRate), FilePass(path), measured, reason,
                          true)) {
    return false;
  }
  notes = DescribeMeasurements(recipe, measured);
  return true;
}

InputPass FilePass(const std::string& path) {
  return [path](const FrameSink& sink, std::string& reason) {
    SoundInfo info;
    SoundFile file = OpenSoundForReading(path.c_str(), -1, info, reason);
    if (file == nullptr) return false;
    const auto channels = static_cast<std::size_t>(info.channels);
    const SampleStorage storage = StorageOf(file.get(), info.samples);
    SampleBlock block;
    block.Reserve(kBlockFrames * channels, storage);
    for (;;) {
      const int64_t got = ReadSamples(file.get(), storage, block, kBlockFrames, channels, false);
      if (got <= 0) break;
      const std::size_t count = static_cast<std::size_t>(got) * channels;
      ToFloats(info.samples, block, count);
      if (info.samples.kind != SampleKind::Int) ZeroNonFinite(block.floats.data(), count);
      sink(block.floats.data(), static_cast<std::size_t>(got));
    }
    return true;
  };
}

}  // namespace wavfx
