#include "engine/effect.h"

#include <algorithm>
#include <bit>
#include <cstddef>

#include "dsp/sample_buffer.h"
#include "dsp/sample_conversion.h"

namespace wavfx {
namespace {

constexpr EffectName kEffectNames[] = {
    {"none", EffectKind::None, "copies the audio unchanged"},
    {"antique", EffectKind::Antique, "old record: 4 kHz lowpass, faint noise, 8-bit grain"},
    {"echo", EffectKind::Echo, "repeats every 350 ms, each repeat 0.45 of the last"},
    {"concert", EffectKind::Reverb, "concert-hall reverberation from four combs in series"},
    {"reverb", EffectKind::Reverb, "concert-hall reverberation from four combs in series"},
    {"tremolo", EffectKind::Tremolo, "5 Hz volume swing between 0.65 and 1.35"},
    {"distort", EffectKind::Distortion, "overdrive: 2.5x drive into a cubic soft clip"},
    {"overdrive", EffectKind::Distortion, "overdrive: 2.5x drive into a cubic soft clip"},
    {"lowpass", EffectKind::Lowpass, "one-pole lowpass at 3000 Hz"},
    {"highpass", EffectKind::Highpass, "one-pole highpass at 300 Hz"},
    {"bitcrush", EffectKind::Bitcrusher, "8-bit quantisation"},
    {"bitcrusher", EffectKind::Bitcrusher, "8-bit quantisation"},
    {"flanger", EffectKind::Flanger, "0.3-5 ms delay swept every 4 s, strong feedback"},
    {"chorus", EffectKind::Chorus, "10-25 ms delay swept every 3.3 s, light feedback"},
    {"compress", EffectKind::Compressor, "4:1 peak compressor above -12 dBFS"},
    {"compressor", EffectKind::Compressor, "4:1 peak compressor above -12 dBFS"},
    {"widen", EffectKind::Widener, "stereo widener: side signal times 1.5"},
    {"stereo", EffectKind::Widener, "stereo widener: side signal times 1.5"},
};

// ProcessEffect converts at most this many samples at a time, on the stack.
constexpr std::size_t kChunkSamples = 1024;

unsigned char FoldCase(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte + 32) : byte;
}

// Whether the effect touches its audio at all.
bool EffectRuns(const EffectState& state) {
  switch (state.kind) {
    case EffectKind::None:
      return false;
    case EffectKind::Echo:
      return state.echo.line.buffer != nullptr;
    case EffectKind::Reverb:
      return state.reverb.firstCombs[0].buffer != nullptr;
    case EffectKind::Flanger:
      return state.flanger.line.buffer != nullptr;
    case EffectKind::Chorus:
      return state.chorus.line.buffer != nullptr;
    case EffectKind::Widener:
      return state.channels == 2;
    case EffectKind::Antique:
    case EffectKind::Tremolo:
    case EffectKind::Distortion:
    case EffectKind::Lowpass:
    case EffectKind::Highpass:
    case EffectKind::Bitcrusher:
    case EffectKind::Compressor:
      return true;
  }
  return false;  // not a kind: nothing runs
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

void InitEffect(EffectState& state, const char* name, uint32_t channels, uint32_t sampleRate) {
  state.channels = channels;
  state.sampleRate = sampleRate;
  state.wideFrame = nullptr;
  state.kind = EffectKind::None;
  for (const EffectName& entry : kEffectNames) {
    if (EffectNameEquals(name, entry.literal)) {
      state.kind = entry.kind;
      break;
    }
  }
  // The oscillators, the reverb and the compressor take the rate as a signed value.
  const auto signedRate = static_cast<int32_t>(sampleRate);
  switch (state.kind) {
    case EffectKind::None:
      break;
    case EffectKind::Antique:
      InitAntique(state.antique, sampleRate, channels, 4000.0f, 0.002f, 8, 0.9f);
      break;
    case EffectKind::Echo:
      // One ulp above the double nearest 0.35: 44100 Hz gives 15435 frames, not 15434.
      InitEcho(state.echo, sampleRate, channels, std::bit_cast<double>(0x3FD6666666666667ull),
               0.45f, 0.5f, 0.7f);
      break;
    case EffectKind::Reverb:
      InitReverb(state.reverb, signedRate, channels, 0.42f, 0.7f, 1.0, 1.0f);
      break;
    case EffectKind::Tremolo:
      InitTremolo(state.tremolo, signedRate, 5.0f, 0.7f, channels);
      break;
    case EffectKind::Distortion:
      InitDistortion(state.distortion, 2.5f, channels, 0.7f);
      break;
    case EffectKind::Lowpass:
      InitOnePole(state.onePole, sampleRate, 3000.0f, channels);
      break;
    case EffectKind::Highpass:
      InitOnePole(state.onePole, sampleRate, 300.0f, channels);
      break;
    case EffectKind::Bitcrusher:
      InitBitcrusher(state.bitcrusher, 8, channels);
      break;
    case EffectKind::Flanger:
      InitModDelay(state.flanger, signedRate, channels, 0.3f, 5.0f, 0.25f, 0.6f, 0.7f, 0.3f);
      break;
    case EffectKind::Chorus:
      InitModDelay(state.chorus, signedRate, channels, 10.0f, 25.0f, 0.3f, 0.5f, 0.7f, 0.1f);
      break;
    case EffectKind::Compressor:
      InitCompressor(state.compressor, signedRate, -12.0f, 4.0f, 10.0f, 100.0f, channels);
      break;
    case EffectKind::Widener:
      InitWidener(state.widener, 1.5f, channels);
      break;
  }
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
