#pragma once

#include <cstddef>

namespace wavfx {

constexpr std::size_t kArgumentBufferSize = 200;

enum class ArgumentProblem { None, Missing, TooLong };

// Converts a UTF-16 argument to UTF-8 into `buffer`. A string holding a lone surrogate cannot be
// converted and becomes the empty string. Refuses a null pointer and a conversion longer than
// 199 bytes, leaving `buffer` empty.
ArgumentProblem NarrowArgument(const char16_t* wide, char (&buffer)[kArgumentBufferSize]);

}  // namespace wavfx
