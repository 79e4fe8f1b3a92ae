#pragma once

#include <string>

#include "wav/wav_reader.h"

namespace wavfx {

// Which path a job takes: the strict 16-bit path, exactly WAVEffect's, or the general path over
// libsndfile at the file's native precision; and why, in words for --info.
struct Route {
  bool general = false;
  std::string why;
};

// The strict path takes every input its reader accepts (`strict` is its verdict), unless the
// output asks for another container or sample format (a --format or --bits choice, an extension
// other than .wav); standard streams ("-") always take it. Everything else goes to the general
// path, and so does every file job whose chain reshapes the stream; an input that the general
// reader cannot open either goes back to the strict path, which refuses it with its own message.
Route ChooseRoute(const char* input, const char* output, bool otherOutputFormat,
                  const WavHeader& strict, bool reshapes = false);

// The same, reading the strict reader's verdict from the file.
Route ChooseRoute(const char* input, const char* output, bool otherOutputFormat,
                  bool reshapes = false);

}  // namespace wavfx
