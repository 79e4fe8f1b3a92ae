#include "entry/apply_effect.h"
#include "wavfx/wavfx.h"

extern "C" WAVFX_API int32_t WAVEffect(const char16_t* input, const char16_t* output,
                                       const char16_t* effect) {
  return wavfx::StatusOf(wavfx::ApplyEffect(input, output, effect));
}
