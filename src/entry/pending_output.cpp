#include "entry/pending_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>

namespace wavfx {
namespace {

// "dir/" for "dir/name", "" for a bare name.
std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

// Follows symbolic links to the name they finally stand for, so that the link is kept and its
// target replaced. A chain that does not end (a loop) is left to fail where it is opened.
std::string FollowLinks(std::string path) {
  for (int hop = 0; hop < 40; ++hop) {
    struct stat info;
    char target[PATH_MAX];
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    const ssize_t length = readlink(path.c_str(), target, sizeof target);
    if (length <= 0 || length == static_cast<ssize_t>(sizeof target)) return path;
    const std::string next(target, static_cast<std::size_t>(length));
    path = next[0] == '/' ? next : DirectoryOf(path) + next;
  }
  return path;
}

// A name part that differs between processes, threads and calls (splitmix64's mixing).
uint64_t NextRandom() {
  static std::atomic<uint64_t> counter{0};
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  uint64_t x = static_cast<uint64_t>(now.tv_sec) * 1000000007u + static_cast<uint64_t>(now.tv_nsec);
  x ^= (static_cast<uint64_t>(getpid()) << 40) ^ (counter.fetch_add(1) * 0x9E3779B97F4A7C15u);
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
  return x ^ (x >> 31);
}

// A new hidden file beside `path`, created as open(2) creates any file; -1 with errno set.
int CreateTemporary(const std::string& path, std::string& temporary) {
  static constexpr char kLetters[] =
      "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  const std::string directory = DirectoryOf(path);
  // The name is cut so that the temporary one stays within NAME_MAX.
  const std::string name = path.substr(directory.size(), 200);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string suffix;
    for (uint64_t bits = NextRandom(); suffix.size() < 8; bits /= 62)
      suffix += kLetters[bits % 62];
    temporary = directory + "." + name + ".wavfx-" + suffix + ".tmp";
    const int descriptor = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor >= 0 || errno != EEXIST) return descriptor;
  }
  return -1;
}

}  // namespace

int CreatePendingOutput(const char* path, PendingOutput& output) {
  output.path = FollowLinks(path);
  output.temporary.clear();
  struct stat existing;
  const bool exists = stat(output.path.c_str(), &existing) == 0;
  const auto inPlace = [&output] {
    output.temporary.clear();
    return open(output.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  };
  // A name without a file name ("", "dir/") fails where it is opened, as it always did.
  const bool unnamed = output.path.empty() || output.path.back() == '/';
  if (unnamed || (exists && !S_ISREG(existing.st_mode))) return inPlace();
  // A file its owner made read-only stays as it is, as it would when written in place.
  if (exists && faccessat(AT_FDCWD, output.path.c_str(), W_OK, AT_EACCESS) != 0) return -1;
  const int descriptor = CreateTemporary(output.path, output.temporary);
  if (descriptor < 0) {
    const int error = errno;
    if (exists) return inPlace();
    errno = error;
    output.temporary.clear();
    return -1;
  }
  if (exists) {
    (void)!fchown(descriptor, existing.st_uid, existing.st_gid);
    (void)!fchmod(descriptor, existing.st_mode & 0777);
  }
  return descriptor;
}

std::FILE* CreatePendingStream(const char* path, PendingOutput& output) {
  const int descriptor = CreatePendingOutput(path, output);
  std::FILE* file = descriptor >= 0 ? fdopen(descriptor, "wb") : nullptr;
  if (file == nullptr && descriptor >= 0) {
    const int error = errno;
    close(descriptor);
    DiscardPendingOutput(output);
    errno = error;
  }
  return file;
}

bool SettlePendingOutput(const PendingOutput& output, StreamOutcome outcome) {
  if (output.temporary.empty()) return true;
  if (outcome == StreamOutcome::NotStarted || outcome == StreamOutcome::WriteFailed) {
    DiscardPendingOutput(output);
    return true;
  }
  if (std::rename(output.temporary.c_str(), output.path.c_str()) == 0) return true;
  const int error = errno;
  DiscardPendingOutput(output);
  errno = error;
  return false;
}

void DiscardPendingOutput(const PendingOutput& output) {
  if (!output.temporary.empty()) unlink(output.temporary.c_str());
}

}  // namespace wavfx
