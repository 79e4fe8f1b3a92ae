#include "info.h"

#include <sys/stat.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "entry/job_options.h"
#include "entry/stream.h"
#include "exit_status.h"
#include "formats/sound_file.h"
#include "formats/wav_extensible.h"
#include "wav/wav_reader.h"

namespace wavfx::cli {
namespace {

void Field(const char* name, const std::string& value) {
  std::printf("  %-12s %s\n", name, value.c_str());
}

// The reader only says "cut short"; a file's size tells where.
std::string TruncationReason(int64_t fileSize) {
  if (fileSize < 0) return "file ends inside its header";
  if (fileSize < 12) {
    return "file of " + std::to_string(fileSize) + " bytes ends inside its 12-byte RIFF header";
  }
  return "file ends inside its format chunk";
}

std::string Seconds(uint64_t frames, uint32_t sampleRate) {
  if (sampleRate == 0) return "unknown (sample rate 0)";
  char text[64];
  std::snprintf(text, sizeof text, "%.3f s (%" PRIu64 " frames)",
                static_cast<double>(frames) / sampleRate, frames);
  return text;
}

// Prints what the reader saw in an accepted header and what streaming it would do.
void DescribeAccepted(const WavHeader& header, int64_t fileSize) {
  const StreamFormat& format = header.format;
  const uint32_t blockAlign = format.channels * 2;
  const uint32_t byteRate = format.sampleRate * blockAlign;
  Field("channels:", std::to_string(format.channels));
  Field("sample rate:", std::to_string(format.sampleRate) + " Hz");
  Field("bits:", "16");
  // The command line reads a stream of unknown size, piped or saved to a file, to its end.
  const bool sizeUnknown = format.dataSize >= kUnknownDataSize;
  if (sizeUnknown) {
    char declared[16];
    std::snprintf(declared, sizeof declared, "0x%08" PRIX32, format.dataSize);
    Field("data size:", std::string("unknown (declared ") + declared + "), read to the end");
    Field("duration:", "unknown");
  } else {
    Field("data size:", std::to_string(format.dataSize) + " bytes at offset " +
                            std::to_string(header.dataOffset));
    Field("duration:", Seconds(format.dataSize / blockAlign, format.sampleRate));
  }
  if (format.blockAlign != blockAlign || format.byteRate != byteRate) {
    Field("note:", "stored block align " + std::to_string(format.blockAlign) + " and byte rate " +
                       std::to_string(format.byteRate) + " are written as " +
                       std::to_string(blockAlign) + " and " + std::to_string(byteRate));
  }
  if (blockAlign > kBlockBytes) {
    Field("note:", "frames wider than a block (over 1024 channels): nothing would be streamed");
    return;
  }
  if (!sizeUnknown && format.dataSize % blockAlign != 0) {
    Field("note:", "the last " + std::to_string(format.dataSize % blockAlign) +
                       " bytes are not a whole frame and are left out");
  }
  const int64_t present = fileSize - header.dataOffset;
  if (fileSize >= 0 && present < static_cast<int64_t>(format.dataSize)) {
    Field("note:", "the file holds only " + std::to_string(present) +
                       " data bytes: streaming would end with a read failure");
  }
}

// What the general reader sees in a file.
void DescribeGeneral(const char* name, const SoundInfo& sound) {
  Field("container:", sound.container);
  Field("encoding:", sound.encoding + (sound.lossy ? " (lossy; decoded to " : " (decoded to ") +
                         (sound.samples.kind == SampleKind::Int
                              ? std::to_string(sound.samples.bits) + "-bit integers)"
                              : std::string("32-bit floats)")));
  WavExtensible extensible{};
  if (ReadWavExtensible(name, extensible)) {
    char mask[16];
    std::snprintf(mask, sizeof mask, "0x%X", extensible.channelMask);
    Field("extensible:", std::to_string(extensible.validBits) + " valid bits of " +
                             std::to_string(extensible.containerBits) + ", channel mask " + mask);
  }
  Field("channels:", std::to_string(sound.channels));
  Field("sample rate:", std::to_string(sound.sampleRate) + " Hz");
  Field("duration:", sound.frames > 0 ? Seconds(static_cast<uint64_t>(sound.frames),
                                                static_cast<uint32_t>(sound.sampleRate))
                                      : "unknown");
}

// Prints the report of one file; returns whether a reader accepts it.
bool Inspect(const char* name) {
  const bool isStandardInput = std::string_view(name) == "-";
  std::FILE* file = isStandardInput ? stdin : std::fopen(name, "rb");
  const int openError = errno;
  std::printf("%s\n", isStandardInput ? "(standard input)" : name);
  if (file == nullptr) {
    Field("refused:", std::string("cannot open input: ") + std::strerror(openError));
    return false;
  }
  struct stat info;
  const bool statted = fstat(fileno(file), &info) == 0;
  if (statted && S_ISDIR(info.st_mode)) {
    if (!isStandardInput) std::fclose(file);
    Field("refused:", "cannot open input: it is a directory");
    return false;
  }
  const bool piped = !statted || !S_ISREG(info.st_mode) || ftello(file) != 0;
  const int64_t fileSize = piped ? -1 : static_cast<int64_t>(info.st_size);
  const WavHeader header = ParseWavHeader(file, piped);
  if (!isStandardInput) std::fclose(file);
  if (header.problem == WavProblem::None) {
    DescribeAccepted(header, fileSize);
    Field("path:",
          "strict 16-bit path, exactly the library's WAVEffect job (a --format, --bits "
          "or non-WAV output name, or a chain that changes the rate, the channels or the "
          "length, takes the general path)");
    return true;
  }
  const std::string strictReason = RefusalReason(header, name, fileSize);
  std::string reason;
  SoundInfo sound;
  if (!piped && OpenSoundForReading(name, -1, sound, reason) != nullptr) {
    DescribeGeneral(name, sound);
    Field("path:", "general, at native precision: the strict 16-bit reader refuses it (" +
                       strictReason + ")");
    return true;
  }
  Field("refused:", strictReason);
  if (!piped) Field("general:", "refused too: " + reason);
  return false;
}

}  // namespace

std::string RefusalReason(const WavHeader& header, const char* name, int64_t fileSize) {
  std::string reason = header.problem == WavProblem::Truncated
                           ? TruncationReason(fileSize)
                           : DescribeWavProblem(header.problem, header.detail, name);
  if (IsSilentWavProblem(header.problem)) reason += " (refused without a message)";
  return reason;
}

int RunInfo(const std::vector<const char*>& files) {
  bool allAccepted = true;
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (i > 0) std::printf("\n");
    allAccepted &= Inspect(files[i]);
  }
  return allAccepted ? kExitDone : kExitNotStarted;
}

}  // namespace wavfx::cli
