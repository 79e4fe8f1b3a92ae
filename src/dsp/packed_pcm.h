#pragma once

#include <cstddef>
#include <cstdint>

namespace wavfx {

// How integer samples lie in a file's data: 1 to 4 bytes each, in either byte order; 8-bit
// samples may be stored unsigned, 128 above their value.
struct PackedLayout {
  int bytes;
  bool bigEndian;
  bool unsignedBytes;
  bool operator==(const PackedLayout&) const = default;
};

// The values s of `count` packed samples, sign-extended, and back.
void UnpackInts(const unsigned char* data, int32_t* samples, std::size_t count,
                const PackedLayout& layout);
void PackInts(const int32_t* samples, unsigned char* data, std::size_t count,
              const PackedLayout& layout);

}  // namespace wavfx
