#include "effects/multichorus.h"

#include <algorithm>
#include <charconv>
#include <string_view>

#include "dsp/sox_wave.h"

namespace wavfx {
namespace {

constexpr ParameterSyntax kSyntax[] = {{}, {}, {nullptr, 0, false, true}};
constexpr wavfx_parameter_info kParameters[] = {
    {"gainin", "", 0.7, 0, 1, 0, "gain of the input"},
    {"gainout", "", 0.9, 0, 100, 0, "gain of the sum"},
    {"voices", "", 0, 0, 0, 0,
     "voices by '|', each delay/decay/speed/depth/s|t (ms, 0-1, Hz, ms, sine or triangle)"},
};
constexpr const char* kDefaultVoice = "55/0.4/0.25/2/t";

// Fields are separated by blanks or '/' (a chain's text then needs no quotes).
std::string_view Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t/");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t/") - first + 1);
}

struct Field {
  const char* name;
  float low;
  float high;
};
constexpr Field kFields[] = {
    {"delay", 20.0f, 100.0f}, {"decay", 0.0f, 1.0f}, {"speed", 0.1f, 5.0f}, {"depth", 0.0f, 10.0f}};

bool ParseVoice(std::string_view text, ChorusVoice& voice, std::string& why) {
  float values[4];
  for (std::size_t f = 0; f < 5; ++f) {
    text = Trimmed(text);
    const std::size_t end = std::min(text.find_first_of(" \t/"), text.size());
    const std::string_view word = text.substr(0, end);
    text.remove_prefix(end);
    if (word.empty()) {
      why = "has fewer than 5 fields (delay/decay/speed/depth/s|t)";
      return false;
    }
    if (f == 4) {
      voice.triangle = word == "t" || word == "-t";
      if (voice.triangle || word == "s" || word == "-s") break;
      why = "has shape '" + std::string(word) + "', not s or t";
      return false;
    }
    const Field& field = kFields[f];
    const auto [stop, error] = std::from_chars(word.data(), word.data() + word.size(), values[f]);
    if (error != std::errc{} || stop != word.data() + word.size() ||
        !(values[f] >= field.low && values[f] <= field.high)) {
      why = "has " + std::string(field.name) + " '" + std::string(word) + "', not " +
            FormatNumber(field.low) + " to " + FormatNumber(field.high);
      return false;
    }
  }
  if (!Trimmed(text).empty()) {
    why = "has more than 5 fields";
    return false;
  }
  voice.delayMs = values[0];
  voice.decay = values[1];
  voice.speedHz = values[2];
  voice.depthMs = values[3];
  return true;
}

std::string_view VoicesText(const char* text) {
  const std::string_view whole =
      Trimmed({text, static_cast<std::size_t>(std::find(text, text + kMaxStageText, '\0') - text)});
  return whole.empty() ? std::string_view{kDefaultVoice} : whole;
}

// Frames of `ms` at `rate`, truncated as the delays are; `ms` is at most 110.
uint32_t Frames(float ms, double rate) {
  return static_cast<uint32_t>(static_cast<double>(ms) * rate / 1000.0);
}

// The delay of a voice at its current phase: the wave's value at the phase, from 0 to 1, scaled
// to [low, high] and rounded half away from zero, within the history.
uint32_t VoiceDelay(const ChorusVoice& voice, uint32_t span) {
  const uint32_t point =
      static_cast<uint32_t>((uint64_t{voice.phase} + voice.offset) % voice.length);
  const double wave = SoxWave(voice.triangle, point, voice.length);
  double delay = wave * (voice.high - voice.low) + voice.low;
  delay += delay < 0.0 ? -0.5 : 0.5;
  if (!(delay > 0.0)) return 0;
  return std::min(static_cast<uint32_t>(std::min(delay, 4294967295.0)), span - 1);
}

template <uint32_t kChannels>
void ChorusFrames(MultichorusState& s, float* samples, int32_t frames) {
  const uint32_t channels = kChannels != 0 ? kChannels : s.channels;
  float* const history = s.line.buffer;
  for (int32_t frame = 0; frame < frames; ++frame, samples += channels) {
    const float* reads[kMaxChorusVoices];
    for (uint32_t v = 0; v < s.voiceCount; ++v) {
      ChorusVoice& voice = s.voices[v];
      const uint32_t delay = VoiceDelay(voice, s.span);
      // A delay of 0 reads the slot the input is about to replace: span frames back.
      reads[v] = history +
                 (s.counter >= delay ? s.counter - delay : s.counter + s.span - delay) * channels;
      voice.phase = voice.phase + 1 == voice.length ? 0 : voice.phase + 1;
    }
    float* slot = history + s.counter * channels;
    for (uint32_t c = 0; c < channels; ++c) {
      const float x = samples[c];
      float sum = x * s.gainIn;
      for (uint32_t v = 0; v < s.voiceCount; ++v)
        sum = sum + reads[v][c] * s.voices[v].decay;
      samples[c] = sum * s.gainOut;
      slot[c] = x;
    }
    s.counter = s.counter + 1 == s.span ? 0 : s.counter + 1;
  }
}

void ProcessMultichorus(MultichorusState& s, float* samples, int32_t frames) {
  if (frames <= 0 || s.line.buffer == nullptr) return;
  if (s.channels == 1) {
    ChorusFrames<1>(s, samples, frames);
  } else if (s.channels == 2) {
    ChorusFrames<2>(s, samples, frames);
  } else {
    ChorusFrames<0>(s, samples, frames);
  }
}

void ReleaseMultichorus(MultichorusState& s) {
  ReleaseDelayLine(s.line);
}

void Init(void* state, const StageValues& v, StreamShape in) {
  auto& s = As<MultichorusState>(state);
  std::string problem;
  const double rate = in.sampleRate;
  s.channels = in.channels;
  s.gainIn = Single(v.values[0]);
  s.gainOut = Single(v.values[1]);
  if (!ParseChorusVoices(v.text, s.voices, s.voiceCount, problem)) s.voiceCount = 0;
  s.span = ChorusSpan(s.voices, s.voiceCount, rate);
  if (s.span == 0 || in.channels == 0) return;
  for (uint32_t i = 0; i < s.voiceCount; ++i) {
    ChorusVoice& voice = s.voices[i];
    const auto frames = static_cast<double>(Frames(voice.delayMs + voice.depthMs, rate));
    const auto depth = static_cast<double>(Frames(voice.depthMs, rate));
    const double length = std::min(rate / static_cast<double>(voice.speedHz), 4294967295.0);
    voice.length = std::max(static_cast<uint32_t>(length), 1u);
    voice.low = voice.triangle ? frames - 1.0 - 2.0 * depth : 0.0;
    voice.high = voice.triangle ? frames - 1.0 : depth;
    voice.offset = voice.triangle ? SoxThreeQuarterStart(voice.length) : 0;
  }
  InitDelayLine(s.line, uint64_t{s.span} * in.channels);
}

bool HasLine(const void* state) {
  return As<MultichorusState>(state).line.buffer != nullptr;
}

void Carry(const void* from, void* to, bool sameBuffers) {
  const auto& old = As<MultichorusState>(from);
  auto& fresh = As<MultichorusState>(to);
  for (uint32_t v = 0; v < std::min(old.voiceCount, fresh.voiceCount); ++v)
    fresh.voices[v].phase = old.voices[v].phase % fresh.voices[v].length;
  if (sameBuffers && old.span == fresh.span) fresh.counter = old.counter;
}

bool Check(const StageValues& v, std::string& problem) {
  ChorusVoice voices[kMaxChorusVoices];
  uint32_t count = 0;
  return ParseChorusVoices(v.text, voices, count, problem);
}

bool Fits(const StageValues& v, StreamShape in, std::string& problem) {
  ChorusVoice voices[kMaxChorusVoices];
  uint32_t count = 0;
  if (!ParseChorusVoices(v.text, voices, count, problem)) return false;
  if (ChorusSpan(voices, count, in.sampleRate) > 0) return true;
  problem = "voices are shorter than a frame at " + std::to_string(in.sampleRate) + " Hz";
  return false;
}

}  // namespace

bool ParseChorusVoices(const char* text, ChorusVoice* voices, uint32_t& count,
                       std::string& problem) {
  const std::string_view whole = VoicesText(text);
  count = 0;
  for (std::size_t start = 0;;) {
    const std::size_t bar = whole.find('|', start);
    const std::string_view piece =
        whole.substr(start, bar == std::string_view::npos ? bar : bar - start);
    if (count == kMaxChorusVoices) {
      problem = "voices: at most " + std::to_string(kMaxChorusVoices);
      return false;
    }
    std::string why;
    if (!ParseVoice(piece, voices[count] = ChorusVoice{}, why)) {
      problem =
          "voice " + std::to_string(count + 1) + " '" + std::string(Trimmed(piece)) + "' " + why;
      return false;
    }
    ++count;
    if (bar == std::string_view::npos) return true;
    start = bar + 1;
  }
}

uint32_t ChorusSpan(const ChorusVoice* voices, uint32_t count, double rate) {
  uint32_t span = 0;
  for (uint32_t i = 0; i < count; ++i)
    span = std::max(span, Frames(voices[i].delayMs + voices[i].depthMs, rate));
  return span;
}

const EffectFamily kMultichorusFamily = {
    {"multichorus", nullptr, 0,
     "SoX's chorus: voices of sine- or triangle-swept delays added to the input", kParameters,
     CountOf(kParameters)},
    kSyntax,
    {.stateSize = sizeof(MultichorusState),
     .init = Init,
     .process = ProcessAs<MultichorusState, ProcessMultichorus>,
     .release = ReleaseAs<MultichorusState, ReleaseMultichorus>,
     .changesAudio = HasLine,
     .hasBuffers = HasLine,
     .carry = Carry,
     .check = Check,
     .fits = Fits},
};

}  // namespace wavfx
