#include "entry/spooled_input.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace wavfx {
namespace {

std::string TemporaryDirectory() {
  const char* dir = std::getenv("TMPDIR");
  return dir != nullptr && *dir != '\0' ? dir : "/tmp";
}

// An unnamed file in `dir`: O_TMPFILE where the file system has it, else a named one unlinked at
// once.
int UnnamedFile(const std::string& dir) {
  const int fd = open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
  std::string name = dir + "/.wavfx-spool-XXXXXX";
  const int named = mkostemp(name.data(), O_CLOEXEC);
  if (named >= 0) unlink(name.c_str());
  return named;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t wrote = write(fd, data, size);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    data += wrote;
    size -= static_cast<std::size_t>(wrote);
  }
  return true;
}

}  // namespace

bool SpoolInput(int from, SpooledInput& spooled, std::string& reason) {
  const std::string dir = TemporaryDirectory();
  spooled.descriptor = UnnamedFile(dir);
  if (spooled.descriptor < 0) {
    reason =
        "cannot make a temporary file in " + dir + " to hold the input: " + std::strerror(errno);
    return false;
  }
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const ssize_t got = read(from, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      reason = std::string("cannot read the input: ") + std::strerror(errno);
      return false;
    }
    if (got == 0) break;
    if (!WriteAll(spooled.descriptor, buffer.data(), static_cast<std::size_t>(got))) {
      reason = "cannot hold the input in a temporary file in " + dir + ": " + std::strerror(errno);
      return false;
    }
  }
  spooled.path = "/proc/self/fd/" + std::to_string(spooled.descriptor);
  return true;
}

void CloseSpooledInput(SpooledInput& spooled) {
  if (spooled.descriptor >= 0) close(spooled.descriptor);
  spooled = SpooledInput{};
}

}  // namespace wavfx
