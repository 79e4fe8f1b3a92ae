/*
 * A C host of libwavfx. Applies EFFECT to the WAV file INPUT twice, once with WAVEffect (file to
 * file, writing OUTPUT) and once with the streaming API on the samples held in memory, in
 * blocks of varying size, and checks that both give the same samples.
 *
 * Usage: c_consumer INPUT.wav OUTPUT.wav EFFECT
 */
#include <locale.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <uchar.h>
#include <wavfx/wavfx.h>

typedef struct {
  uint32_t channels;
  uint32_t sample_rate;
  size_t frames;
  int16_t* samples; /* interleaved, host byte order */
} Audio;

static uint32_t Le16(const unsigned char* at) {
  return (uint32_t)at[0] | (uint32_t)at[1] << 8;
}
static uint32_t Le32(const unsigned char* at) {
  return Le16(at) | Le16(at + 2) << 16;
}
static int16_t LeSample(const unsigned char* at) {
  const int32_t value = (int32_t)Le16(at);
  return (int16_t)(value >= 32768 ? value - 65536 : value);
}

/* Reads a 16-bit PCM WAV file into memory. Returns 0 on failure. */
static int ReadWav(const char* path, Audio* audio) {
  FILE* file = fopen(path, "rb");
  if (file == NULL) return 0;
  unsigned char* bytes = NULL;
  size_t size = 0;
  for (;;) {
    unsigned char* grown = realloc(bytes, size + 65536);
    if (grown == NULL) {
      free(bytes);
      fclose(file);
      return 0;
    }
    bytes = grown;
    const size_t got = fread(bytes + size, 1, 65536, file);
    size += got;
    if (got < 65536) break;
  }
  fclose(file);
  int ok = 0;
  const unsigned char* data = NULL;
  size_t data_size = 0;
  memset(audio, 0, sizeof *audio);
  if (bytes != NULL && size >= 12 && memcmp(bytes, "RIFF", 4) == 0 &&
      memcmp(bytes + 8, "WAVE", 4) == 0) {
    for (size_t at = 12; at + 8 <= size;) {
      const size_t body = at + 8;
      const size_t length = Le32(bytes + at + 4);
      const size_t available = length < size - body ? length : size - body;
      if (memcmp(bytes + at, "fmt ", 4) == 0 && available >= 16) {
        ok = Le16(bytes + body) == 1 && Le16(bytes + body + 14) == 16;
        audio->channels = Le16(bytes + body + 2);
        audio->sample_rate = Le32(bytes + body + 4);
      } else if (memcmp(bytes + at, "data", 4) == 0) {
        data = bytes + body;
        data_size = available;
      }
      if (length > size - body) break;
      at = body + length + (length & 1);
    }
  }
  if (ok && data != NULL && audio->channels > 0) {
    audio->frames = data_size / 2 / audio->channels;
    audio->samples = malloc(audio->frames * audio->channels * sizeof(int16_t) + 1); /* never 0 */
    for (size_t i = 0; audio->samples != NULL && i < audio->frames * audio->channels; ++i) {
      audio->samples[i] = LeSample(data + 2 * i);
    }
  }
  free(bytes);
  return ok && audio->samples != NULL;
}

/* Converts a string of the current locale's encoding to UTF-16. Returns 0 on failure. */
static int ToUtf16(const char* text, char16_t* out, size_t capacity) {
  mbstate_t state;
  memset(&state, 0, sizeof state);
  const char* at = text;
  const char* end = text + strlen(text) + 1;
  for (size_t n = 0; n < capacity; ++n) {
    const size_t used = mbrtoc16(&out[n], at, (size_t)(end - at), &state);
    if (used == (size_t)-1 || used == (size_t)-2) return 0;
    if (used == 0) return 1;            /* the terminator */
    if (used != (size_t)-3) at += used; /* -3: the second half of a surrogate pair */
  }
  return 0;
}

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: c_consumer INPUT.wav OUTPUT.wav EFFECT\n");
    return 2;
  }
  setlocale(LC_ALL, "");
  char16_t input[1024], output[1024], effect[64];
  if (!ToUtf16(argv[1], input, 1024) || !ToUtf16(argv[2], output, 1024) ||
      !ToUtf16(argv[3], effect, 64)) {
    fprintf(stderr, "c_consumer: cannot convert the arguments to UTF-16\n");
    return 2;
  }
  if (WAVEffect(input, output, effect) != 999) return 1; /* WAVEffect printed why */

  Audio original, processed;
  if (!ReadWav(argv[1], &original) || !ReadWav(argv[2], &processed)) {
    fprintf(stderr, "c_consumer: cannot read the files back\n");
    return 1;
  }
  wavfx_effect* stream = wavfx_effect_create(argv[3], original.channels, original.sample_rate);
  if (stream == NULL) {
    fprintf(stderr, "c_consumer: no effect '%s' for %u channels at %u Hz\n", argv[3],
            (unsigned)original.channels, (unsigned)original.sample_rate);
    return 1;
  }
  /* Blocks of 1, 2, 4, ... 4096 frames, over and over: the block size does not matter. */
  int32_t block = 1;
  for (size_t done = 0; done < original.frames;) {
    const size_t left = original.frames - done;
    const int32_t frames = left < (size_t)block ? (int32_t)left : block;
    if (wavfx_effect_process(stream, original.samples + done * original.channels, frames) !=
        WAVFX_OK) {
      return 1;
    }
    done += (size_t)frames;
    block = block < 4096 ? block * 2 : 1;
  }
  wavfx_effect_destroy(stream);

  const int same = original.frames == processed.frames &&
                   memcmp(original.samples, processed.samples,
                          original.frames * original.channels * sizeof(int16_t)) == 0;
  printf("c_consumer: wavfx %s (%zu effect names), %s on %zu frames: %s\n", wavfx_version(),
         wavfx_effect_name_count(), argv[3], original.frames,
         same ? "WAVEffect and the stream agree" : "MISMATCH");
  free(original.samples);
  free(processed.samples);
  return same ? 0 : 1;
}
