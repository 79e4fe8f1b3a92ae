#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace wavfx {

// Number of bytes in the UTF-8 form of the null-terminated UTF-16 string `text`, or -1 when it
// holds a lone surrogate and so has no UTF-8 form.
std::ptrdiff_t Utf8Length(const char16_t* text);

// Writes the UTF-8 form of `text` and a terminator to `out`, which must hold
// Utf8Length(text) + 1 bytes. `text` must be convertible.
void WriteUtf8(const char16_t* text, char* out);

// UTF-8 to UTF-16. Returns false, leaving `out` empty, when `text` is not valid UTF-8
// (overlong forms, surrogates and code points above U+10FFFF are invalid).
bool Utf8ToUtf16(std::string_view text, std::u16string& out);

}  // namespace wavfx
