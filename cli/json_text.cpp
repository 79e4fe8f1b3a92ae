#include "json_text.h"

#include <cstdint>
#include <cstdio>

namespace wavfx::cli {
namespace {

// The length of the valid UTF-8 sequence at the start of `text`, or 0.
std::size_t Utf8Length(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = byte(0);
  std::size_t length = 0;
  uint32_t point = 0;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    point = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    point = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    point = lead & 0x07u;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0u) != 0x80u) return 0;
    point = (point << 6) | (byte(i) & 0x3Fu);
  }
  // Overlong forms, surrogates and points beyond U+10FFFF are not UTF-8.
  const uint32_t least = length == 3 ? 0x800u : length == 4 ? 0x10000u : 0x80u;
  if (point < least || (point >= 0xD800u && point <= 0xDFFFu) || point > 0x10FFFFu) return 0;
  return length;
}

}  // namespace

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (std::size_t at = 0; at < text.size();) {
    const char c = text[at];
    const std::size_t length = Utf8Length(text.substr(at));
    if (length == 0) {
      out += "\xEF\xBF\xBD";
      ++at;
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
      ++at;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
      ++at;
    } else {
      out.append(text.substr(at, length));
      at += length;
    }
  }
  return out + "\"";
}

}  // namespace wavfx::cli
