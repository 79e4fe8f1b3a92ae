#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace wavfx::cli {

enum class Mode { Help, Version, List, Info, Stats, Single, Batch };

struct CommandLine {
  Mode mode = Mode::Single;
  std::vector<const char*> files;   // the operands: INPUT OUTPUT EFFECT, or the FILEs
  const char* effect = nullptr;     // -e
  const char* outputDir = nullptr;  // -o
  unsigned jobs = 0;                // -j; 0: one per core
  double tailSeconds = 0;           // --tail
  bool quiet = false;               // -q
  bool json = false;                // --json, with --list or --stats
  const char* format = nullptr;     // --format: the output's container
  const char* bits = nullptr;       // --bits: the output's samples
};

constexpr unsigned kMostJobs = 256;
constexpr double kLongestTail = 3600;

// Parses the arguments after the program name. Returns false with `error` set (empty when the
// usage alone says it) when they make no command.
bool ParseCommandLine(int argc, char** argv, CommandLine& line, std::string& error);

// The synopsis, to `to`.
void PrintUsage(std::FILE* to);

// The synopsis and every option, to standard output.
void PrintHelp();

}  // namespace wavfx::cli
