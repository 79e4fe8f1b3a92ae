// Runs the wavfx command as a separate process, its standard streams files or pipes, and builds
// the WAV files it is given.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "support/wav_files.h"

extern char** environ;

namespace wavfx::testing {

struct CliRun {
  int exitCode = -1;
  Bytes out;
  std::string err;
};

enum class StreamKind { File, Pipe };

struct CliStreams {
  Bytes in;  // standard input's bytes
  StreamKind input = StreamKind::Pipe;
  StreamKind output = StreamKind::File;
  bool endless = false;  // a pipe that goes on with silence after `in` until nothing reads it
};

// Starts wavfx with `args` and the given file actions; returns its process id, or -1.
inline pid_t SpawnCli(std::vector<std::string> args, const posix_spawn_file_actions_t* actions,
                      const posix_spawnattr_t* attributes = nullptr) {
  std::string program = WAVFX_CLI_PATH;
  std::vector<char*> argv = {program.data()};
  for (std::string& arg : args)
    argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid;
  return posix_spawn(&pid, program.c_str(), actions, attributes, argv.data(), environ) == 0 ? pid
                                                                                            : -1;
}

inline CliRun RunCli(const std::vector<std::string>& args, const CliStreams& streams = {}) {
  ::signal(SIGPIPE, SIG_IGN);  // a command that stops reading early must not end the test
  TempDir capture;
  const std::string inPath = (capture / "stdin").string();
  const std::string outPath = (capture / "stdout").string();
  const std::string errPath = (capture / "stderr").string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  int inPipe[2] = {-1, -1};
  int outPipe[2] = {-1, -1};
  if (streams.input == StreamKind::Pipe && ::pipe2(inPipe, O_CLOEXEC) == 0) {
    posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
  } else {
    WriteFile(inPath, streams.in);
    posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
  }
  if (streams.output == StreamKind::Pipe && ::pipe2(outPipe, O_CLOEXEC) == 0) {
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  } else {
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
  }
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

  CliRun run;
  const pid_t pid = SpawnCli(args, &actions, &attributes);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (inPipe[0] >= 0) ::close(inPipe[0]);
  if (outPipe[1] >= 0) ::close(outPipe[1]);
  std::thread feeder([&] {
    if (inPipe[1] < 0) return;
    for (std::size_t at = 0; pid >= 0 && at < streams.in.size();) {
      const ssize_t put = ::write(inPipe[1], streams.in.data() + at, streams.in.size() - at);
      if (put <= 0) break;
      at += static_cast<std::size_t>(put);
    }
    const Bytes silence(65536, 0);
    while (pid >= 0 && streams.endless && ::write(inPipe[1], silence.data(), silence.size()) > 0) {
    }
    ::close(inPipe[1]);
  });
  if (outPipe[0] >= 0) {
    char buffer[65536];
    for (ssize_t got; (got = ::read(outPipe[0], buffer, sizeof buffer)) > 0;)
      run.out.insert(run.out.end(), buffer, buffer + got);
    ::close(outPipe[0]);
  }
  feeder.join();
  if (pid < 0) return run;
  int status = 0;
  if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  if (outPipe[0] < 0) run.out = ReadFile(outPath);
  const Bytes err = ReadFile(errPath);
  run.err.assign(err.begin(), err.end());
  return run;
}

// What wavfx writes: the canonical header declaring `declared` data bytes, then `data`.
inline Bytes WrittenWav(uint16_t channels, uint32_t rate, uint32_t declared, const Bytes& data) {
  Bytes file = DeclaringWav(channels, rate, declared, data);
  file[4] = static_cast<uint8_t>(declared + 36);
  file[5] = static_cast<uint8_t>((declared + 36) >> 8);
  file[6] = static_cast<uint8_t>((declared + 36) >> 16);
  file[7] = static_cast<uint8_t>((declared + 36) >> 24);
  return file;
}

// Replaces every "@" in `text` with `root`.
inline std::string Expand(std::string text, const std::string& root) {
  for (std::size_t at; (at = text.find('@')) != std::string::npos;)
    text.replace(at, 1, root);
  return text;
}

}  // namespace wavfx::testing
