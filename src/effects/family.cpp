#include "effects/family.h"

#include <algorithm>
#include <charconv>

namespace wavfx {

std::string FormatNumber(double value) {
  char text[400];  // fixed notation: up to 309 digits before the point for the largest doubles
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
  return std::string(text, result.ptr);
}

const char* StageText(const StageValues& values, std::size_t n) {
  const char* text = values.text;
  const char* const end = values.text + kMaxStageText;
  for (; n > 0 && text < end; --n)
    text = std::find(text, end, '\0') + 1;
  return text < end ? text : "";
}

}  // namespace wavfx
