/* wavfx: audio effects for 16-bit PCM WAV files. */
#ifndef WAVFX_WAVFX_H
#define WAVFX_WAVFX_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#else
#include <uchar.h>
#endif

#if defined(_WIN32)
#define WAVFX_API __declspec(dllexport)
#else
#define WAVFX_API __attribute__((visibility("default")))
#endif

/*
 * Reads the 16-bit PCM WAV file `input`, applies the effect named `effect` to every sample and
 * writes the result to `output` as a new WAV file with the same channel count and sample rate.
 *
 * All three arguments are null-terminated UTF-16 strings; paths are converted to UTF-8.
 * Effect names are matched ignoring the case of A-Z: "antique", "echo", "reverb" ("concert"),
 * "tremolo", "distort" ("overdrive"), "lowpass", "highpass", "bitcrush" ("bitcrusher"),
 * "flanger", "chorus", "compress" ("compressor"), "widen" ("stereo"). "none" and any other
 * name copy the audio unchanged.
 *
 * Returns 1 when the job could not start (an argument is missing or longer than 199 bytes,
 * the input cannot be opened or is not a supported WAV file, input and output are the same
 * file, or the output cannot be created); no output file is created then, except in the last
 * case. Returns 999 once both files were open, also when reading or writing failed part-way.
 * Diagnostics are single lines on standard error beginning "Error: ".
 *
 * The call keeps no state between calls and may run on several threads at once on different
 * files.
 */
WAVFX_API int32_t WAVEffect(const char16_t* input, const char16_t* output, const char16_t* effect);

#ifdef __cplusplus
}
#endif

#endif
