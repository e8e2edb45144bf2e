// What the tool programs print: a line of output, flushed at once so that a
// process reading the pipe sees it when it is said, and a failure on
// standard error under the program's name.
#pragma once

#include <cstdio>
#include <string_view>

namespace quorvel::tools {

inline void Say(std::string_view line) {
  std::printf("%.*s\n", static_cast<int>(line.size()), line.data());
  std::fflush(stdout);
}

inline void Fail(const char* program, std::string_view what) {
  std::fprintf(stderr, "%s: %.*s\n", program, static_cast<int>(what.size()), what.data());
  std::fflush(stderr);
}

}  // namespace quorvel::tools
