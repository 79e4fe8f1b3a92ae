/* wavfx: audio effects for 16-bit PCM WAV files and in-memory sample streams. */
#ifndef WAVFX_WAVFX_H
#define WAVFX_WAVFX_H

#include <stddef.h>
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

/* The streaming functions never throw. */
#ifdef __cplusplus
#define WAVFX_NOEXCEPT noexcept
#else
#define WAVFX_NOEXCEPT
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

/* The library's version, "MAJOR.MINOR.PATCH". */
WAVFX_API const char* wavfx_version(void) WAVFX_NOEXCEPT;

/*
 * Streaming: the effects of WAVEffect for audio held in memory. An effect instance carries its
 * state (filter memories, delay lines, oscillator phases) from one block to the next, so a
 * stream cut into blocks of any sizes gives the same samples as one pass over the whole, and the
 * same samples as WAVEffect on a file holding that audio. Nothing is printed. Instances are
 * independent: different instances may be used on different threads at once; one instance must
 * not be used by two threads at the same time.
 */
typedef struct wavfx_effect wavfx_effect;

/* Results of wavfx_effect_process. */
#define WAVFX_OK 0
#define WAVFX_ERROR_NULL_EFFECT (-1)     /* the effect handle is NULL */
#define WAVFX_ERROR_NEGATIVE_FRAMES (-2) /* frames is below 0 */
#define WAVFX_ERROR_NULL_SAMPLES (-3)    /* samples is NULL while frames is above 0 */
#define WAVFX_ERROR_PARTIAL_FRAME (-4)   /* C++ wrapper: a span that does not hold whole frames */

/*
 * Creates an instance of the effect called `name` (one of the names listed below, matched
 * ignoring the case of A-Z; "none" passes the audio through unchanged) for a stream of
 * `channels` interleaved channels at `sample_rate` frames per second.
 *
 * Returns NULL, printing nothing, when `name` is NULL or not an effect name (unlike WAVEffect,
 * an unknown name is not taken as "none"), when `channels` or `sample_rate` is 0, or when the
 * memory for the effect's delay lines cannot be allocated (or one would exceed 1 GiB, as absurd
 * sample rates ask). Release the instance with wavfx_effect_destroy.
 */
WAVFX_API wavfx_effect* wavfx_effect_create(const char* name, uint32_t channels,
                                            uint32_t sample_rate) WAVFX_NOEXCEPT;

/*
 * Applies the effect in place to `frames` frames of interleaved signed 16-bit samples in host
 * byte order (frames * channels samples), continuing the stream where the previous call ended.
 * Any number of frames may be passed per call, 0 included.
 *
 * Returns WAVFX_OK, or, leaving the samples and the effect's state untouched,
 * WAVFX_ERROR_NULL_EFFECT, WAVFX_ERROR_NEGATIVE_FRAMES or WAVFX_ERROR_NULL_SAMPLES (checked in
 * that order). `samples` may be NULL when `frames` is 0.
 */
WAVFX_API int32_t wavfx_effect_process(wavfx_effect* effect, int16_t* samples,
                                       int32_t frames) WAVFX_NOEXCEPT;

/* Frees the instance and everything it holds. NULL is accepted and ignored. */
WAVFX_API void wavfx_effect_destroy(wavfx_effect* effect) WAVFX_NOEXCEPT;

/*
 * The accepted effect names, indexed from 0 to wavfx_effect_name_count() - 1 in a fixed order.
 * Aliases immediately follow the name they stand for and select the same effect.
 */
WAVFX_API size_t wavfx_effect_name_count(void) WAVFX_NOEXCEPT;

/* The name at `index` in lower case, or NULL when `index` is out of range. */
WAVFX_API const char* wavfx_effect_name(size_t index) WAVFX_NOEXCEPT;

/* A one-line description of the effect at `index`, or NULL when `index` is out of range. */
WAVFX_API const char* wavfx_effect_name_description(size_t index) WAVFX_NOEXCEPT;

/* 1 when the name at `index` is an alias of the name before it, 0 otherwise or out of range. */
WAVFX_API int wavfx_effect_name_is_alias(size_t index) WAVFX_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif
