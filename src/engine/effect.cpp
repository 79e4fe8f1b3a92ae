#include "engine/effect.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <vector>

#include "dsp/sample_buffer.h"
#include "dsp/sample_conversion.h"

namespace wavfx {
namespace {

// ProcessEffect converts at most this many samples at a time, on the stack.
constexpr std::size_t kChunkSamples = 1024;

constexpr std::align_val_t kRecordAlignment{64};

// Each family's name and aliases, in the order WAVEffect has always matched them; only
// WAVEffect's families when `classic`.
std::vector<EffectName> MakeNames(bool classic) {
  std::vector<EffectName> names;
  for (const EffectFamily* family : EffectFamilies()) {
    if (classic && !IsClassicFamily(*family)) continue;
    const EffectKind kind = KindOf(*family);
    if (!family->aliasesFirst) names.push_back({family->info.name, kind});
    for (std::size_t i = 0; i < family->info.alias_count; ++i) {
      names.push_back({family->info.aliases[i], kind});
    }
    if (family->aliasesFirst) names.push_back({family->info.name, kind});
  }
  return names;
}

// Whether the effect touches its audio at all.
bool EffectRuns(const EffectState& state) {
  if (state.family == nullptr || !EffectHasItsBuffers(state)) return false;
  const FamilyOps& ops = state.family->ops;
  return ops.changesAudio == nullptr || ops.changesAudio(state.record);
}

}  // namespace

std::span<const EffectName> EffectNames() {
  static const std::vector<EffectName> names = MakeNames(true);
  return names;
}

std::span<const EffectName> RegistryNames() {
  static const std::vector<EffectName> names = MakeNames(false);
  return names;
}

EffectKind KindOfName(const char* name) {
  for (const EffectName& entry : EffectNames()) {
    if (EffectNameEquals(name, entry.literal)) return entry.kind;
  }
  return EffectKind::None;
}

void InitEffect(EffectState& state, const char* name, uint32_t channels, uint32_t sampleRate) {
  InitEffect(state, DefaultSettings(FamilyOf(KindOfName(name))), channels, sampleRate);
}

void InitEffect(EffectState& state, const EffectSettings& settings, uint32_t channels,
                uint32_t sampleRate, void* record) {
  const EffectFamily& family = FamilyOf(settings.kind);
  state.kind = settings.kind;
  state.channels = channels;
  state.sampleRate = sampleRate;
  state.family = &family;
  state.record = record;
  state.ownsRecord = false;
  state.wideFrame = nullptr;
  state.inPlace = false;
  const std::size_t size = family.ops.stateSize;
  if (size > 0 && record == nullptr) {
    state.record = ::operator new(size, kRecordAlignment, std::nothrow);
    state.ownsRecord = state.record != nullptr;
    if (state.record == nullptr) return;  // the stage then passes its audio through
    std::memset(state.record, 0, size);
  }
  family.ops.init(state.record, settings, {channels, sampleRate});
  if (channels > kChunkSamples && EffectRuns(state)) state.wideFrame = AllocateSamples(channels);
}

void ProcessEffect(EffectState& state, int16_t* block, int32_t frames) {
  if (frames <= 0 || !EffectChangesAudio(state)) return;
  const std::size_t channels = state.channels;
  float chunk[kChunkSamples];
  if (channels == 0) {  // the effect's state may still move on
    ProcessEffectFloats(state, chunk, frames);
    return;
  }
  float* values = channels <= kChunkSamples ? chunk : state.wideFrame;
  const std::size_t chunkFrames = std::max<std::size_t>(kChunkSamples / channels, 1);
  for (auto left = static_cast<std::size_t>(frames); left > 0;) {
    const std::size_t count = std::min(chunkFrames, left);
    SamplesToFloats(block, values, count * channels);
    ProcessEffectFloats(state, values, static_cast<int32_t>(count));
    FloatsToSamples(values, block, count * channels);
    block += count * channels;
    left -= count;
  }
}

void ProcessEffectFloats(EffectState& state, float* samples, int32_t frames) {
  if (state.family == nullptr || state.family->ops.process == nullptr) return;
  if (state.record == nullptr && state.family->ops.stateSize > 0) return;
  if (state.family->ops.flow != nullptr && !state.inPlace) return;  // it flows until told more
  state.family->ops.process(state.record, samples, frames);
}

bool ProcessEffectSamples(EffectState& state, int16_t* samples, int32_t frames) {
  const auto run = state.family != nullptr ? state.family->ops.processSamples : nullptr;
  return run != nullptr && run(state.record, samples, frames);
}

bool EffectChangesAudio(const EffectState& state) {
  if (state.channels > kChunkSamples && state.wideFrame == nullptr) return false;
  return EffectRuns(state);
}

bool EffectHasItsBuffers(const EffectState& state) {
  if (state.family == nullptr) return true;
  if (state.record == nullptr) return state.family->ops.stateSize == 0;
  const auto has = state.family->ops.hasBuffers;
  return has == nullptr || has(state.record);
}

bool TellEffectLength(EffectState& state, uint64_t frames) {
  const auto know = state.family != nullptr ? state.family->ops.knowLength : nullptr;
  state.inPlace = know != nullptr && state.record != nullptr && know(state.record, frames);
  return state.inPlace;
}

uint64_t EffectDelay(const EffectState& state) {
  if (!EffectChangesAudio(state) || state.family->ops.delay == nullptr) return 0;
  return state.family->ops.delay(state.record);
}

void ReleaseEffect(EffectState& state) {
  FreeSamples(state.wideFrame);
  if (state.family == nullptr || state.record == nullptr) return;
  if (state.family->ops.release != nullptr) state.family->ops.release(state.record);
  if (state.ownsRecord) ::operator delete(state.record, kRecordAlignment, std::nothrow);
  state.record = nullptr;
  state.ownsRecord = false;
}

}  // namespace wavfx
