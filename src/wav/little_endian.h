#pragma once

#include <cstdint>
#include <cstdio>

namespace wavfx {

// Each reads or writes its bytes in one request, least significant byte first, and reports
// whether all of them were transferred. A failed read leaves `value` untouched.
bool ReadLE16(std::FILE* file, uint16_t& value);
bool ReadLE32(std::FILE* file, uint32_t& value);
bool WriteLE16(std::FILE* file, uint16_t value);
bool WriteLE32(std::FILE* file, uint32_t value);

}  // namespace wavfx
