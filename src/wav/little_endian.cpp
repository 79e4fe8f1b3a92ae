#include "wav/little_endian.h"

namespace wavfx {

bool ReadLE16(std::FILE* file, uint16_t& value) {
  unsigned char bytes[2];
  if (std::fread(bytes, 1, 2, file) != 2) return false;
  value = static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
  return true;
}

bool ReadLE32(std::FILE* file, uint32_t& value) {
  unsigned char bytes[4];
  if (std::fread(bytes, 1, 4, file) != 4) return false;
  value = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
          static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
  return true;
}

bool WriteLE16(std::FILE* file, uint16_t value) {
  const unsigned char bytes[2] = {static_cast<unsigned char>(value),
                                  static_cast<unsigned char>(value >> 8)};
  return std::fwrite(bytes, 1, 2, file) == 2;
}

bool WriteLE32(std::FILE* file, uint32_t value) {
  const unsigned char bytes[4] = {
      static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
      static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
  return std::fwrite(bytes, 1, 4, file) == 4;
}

}  // namespace wavfx
