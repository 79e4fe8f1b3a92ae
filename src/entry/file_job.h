#pragma once

#include <string>

#include "engine/chain_text.h"
#include "entry/general_job.h"

namespace wavfx {

// One file to one file through a chain, on the path ChooseRoute picks, as the command line's
// batch runs each of its files.
struct FileJob {
  const char* input = nullptr;
  const char* output = nullptr;
  const ChainRecipe* chain = nullptr;
  std::string format;  // empty: from the output's extension
  std::string bits;    // empty: the input's samples
  double tailSeconds = 0;
};

// Runs the job and prints nothing: the strict path's diagnostic lines come back in `reason`,
// joined by "; " and without "Error: ". A job that did not start leaves no output file.
JobResult RunFileJob(const FileJob& job);

}  // namespace wavfx
