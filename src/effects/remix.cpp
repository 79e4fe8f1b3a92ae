#include "effects/remix.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

#include "effects/frame_flow.h"

namespace wavfx {
namespace {

constexpr ParameterSyntax kSyntax[] = {{nullptr, 0, false, true}};
constexpr wavfx_parameter_info kParameters[] = {
    {"map", "", 0, 0, 0, 0, "outputs by '|', terms by '+', a term [weight*]channel; 0: silence"},
};
constexpr uint32_t kMaxChannel = 65535;

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
    text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
    text.remove_suffix(1);
  return text;
}

std::string_view MapText(const char* text) {
  return Trimmed(
      {text, static_cast<std::size_t>(std::find(text, text + kMaxStageText, '\0') - text)});
}

// The text from `start` to `stop` (or the end), trimmed.
std::string_view Piece(std::string_view text, std::size_t start, std::size_t stop) {
  return Trimmed(text.substr(start, stop == std::string_view::npos ? stop : stop - start));
}

template <typename Number>
bool ReadWhole(std::string_view text, Number& value) {
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  return !text.empty() && error == std::errc{} && stop == end;
}

bool ReadTerm(std::string_view term, RemixTerm& read, std::string& why) {
  float weight = 1.0f;
  const std::size_t star = term.find('*');
  if (star != std::string_view::npos) {
    const std::string_view text = Trimmed(term.substr(0, star));
    if (!ReadWhole(text, weight) || !std::isfinite(weight)) {
      why = "has weight '" + std::string(text) + "', not a finite number";
      return false;
    }
    term = Trimmed(term.substr(star + 1));
  }
  uint32_t channel = 0;
  if (!ReadWhole(term, channel) || channel < 1 || channel > kMaxChannel) {
    why = "has '" + std::string(term) + "', not a channel (1 to 65535; 0 alone is a silent output)";
    return false;
  }
  read = {channel - 1, weight};
  return true;
}

// Reads one output's terms into the map after the `count` already read.
bool ReadOutput(std::string_view output, RemixMap& map, uint32_t& count, std::string& why) {
  if (output.empty()) why = "has an empty output";
  if (output == "0" || output.empty()) return why.empty();
  for (std::size_t start = 0;;) {
    const std::size_t plus = output.find('+', start);
    const std::string_view term = Piece(output, start, plus);
    if (term.empty()) why = "has an empty term";
    if (count == kMaxRemixTerms) why = "has more than " + std::to_string(kMaxRemixTerms) + " terms";
    if (!why.empty() || !ReadTerm(term, map.terms[count], why)) return false;
    map.highestChannel = std::max(map.highestChannel, map.terms[count++].channel + 1);
    if (plus == std::string_view::npos) return true;
    start = plus + 1;
  }
}

}  // namespace

bool ParseRemixMap(const char* text, RemixMap& map, std::string& problem) {
  const std::string_view whole = MapText(text);
  map.outputs = 0;
  map.highestChannel = 0;
  if (whole.empty()) return true;
  uint32_t count = 0;
  for (std::size_t start = 0;;) {
    const std::size_t bar = whole.find('|', start);
    std::string why;
    if (map.outputs == kMaxRemixTerms) why = "has too many outputs";
    if (!why.empty() || !ReadOutput(Piece(whole, start, bar), map, count, why)) {
      problem = "map '" + std::string(whole) + "' " + why;
      return false;
    }
    map.ends[map.outputs++] = static_cast<uint16_t>(count);
    if (bar == std::string_view::npos) return true;
    start = bar + 1;
  }
}

namespace {

bool Check(const StageValues& v, std::string& problem) {
  RemixMap map;
  return ParseRemixMap(v.text, map, problem);
}

bool Fits(const StageValues& v, StreamShape in, std::string& problem) {
  RemixMap map;
  if (!ParseRemixMap(v.text, map, problem)) return false;
  if (map.highestChannel <= in.channels) return true;
  problem = "map '" + std::string(MapText(v.text)) + "' names channel " +
            std::to_string(map.highestChannel) + " of a " + std::to_string(in.channels) +
            "-channel stream (1 to " + std::to_string(in.channels) + ")";
  return false;
}

// Whether the map is read and fits the stream; a stage given one that is not keeps the stream.
bool Usable(const char* text, RemixMap& map, StreamShape in) {
  std::string problem;
  return ParseRemixMap(text, map, problem) && map.outputs > 0 && map.highestChannel <= in.channels;
}

StreamShape Shape(const StageValues& v, StreamShape in) {
  RemixMap map;
  if (!Usable(v.text, map, in)) return in;
  return {map.outputs, in.sampleRate};
}

void Init(void* state, const StageValues& v, StreamShape in) {
  RemixState& remix = As<RemixState>(state);
  if (!Usable(v.text, remix.map, in)) remix.map.outputs = 0;
  remix.inChannels = in.channels;
  const RemixMap& map = remix.map;
  remix.copies = true;
  remix.identity = map.outputs == 0 || map.outputs == in.channels;
  for (uint32_t o = 0, first = 0; o < map.outputs; first = map.ends[o++]) {
    const uint32_t terms = map.ends[o] - first;
    remix.copies = remix.copies && (terms == 0 || (terms == 1 && map.terms[first].weight == 1.0f));
    remix.identity = remix.identity && terms == 1 && map.terms[first].channel == o;
  }
  remix.identity = remix.identity && remix.copies;
}

void Flow(void* state, const void* in, std::size_t inFrames, void* out, std::size_t outRoom,
          std::size_t sampleBytes, std::size_t& consumed, std::size_t& produced) {
  const RemixState& remix = As<RemixState>(state);
  const RemixMap& map = remix.map;
  const std::size_t inChannels = remix.inChannels;
  consumed = produced = std::min(inFrames, outRoom);
  if (map.outputs == 0) {
    CopyFrames(out, in, consumed, inChannels, sampleBytes);
    return;
  }
  for (std::size_t f = 0; f < consumed; ++f) {
    for (uint32_t o = 0, first = 0; o < map.outputs; first = map.ends[o++]) {
      const std::size_t slot = f * map.outputs + o;
      const RemixTerm* term = map.terms + first;
      const RemixTerm* end = map.terms + map.ends[o];
      if (remix.copies) {
        unsigned char* to = static_cast<unsigned char*>(out) + slot * sampleBytes;
        if (term == end)
          std::memset(to, 0, sampleBytes);
        else
          std::memcpy(to, FrameAt(in, f, inChannels, sampleBytes) + term->channel * sampleBytes,
                      sampleBytes);
        continue;
      }
      const float* x = static_cast<const float*>(in) + f * inChannels;
      float sum = 0.0f;
      if (term != end) sum = term->weight * x[term->channel];
      for (++term; term < end; ++term)
        sum = sum + term->weight * x[term->channel];
      static_cast<float*>(out)[slot] = sum;
    }
  }
}

bool CopiesOnly(const void* state) {
  return As<RemixState>(state).copies;
}

bool ChangesAudio(const void* state) {
  return !As<RemixState>(state).identity;
}

}  // namespace

const EffectFamily kRemixFamily = {
    {"remix", nullptr, 0, "each output channel a weighted sum of input channels", kParameters,
     CountOf(kParameters)},
    kSyntax,
    {.stateSize = sizeof(RemixState),
     .init = Init,
     .changesAudio = ChangesAudio,
     .shape = Shape,
     .flow = Flow,
     .drain = NothingHeld,
     .latency = NoLatency,
     .copiesOnly = CopiesOnly,
     .check = Check,
     .fits = Fits},
};

}  // namespace wavfx
