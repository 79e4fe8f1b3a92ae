#include "exit_status.h"

namespace wavfx::cli {

int ExitStatusOf(StreamOutcome outcome) {
  switch (outcome) {
    case StreamOutcome::Complete:
      return kExitDone;
    case StreamOutcome::NotStarted:
      return kExitNotStarted;
    case StreamOutcome::ReadFailed:
    case StreamOutcome::WriteFailed:
    case StreamOutcome::FramesTooWide:
      return kExitIncomplete;
  }
  return kExitIncomplete;
}

const char* OutcomeNote(StreamOutcome outcome) {
  if (outcome == StreamOutcome::FramesTooWide) {
    return "frames wider than a block (over 1024 channels), nothing streamed";
  }
  return nullptr;  // the library printed which
}

}  // namespace wavfx::cli
