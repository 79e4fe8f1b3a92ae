// Fuzz target for WAVEffect. The first byte picks the effect: one of the accepted names, or, for
// the last index, a name that is not one. The remaining bytes are the input file.
//
// Besides crashes and sanitizer reports, the target aborts when a call breaks a promise of
// WAVEffect: a status other than 1 or 999, an output file left by a job that never started, an
// output whose header disagrees with its length or holds a partial frame, or a modified input.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/effect.h"
#include "platform/text_conversion.h"
#include "wavfx/wavfx.h"

namespace {

struct Paths {
  std::string dir;
  std::string input;
  std::string output;
};

void RemoveFiles();

// One directory per process, so that parallel fuzzing processes never share files. The paths are
// never destroyed: the exit handler still needs them.
const Paths& WorkPaths() {
  static const Paths& paths = *[] {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/wavfx-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    std::atexit(RemoveFiles);
    return new Paths{pattern, pattern + "/in.wav", pattern + "/out.wav"};
  }();
  return paths;
}

void RemoveFiles() {
  const Paths& paths = WorkPaths();
  unlink(paths.input.c_str());
  unlink(paths.output.c_str());
  rmdir(paths.dir.c_str());
}

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "broken promise: %s\n", what);
    std::abort();
  }
}

bool WriteBytes(const std::string& path, const uint8_t* data, std::size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool ok = std::fwrite(data, 1, size, file) == size;
  return std::fclose(file) == 0 && ok;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::vector<uint8_t> bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return bytes;
  uint8_t chunk[4096];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
    bytes.insert(bytes.end(), chunk, chunk + got);
  }
  std::fclose(file);
  return bytes;
}

uint32_t LE(const std::vector<uint8_t>& bytes, std::size_t at, int width) {
  uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i)
    value = value << 8 | bytes[at + static_cast<std::size_t>(i)];
  return value;
}

std::u16string Wide(const std::string& text) {
  std::u16string wide;
  wavfx::Utf8ToUtf16(text, wide);
  return wide;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const Paths& paths = WorkPaths();
  const auto names = wavfx::EffectNames();
  const std::size_t pick = data[0] % (names.size() + 1);
  const std::string effect = pick < names.size() ? names[pick].literal : "no such effect";

  unlink(paths.output.c_str());
  if (!WriteBytes(paths.input, data + 1, size - 1)) std::abort();
  const std::u16string input = Wide(paths.input);
  const std::u16string output = Wide(paths.output);
  const std::u16string name = Wide(effect);
  const int32_t status = WAVEffect(input.c_str(), output.c_str(), name.c_str());

  Check(status == 1 || status == 999, "status is 1 or 999");
  Check(ReadBytes(paths.input) == std::vector<uint8_t>(data + 1, data + size),
        "the input is never modified");
  struct stat info;
  const bool exists = stat(paths.output.c_str(), &info) == 0;
  if (status == 1) {
    Check(!exists, "a job that never started leaves no output");
    return 0;
  }
  Check(exists, "a started job leaves an output");
  const std::vector<uint8_t> out = ReadBytes(paths.output);
  Check(out.size() >= 44, "the output holds a whole header");
  const uint32_t dataSize = LE(out, 40, 4);
  Check(out.size() - 44 == dataSize, "the header declares the data written");
  Check(LE(out, 4, 4) == dataSize + 36u, "the RIFF size matches the data size");
  const uint32_t channels = LE(out, 22, 2);
  Check(channels > 0 && dataSize % (2 * channels) == 0, "the output holds whole frames");
  return 0;
}
