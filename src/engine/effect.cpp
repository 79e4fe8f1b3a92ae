#include "engine/effect.h"

#include <algorithm>
#include <cstddef>

#include "dsp/sample_buffer.h"
#include "dsp/sample_conversion.h"
#include "engine/registry.h"

namespace wavfx {
namespace {

// Names in the order they are matched; aliases share a kind. Everything else about an effect
// is in the registry.
constexpr EffectName kEffectNames[] = {
    {"none", EffectKind::None},           {"antique", EffectKind::Antique},
    {"echo", EffectKind::Echo},           {"concert", EffectKind::Reverb},
    {"reverb", EffectKind::Reverb},       {"tremolo", EffectKind::Tremolo},
    {"distort", EffectKind::Distortion},  {"overdrive", EffectKind::Distortion},
    {"lowpass", EffectKind::Lowpass},     {"highpass", EffectKind::Highpass},
    {"bitcrush", EffectKind::Bitcrusher}, {"bitcrusher", EffectKind::Bitcrusher},
    {"flanger", EffectKind::Flanger},     {"chorus", EffectKind::Chorus},
    {"compress", EffectKind::Compressor}, {"compressor", EffectKind::Compressor},
    {"widen", EffectKind::Widener},       {"stereo", EffectKind::Widener},
};

// ProcessEffect converts at most this many samples at a time, on the stack.
constexpr std::size_t kChunkSamples = 1024;

unsigned char FoldCase(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte + 32) : byte;
}

}  // namespace

bool EffectHasItsBuffers(const EffectState& state) {
  switch (state.kind) {
    case EffectKind::Echo:
      return state.echo.line.buffer != nullptr;
    case EffectKind::Reverb:
      return state.reverb.firstCombs[0].buffer != nullptr;
    case EffectKind::Flanger:
      return state.flanger.line.buffer != nullptr;
    case EffectKind::Chorus:
      return state.chorus.line.buffer != nullptr;
    default:
      return true;
  }
}

namespace {

// Whether the effect touches its audio at all.
bool EffectRuns(const EffectState& state) {
  if (state.kind <= EffectKind::None || state.kind > EffectKind::Widener) return false;
  if (state.kind == EffectKind::Widener) return state.channels == 2;
  return EffectHasItsBuffers(state);
}

}  // namespace

std::span<const EffectName> EffectNames() {
  return kEffectNames;
}

bool EffectNameEquals(const char* name, const char* literal) {
  while (*name != '\0') {
    if (*literal == '\0' || FoldCase(*name) != FoldCase(*literal)) return false;
    ++name;
    ++literal;
  }
  return *literal == '\0';
}

EffectKind KindOfName(const char* name) {
  for (const EffectName& entry : kEffectNames) {
    if (EffectNameEquals(name, entry.literal)) return entry.kind;
  }
  return EffectKind::None;
}

void InitEffect(EffectState& state, const char* name, uint32_t channels, uint32_t sampleRate) {
  InitEffect(state, DefaultSettings(FamilyOf(KindOfName(name))), channels, sampleRate);
}

void InitEffect(EffectState& state, const EffectSettings& settings, uint32_t channels,
                uint32_t sampleRate) {
  state.kind = settings.kind;
  state.channels = channels;
  state.sampleRate = sampleRate;
  state.wideFrame = nullptr;
  FamilyOf(settings.kind).init(state, settings.values, channels, sampleRate);
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
  switch (state.kind) {
    case EffectKind::None:
      break;
    case EffectKind::Antique:
      ProcessAntique(state.antique, samples, frames);
      break;
    case EffectKind::Echo:
      ProcessEcho(state.echo, samples, frames);
      break;
    case EffectKind::Reverb:
      ProcessReverb(state.reverb, samples, frames);
      break;
    case EffectKind::Tremolo:
      ProcessTremolo(state.tremolo, samples, frames);
      break;
    case EffectKind::Distortion:
      ProcessDistortion(state.distortion, samples, frames);
      break;
    case EffectKind::Lowpass:
      ProcessLowpass(state.onePole, samples, frames);
      break;
    case EffectKind::Highpass:
      ProcessHighpass(state.onePole, samples, frames);
      break;
    case EffectKind::Bitcrusher:
      ProcessBitcrusher(state.bitcrusher, samples, frames);
      break;
    case EffectKind::Flanger:
      ProcessModDelay(state.flanger, samples, frames);
      break;
    case EffectKind::Chorus:
      ProcessModDelay(state.chorus, samples, frames);
      break;
    case EffectKind::Compressor:
      ProcessCompressor(state.compressor, samples, frames);
      break;
    case EffectKind::Widener:
      ProcessWidener(state.widener, samples, frames);
      break;
  }
}

bool EffectChangesAudio(const EffectState& state) {
  if (state.channels > kChunkSamples && state.wideFrame == nullptr) return false;
  return EffectRuns(state);
}

void ReleaseEffect(EffectState& state) {
  FreeSamples(state.wideFrame);
  switch (state.kind) {
    case EffectKind::Echo:
      ReleaseEcho(state.echo);
      break;
    case EffectKind::Reverb:
      ReleaseReverb(state.reverb);
      break;
    case EffectKind::Flanger:
      ReleaseModDelay(state.flanger);
      break;
    case EffectKind::Chorus:
      ReleaseModDelay(state.chorus);
      break;
    default:
      break;
  }
}

}  // namespace wavfx
