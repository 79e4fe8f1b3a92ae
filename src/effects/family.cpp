#include "effects/family.h"

#include <charconv>

namespace wavfx {

std::string FormatNumber(double value) {
  char text[400];  // fixed notation: up to 309 digits before the point for the largest doubles
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
  return std::string(text, result.ptr);
}

}  // namespace wavfx
