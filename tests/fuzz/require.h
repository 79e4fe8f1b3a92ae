#pragma once

#include <cstdio>
#include <cstdlib>

// A fuzz target's promise: names the broken one before aborting, so a crash report says which.
#define Require(condition) RequireAt((condition), #condition, __LINE__)

inline void RequireAt(bool condition, const char* text, int line) {
  if (condition) return;
  std::fprintf(stdout, "requirement failed at line %d: %s\n", line, text);
  std::fflush(stdout);
  std::abort();
}
