#pragma once

#include <string>

namespace wavfx {

// Which path a job takes: the strict 16-bit path, exactly WAVEffect's, or the general path over
// libsndfile at the file's native precision; and why, in words for --info.
struct Route {
  bool general = false;
  std::string why;
};

// The strict path takes every input its reader accepts, unless the output asks for another
// container or sample format (a --format or --bits choice, an extension other than .wav);
// standard streams ("-") always take it. Anything else that the general reader can open takes
// the general path; what neither reader takes goes to the strict path, which refuses it.
Route ChooseRoute(const char* input, const char* output, bool otherOutputFormat);

}  // namespace wavfx
