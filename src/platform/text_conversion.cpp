#include "platform/text_conversion.h"

#include <cstdint>

namespace wavfx {
namespace {

bool IsHighSurrogate(char32_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char32_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Decodes the code point at `text` and advances past it; returns U+FFFFFFFF for a lone surrogate.
char32_t NextCodePoint(const char16_t*& text) {
  const char32_t unit = *text++;
  if (IsHighSurrogate(unit)) {
    const char32_t low = *text;
    if (!IsLowSurrogate(low)) return 0xFFFFFFFF;
    ++text;
    return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
  }
  if (IsLowSurrogate(unit)) return 0xFFFFFFFF;
  return unit;
}

int EncodedLength(char32_t point) {
  if (point < 0x80) return 1;
  if (point < 0x800) return 2;
  if (point < 0x10000) return 3;
  return 4;
}

}  // namespace

std::ptrdiff_t Utf8Length(const char16_t* text) {
  std::ptrdiff_t length = 0;
  while (*text != 0) {
    const char32_t point = NextCodePoint(text);
    if (point == 0xFFFFFFFF) return -1;
    length += EncodedLength(point);
  }
  return length;
}

void WriteUtf8(const char16_t* text, char* out) {
  auto put = [&out](char32_t byte) { *out++ = static_cast<char>(byte); };
  while (*text != 0) {
    const char32_t point = NextCodePoint(text);
    switch (EncodedLength(point)) {
      case 1:
        put(point);
        break;
      case 2:
        put(0xC0 | (point >> 6));
        put(0x80 | (point & 0x3F));
        break;
      case 3:
        put(0xE0 | (point >> 12));
        put(0x80 | ((point >> 6) & 0x3F));
        put(0x80 | (point & 0x3F));
        break;
      default:
        put(0xF0 | (point >> 18));
        put(0x80 | ((point >> 12) & 0x3F));
        put(0x80 | ((point >> 6) & 0x3F));
        put(0x80 | (point & 0x3F));
        break;
    }
  }
  *out = '\0';
}

bool Utf8ToUtf16(std::string_view text, std::u16string& out) {
  out.clear();
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<std::uint8_t>(text[i]);
    int extra = 0;
    char32_t point = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
      point = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      extra = 1, point = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2, point = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3, point = lead & 0x07, minimum = 0x10000;
    } else {
      out.clear();
      return false;
    }
    if (text.size() - i <= static_cast<std::size_t>(extra)) {
      out.clear();
      return false;
    }
    for (int k = 1; k <= extra; ++k) {
      const auto next = static_cast<std::uint8_t>(text[i + static_cast<std::size_t>(k)]);
      if ((next & 0xC0) != 0x80) {
        out.clear();
        return false;
      }
      point = (point << 6) | (next & 0x3F);
    }
    if (point < minimum || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
      out.clear();
      return false;
    }
    if (point >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(point));
    }
    i += static_cast<std::size_t>(extra) + 1;
  }
  return true;
}

}  // namespace wavfx
