// The portable half of DdeClient: its command line, the escapes a user types
// for poke and execute data, and the escaped form in which data is printed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::tools::dde {

enum class Command { kHelp, kRequest, kAdvise, kPoke, kExecute, kConnectCycles };

struct Options {
  Command command = Command::kHelp;
  // Global options.
  unsigned format = 1;  // CF_TEXT
  std::uint32_t timeout_ms = 5000;
  bool raw = false;
  // request
  int repeat = 1;
  // advise; seconds < 0 and count < 0 mean "no limit".
  double seconds = -1;
  int count = -1;
  // poke, execute
  bool nul = true;
  // connect-cycles
  int cycles = 0;

  std::string service;
  std::string topic;
  std::vector<std::string> items;  // one for request and poke, one or more for advise
  std::string data;                // poke text or execute command, escapes resolved
};

// The outcome of reading a command line: options, or a one-line error.
struct Parsed {
  bool ok = false;
  std::string error;
  Options options;
};

// Reads the arguments after the program name.
Parsed ParseCommandLine(const std::vector<std::string_view>& args);

// The usage text printed by --help.
std::string_view UsageText();

// Resolves \r \n \0 \\ and \xHH (two hex digits) in `text`. Any other escape,
// or a backslash at the end, is an error described in `error`.
bool Unescape(std::string_view text, std::string& out, std::string& error);

// Printable ASCII as is; \r \n \0 and \\ as such; every other byte as \xHH.
std::string Escape(std::string_view bytes);

// A text item ends in one NUL, and servers that send a fixed-size buffer (or
// an allocator that rounds the block up) add more: a run of trailing NULs is
// cut to one, so that the same text prints the same from every server.
std::string_view TrimNulPadding(std::string_view bytes);

}  // namespace quorvel::tools::dde
