// wavfx: applies one effect to a 16-bit PCM WAV file.
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "engine/effect.h"
#include "entry/apply_effect.h"
#include "platform/text_conversion.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitNotStarted = 1;
constexpr int kExitIncomplete = 2;

void PrintUsage(std::FILE* to) {
  std::fprintf(to,
               "Usage: wavfx INPUT OUTPUT EFFECT\n"
               "       wavfx --list | --help | --version\n"
               "\n"
               "Reads the 16-bit PCM WAV file INPUT, applies EFFECT and writes OUTPUT.\n"
               "Effect names ignore case; 'none' and unknown names copy the audio.\n"
               "\n"
               "Exit status: 0 all audio streamed, 1 nothing done (bad argument or file),\n"
               "2 audio left unstreamed (read or write failure, frames too wide).\n");
}

void PrintEffects() {
  const auto names = wavfx::EffectNames();
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0 && names[i].kind == names[i - 1].kind) continue;  // aliases follow their first name
    std::string line = names[i].literal;
    for (std::size_t j = i + 1; j < names.size() && names[j].kind == names[i].kind; ++j) {
      line += std::string(", ") + names[j].literal;
    }
    std::printf("%-22s %s\n", line.c_str(), names[i].description);
  }
}

int RunOne(const char* input, const char* output, const char* effect) {
  std::u16string wide[3];
  const char* narrow[3] = {input, output, effect};
  for (int i = 0; i < 3; ++i) {
    if (!wavfx::Utf8ToUtf16(narrow[i], wide[i])) {
      std::fprintf(stderr, "Error: argument is not valid UTF-8\n");
      return kExitNotStarted;
    }
  }
  switch (wavfx::ApplyEffect(wide[0].c_str(), wide[1].c_str(), wide[2].c_str())) {
    case wavfx::StreamOutcome::Complete:
      return kExitDone;
    case wavfx::StreamOutcome::NotStarted:
      return kExitNotStarted;
    case wavfx::StreamOutcome::FramesTooWide:
      std::fprintf(stderr, "Error: frames wider than a block (over 1024 channels), nothing streamed\n");
      return kExitIncomplete;
    case wavfx::StreamOutcome::ReadFailed:
    case wavfx::StreamOutcome::WriteFailed:
      return kExitIncomplete;  // the library printed which
  }
  return kExitIncomplete;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2) {
    const std::string_view option = argv[1];
    if (option == "--help" || option == "-h") {
      PrintUsage(stdout);
      return kExitDone;
    }
    if (option == "--version") {
      std::printf("wavfx %s\n", WAVFX_VERSION);
      return kExitDone;
    }
    if (option == "--list") {
      PrintEffects();
      return kExitDone;
    }
  }
  if (argc != 4) {
    PrintUsage(stderr);
    return kExitNotStarted;
  }
  return RunOne(argv[1], argv[2], argv[3]);
}
