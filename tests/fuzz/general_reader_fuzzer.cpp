// Fuzz target over the general path through the real libsndfile: any bytes are a file, run
// through a chain to WAV or FLAC. The job never crashes or leaks; a job that completes leaves a
// file libsndfile reads back with the input's channels; one that does not start leaves none.
#include <sndfile.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/chain_text.h"
#include "entry/general_job.h"
#include "require.h"

namespace {

const char* const kChains[] = {"none", "echo=delay=5", "lowpass,reverb", "widen=width=4"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const int in = memfd_create("in", 0);
  Require(in >= 0);
  Require(write(in, data + 1, size - 1) == static_cast<ssize_t>(size - 1));
  const std::string inPath = "/proc/self/fd/" + std::to_string(in);
  const std::string outPath = std::string("/dev/shm/wavfx-fuzz-") + std::to_string(getpid()) +
                              ((data[0] & 4) != 0 ? ".flac" : ".wav");
  wavfx::ChainRecipe recipe;
  wavfx::ChainError error;
  Require(wavfx::ParseChain(kChains[data[0] & 3], recipe, error));
  wavfx::GeneralJob job;
  job.input = inPath.c_str();
  job.output = outPath.c_str();
  job.chain = &recipe;
  // A tail of 0.01 s, unless the header's rate and channels would make it gigabytes (which the
  // job writes, as asked, but slower than a fuzzer's timeout).
  SF_INFO declared{};
  if (SNDFILE* probe = sf_open(inPath.c_str(), SFM_READ, &declared)) sf_close(probe);
  const double tailSamples = 0.01 * declared.samplerate * declared.channels;
  job.tailSeconds = (data[0] & 8) != 0 && tailSamples < 1e7 ? 0.01 : 0;
  unlink(outPath.c_str());
  const wavfx::JobResult result = wavfx::RunGeneralJob(job);
  if (result.outcome == wavfx::StreamOutcome::NotStarted) {
    Require(!result.reason.empty() && access(outPath.c_str(), F_OK) != 0);
  } else if (result.outcome == wavfx::StreamOutcome::Complete) {
    SF_INFO info{};
    SNDFILE* file = sf_open(outPath.c_str(), SFM_READ, &info);
    Require(file != nullptr);
    // FLAC's header says "not known" for no frames.
    const sf_count_t frames = info.frames == SF_COUNT_MAX ? 0 : info.frames;
    Require(static_cast<uint64_t>(frames) == result.frames);
    sf_close(file);
  }
  unlink(outPath.c_str());
  close(in);
  return 0;
}
