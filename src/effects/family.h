#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>

#include "wavfx/wavfx.h"

namespace wavfx {

// The most parameters one effect family has.
constexpr std::size_t kMaxParameters = 9;

// The most text a stage's text parameters take (remix's map), terminators included.
constexpr std::size_t kMaxStageText = 256;

// One configured stage: a value for each of the family's parameters, in its order, and the texts
// of its parameters that are text, in their order, each ended by a NUL (StageText reads one).
// `samples` marks time parameters given as a sample count (a trailing 's') rather than in
// seconds.
struct StageValues {
  double values[kMaxParameters];
  uint32_t samples;  // bit i: values[i] counts frames
  char text[kMaxStageText];
};

// The stream a stage receives or produces.
struct StreamShape {
  uint32_t channels;
  uint32_t sampleRate;
};

// Another name for a parameter, with a number on its own scale: `value` turns it into the
// parameter's value (outside the parameter's range when the number is outside the alias's).
struct ParameterAlias {
  const char* name;
  double (*value)(double given);
};

// How a parameter is written in a chain's text beyond a plain number: one of a list of names
// (the value is the name's index, which may also be written as a number), a time (seconds, or
// frames with a trailing 's'), or text that the family reads itself; and its aliases.
struct ParameterSyntax {
  const char* const* choices = nullptr;  // names of the values 0, 1, ...; null when not a choice
  std::size_t choiceCount = 0;
  bool time = false;
  bool text = false;
  const ParameterAlias* aliases = nullptr;
  std::size_t aliasCount = 0;
};

// What one family does, as operations on its own state record of `stateSize` bytes. The engine
// zero-fills the record before `init`; null operations mean: nothing to release, always changes
// its audio, always has its buffers, nothing runs on between settings, no 16-bit path.
struct FamilyOps {
  std::size_t stateSize = 0;
  // Sets the stage up for its values and the stream it receives. Buffers come from
  // AllocateSamples; a stage whose buffers could not be had reports so through hasBuffers.
  void (*init)(void* state, const StageValues& values, StreamShape in) = nullptr;
  // In place, for families that keep the stream's shape; for a reshaping family, only once
  // `knowLength` has accepted.
  void (*process)(void* state, float* samples, int32_t frames) = nullptr;
  void (*release)(void* state) = nullptr;
  bool (*changesAudio)(const void* state) = nullptr;
  bool (*hasBuffers)(const void* state) = nullptr;
  // A plugin's control change: `to` is a fresh state for the new values and takes what runs on
  // from `from` (memories, phases, envelopes; delay contents when `sameBuffers`, the new state's
  // buffers lying where the old state's lay).
  void (*carry)(const void* from, void* to, bool sameBuffers) = nullptr;
  // 16-bit samples in place, with exactly the bits of converting, processing and
  // converting back; false, having done nothing, when it cannot.
  bool (*processSamples)(void* state, int16_t* samples, int32_t frames) = nullptr;
  // Reshaping families: the stream they produce, and how they move frames. `flow` takes up to
  // `inFrames` frames and writes up to `outRoom`, reporting what it consumed and produced;
  // `drain` writes what it still holds after the last input and returns the frames written,
  // 0 once it is empty. Samples are `sampleBytes` wide: 4 (floats) unless `copiesOnly`.
  StreamShape (*shape)(const StageValues& values, StreamShape in) = nullptr;
  void (*flow)(void* state, const void* in, std::size_t inFrames, void* out, std::size_t outRoom,
               std::size_t sampleBytes, std::size_t& consumed, std::size_t& produced) = nullptr;
  std::size_t (*drain)(void* state, void* out, std::size_t outRoom,
                       std::size_t sampleBytes) = nullptr;
  // Output frames a reshaping stage holds back until more input arrives.
  uint64_t (*latency)(const void* state) = nullptr;
  // Reshaping families: true once further input can change nothing of the output (a trim past
  // its kept part): the stage drops whatever comes, and the chain stops running the stages
  // before it and asks for no more input. What the stage holds still comes out through `drain`.
  bool (*finished)(const void* state) = nullptr;
  // Reshaping families that keep the stream's shape and hold frames back only until its end is
  // known: told, before the first input, that the stream has exactly `frames` frames, the stage
  // may take them in place through `process` instead of `flow` and `drain` (true), with the same
  // output.
  bool (*knowLength)(void* state, uint64_t frames) = nullptr;
  // True when the stage only selects, moves or copies samples: then it may run on samples of any
  // width, which it leaves exactly as stored.
  bool (*copiesOnly)(const void* state) = nullptr;
  // Settings that contradict each other: false with the reason (after the stage's name).
  bool (*check)(const StageValues& values, std::string& problem) = nullptr;
  // Settings that do not fit the stream the stage receives (a channel it does not have, a rate
  // it cannot reach): false with the reason. Asked before any output exists.
  bool (*fits)(const StageValues& values, StreamShape in, std::string& problem) = nullptr;
  // Stages that quantise for an integer output: told, before init, the depth the stream will be
  // written at (32 for floats), they take it where their settings leave the depth to the output.
  void (*followOutput)(StageValues& values, int bits) = nullptr;
  // In-place families whose output lags their input (a look-ahead): the frames of the lag. A
  // chain runs such a stage through FlowChain, which drops its first `delay` output frames and
  // feeds it `delay` frames of silence after the last input, so that output frame i stands for
  // input frame i and the length is kept; a plugin runs it in place and reports the lag.
  uint64_t (*delay)(const void* state) = nullptr;
};

// What is measured of a stream before a stage that needs it runs: integrated loudness (LUFS),
// true and sample peaks (dBTP, dBFS) and loudness range (LU); -inf for silence.
struct StreamMeasurement {
  double integrated;
  double truePeak;
  double samplePeak;
  double range;
};

// Families that act on the whole stream (normalisation) read a measurement of their input from
// their parameters; until those are given, the stage needs its input measured in a pass of its
// own first.
struct MeasuringOps {
  bool (*needsMeasurement)(const StageValues& values) = nullptr;
  void (*takeMeasurement)(StageValues& values, const StreamMeasurement& measurement) = nullptr;
  // Given the measurement of the stage's own output, settles its values closer to their aim;
  // true when they changed and the output should be measured again.
  bool (*refine)(StageValues& values, const StreamMeasurement& output) = nullptr;
  // True when the stage uses nothing of its measurement but the sample peak.
  bool (*usesOnlySamplePeak)(const StageValues& values) = nullptr;
  // What the stage will do with its measurement, in a few words.
  std::string (*plan)(const StageValues& values) = nullptr;
  // Stages whose output is their input times one gain: the measurement that output will have,
  // and true. False when only measuring the output tells; `refine` then settles on it.
  bool (*promise)(const StageValues& values, const StreamMeasurement& input,
                  StreamMeasurement& output) = nullptr;
};

// One row of the registry: what the outside world sees of a family (names, description,
// parameters), how its parameters are written, and its operations.
struct EffectFamily {
  wavfx_effect_info info;
  const ParameterSyntax* syntax;  // one per parameter; null when all are plain numbers
  FamilyOps ops;
  bool aliasesFirst = false;  // the name list puts the aliases before the name (WAVEffect's order)
  MeasuringOps measuring = {};
};

// Adapters from a family's typed functions to the operations above.
template <class State, void (*Process)(State&, float*, int32_t)>
void ProcessAs(void* state, float* samples, int32_t frames) {
  Process(*static_cast<State*>(state), samples, frames);
}
template <class State, void (*Release)(State&)>
void ReleaseAs(void* state) {
  Release(*static_cast<State*>(state));
}
template <class State, bool (*Samples)(State&, int16_t*, int32_t)>
bool SamplesAs(void* state, int16_t* samples, int32_t frames) {
  return Samples(*static_cast<State*>(state), samples, frames);
}
template <class State>
State& As(void* state) {
  return *static_cast<State*>(state);
}
template <class State>
const State& As(const void* state) {
  return *static_cast<const State*>(state);
}

// The n-th text parameter's text (0 for the first); empty when not given.
const char* StageText(const StageValues& values, std::size_t n);

// Parameters that stand for a value a family's initialisation takes in single precision.
inline float Single(double value) {
  return static_cast<float>(value);
}

// The shortest decimal text that reads back as `value`.
std::string FormatNumber(double value);

template <std::size_t N>
constexpr std::size_t CountOf(const wavfx_parameter_info (&)[N]) {
  return N;
}

}  // namespace wavfx
