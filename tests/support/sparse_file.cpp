#include "support/sparse_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace wavfx::testing {

void WriteSparse(const std::filesystem::path& path,
                 const std::vector<std::pair<int64_t, Bytes>>& pieces) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  for (const auto& [offset, bytes] : pieces) {
    ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)),
              static_cast<ssize_t>(bytes.size()));
  }
  ::close(fd);
}

}  // namespace wavfx::testing
