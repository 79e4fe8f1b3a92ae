#include "entry/route.h"

#include <sys/stat.h>

#include <cstdio>
#include <string_view>

#include "formats/sound_file.h"

namespace wavfx {
namespace {

// The strict reader's verdict on a regular file; CannotOpen for anything else.
WavHeader StrictVerdict(const char* path) {
  WavHeader header{};
  header.problem = WavProblem::CannotOpen;
  struct stat info;
  if (stat(path, &info) != 0 || !S_ISREG(info.st_mode)) return header;
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return header;
  header = ParseWavHeader(file, false);
  std::fclose(file);
  return header;
}

}  // namespace

Route ChooseRoute(const char* input, const char* output, bool otherOutputFormat,
                  const WavHeader& strict, bool reshapes) {
  Route route;
  if (std::string_view(input) == "-" || std::string_view(output) == "-") {
    route.why = "standard streams carry 16-bit PCM WAV on the strict path";
    return route;
  }
  if (reshapes) {
    route.general = true;
    route.why = "the chain changes the stream's rate, channels or length";
    return route;
  }
  const bool asksOtherOutput =
      otherOutputFormat || (HasSoundExtension(output) && !HasWavExtension(output));
  if (strict.problem == WavProblem::None && !asksOtherOutput) {
    route.why = "16-bit PCM WAV: the strict path, exactly the library's WAVEffect job";
    return route;
  }
  route.general = true;
  route.why = strict.problem == WavProblem::None
                  ? "the output asks for another container or sample format"
                  : "the strict 16-bit reader refuses it (" +
                        DescribeWavProblem(strict.problem, strict.detail, input) + ")";
  return route;
}

Route ChooseRoute(const char* input, const char* output, bool otherOutputFormat, bool reshapes) {
  const bool standard = std::string_view(input) == "-" || std::string_view(output) == "-";
  return ChooseRoute(input, output, otherOutputFormat,
                     standard ? WavHeader{} : StrictVerdict(input), reshapes);
}

}  // namespace wavfx
