/* A C11 host: converts its narrow arguments to UTF-16 and calls WAVEffect. */
#include <stdio.h>
#include <string.h>
#include <wavfx/wavfx.h>

static void Widen(const char* text, char16_t* out, size_t capacity) {
  size_t i = 0;
  for (; text[i] != '\0' && i + 1 < capacity; ++i)
    out[i] = (char16_t)(unsigned char)text[i];
  out[i] = 0;
}

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  char16_t input[256], output[256], effect[16];
  Widen(argv[1], input, 256);
  Widen(argv[2], output, 256);
  Widen("echo", effect, 16);
  const int32_t status = WAVEffect(input, output, effect);
  printf("WAVEffect returned %d\n", (int)status);
  return status == 999 ? 0 : 1;
}
