#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace wavfx::testing {

// SHA-256 of a byte string, as 64 lower-case hex digits.
struct Sha256 {
  uint32_t state[8];
  uint8_t pending[64];
  std::size_t pendingBytes;
  uint64_t totalBytes;
};

void Sha256Init(Sha256& hash);
void Sha256Update(Sha256& hash, const void* data, std::size_t size);
std::string Sha256Hex(Sha256& hash);

}  // namespace wavfx::testing
