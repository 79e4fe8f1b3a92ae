// The general path of a build without libsndfile: every file goes to the strict reader.
#include "entry/general_job.h"
#include "entry/measure_file.h"
#include "formats/sound_file.h"

namespace wavfx {

namespace {
constexpr const char* kMissing = "this build of wavfx has no general reader (libsndfile)";
}

void SoundFileCloser::operator()(SNDFILE*) const {}

SoundFile OpenSoundForReading(const char*, int, SoundInfo& info, std::string& reason) {
  info = SoundInfo{};
  reason = kMissing;
  return nullptr;
}

bool ChooseOutput(const char*, const std::string&, const std::string&, const SoundInfo&,
                  OutputChoice&, std::string& reason) {
  reason = kMissing;
  return false;
}

bool HasSoundExtension(const char*) {
  return false;
}

bool HasWavExtension(const char*) {
  return false;
}

void CopyMetadata(SNDFILE*, SNDFILE*) {}

std::string DescribeEncoding(int) {
  return "unknown encoding";
}

std::string DescribeContainer(int) {
  return "unknown container";
}

bool MeasureSoundFile(const char*, int, SoundInfo& info, Meter&, std::string& reason) {
  info = SoundInfo{};
  reason = kMissing;
  return false;
}

bool MeasureChainInputs(const std::string&, ChainRecipe&, std::string&, std::string& reason) {
  reason = kMissing;
  return false;
}

InputPass FilePass(const std::string&) {
  return [](const FrameSink&, std::string& reason) {
    reason = kMissing;
    return false;
  };
}

JobResult RunGeneralJob(const GeneralJob&) {
  JobResult result;
  result.reason = kMissing;
  return result;
}

}  // namespace wavfx
