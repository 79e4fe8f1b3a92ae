#include "entry/arguments.h"

#include "platform/text_conversion.h"

namespace wavfx {

ArgumentProblem NarrowArgument(const char16_t* wide, char (&buffer)[kArgumentBufferSize]) {
  buffer[0] = '\0';
  if (wide == nullptr) return ArgumentProblem::Missing;
  const std::ptrdiff_t length = Utf8Length(wide);
  if (length < 0) return ArgumentProblem::None;
  if (static_cast<std::size_t>(length) >= kArgumentBufferSize) return ArgumentProblem::TooLong;
  WriteUtf8(wide, buffer);
  return ArgumentProblem::None;
}

}  // namespace wavfx
