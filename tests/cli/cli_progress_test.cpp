// The progress bar, on a terminal only.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "cli/cli_support.h"

namespace wavfx {
namespace {

struct TerminalRun {
  int exitCode = -1;
  std::string terminal;  // what the command wrote to its standard error
};

// Runs wavfx with standard error on a terminal, feeding `input` slowly through a pipe over
// about a second, so that a bar has time to appear.
TerminalRun RunOnTerminal(std::vector<std::string> args, const testing::Bytes& input) {
  TerminalRun run;
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return run;
  const int slave = ::open(ptsname(master), O_RDWR | O_NOCTTY);
  int feed[2];
  if (slave < 0 || ::pipe2(feed, O_CLOEXEC) != 0) return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, feed[0], 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, slave, 2);
  const pid_t pid = testing::SpawnCli(std::move(args), &actions);
  posix_spawn_file_actions_destroy(&actions);
  ::close(feed[0]);
  ::close(slave);
  std::thread feeder([&] {
    const std::size_t step = input.size() / 10 + 1;
    for (std::size_t at = 0; pid >= 0 && at < input.size(); at += step) {
      const std::size_t count = std::min(step, input.size() - at);
      if (::write(feed[1], input.data() + at, count) != static_cast<ssize_t>(count)) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ::close(feed[1]);
  });
  char buffer[4096];
  for (ssize_t got; (got = ::read(master, buffer, sizeof buffer)) > 0;)
    run.terminal.append(buffer, static_cast<std::size_t>(got));  // ends with EIO at the close
  feeder.join();
  ::close(master);
  int status = 0;
  if (pid >= 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
    run.exitCode = WEXITSTATUS(status);
  }
  return run;
}

TEST(CliProgress, DrawsOnATerminalAndClearsItself) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    bool bar;
  };
  const Case cases[] = {
      {"bar", {"-", "-", "echo"}, true},
      {"quiet", {"--quiet", "-", "-", "echo"}, false},
  };
  const testing::Bytes input = testing::ReadFile(WAVFX_DEMO_WAV);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TerminalRun run = RunOnTerminal(c.args, input);
    EXPECT_EQ(run.exitCode, 0);
    if (!c.bar) {
      EXPECT_EQ(run.terminal, "");
      continue;
    }
    EXPECT_NE(run.terminal.find("%  "), std::string::npos);
    EXPECT_NE(run.terminal.find(" of 689.1 KiB"), std::string::npos);
    EXPECT_EQ(run.terminal.find('\n'), std::string::npos);
    ASSERT_GE(run.terminal.size(), 4u);
    EXPECT_EQ(run.terminal.substr(run.terminal.size() - 4), "\r\033[K");
  }
}

}  // namespace
}  // namespace wavfx
