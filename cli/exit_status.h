#pragma once

#include "entry/apply_effect.h"

namespace wavfx::cli {

constexpr int kExitDone = 0;        // all the audio was streamed
constexpr int kExitNotStarted = 1;  // nothing was done: a bad argument or file
constexpr int kExitIncomplete = 2;  // audio was left unstreamed

int ExitStatusOf(StreamOutcome outcome);

// The diagnostic the command adds to the library's for `outcome` (without "Error: "), or null.
const char* OutcomeNote(StreamOutcome outcome);

}  // namespace wavfx::cli
