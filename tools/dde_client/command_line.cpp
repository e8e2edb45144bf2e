#include "tools/dde_client/command_line.h"

#include <cmath>
#include <cstddef>

#include "tools/cli_number.h"
#include "tools/cli_options.h"

namespace quorvel::tools::dde {
namespace {

constexpr std::string_view kUsage =
    R"(Usage: DdeClient.exe [OPTION...] COMMAND [COMMAND-OPTION...] ARG...

Commands:
  request [--repeat N] SERVICE TOPIC ITEM
      N requests (default 1) on one conversation, a line for each answer:
        ITEM = "DATA"
  advise [--seconds S] [--count K] SERVICE TOPIC ITEM...
      A hot advise loop on every ITEM, all on one conversation. Prints
        linked ITEM                  when the loop on ITEM has started
        hh:mm:ss.mmm ITEM = "DATA"   for every update (local time)
        hh:mm:ss.mmm ITEM (no data)  for an update without data
      until Ctrl-C, S seconds (may be fractional) or K updates in all; then
      stops the loops, printing "unlinked ITEM" for each, disconnects and
      prints "updates: N" (the updates printed). When the server ends the
      conversation first, "disconnected" comes instead of the "unlinked".
  poke [--no-nul] SERVICE TOPIC ITEM TEXT
      Sends TEXT followed by one NUL (none with --no-nul); prints
      "poke: ok" when the server acknowledged it (DDE_FACK), otherwise
      "poke: not processed".
  execute [--no-nul] SERVICE TOPIC COMMAND
      Sends COMMAND the same way; prints "execute: ok" or
      "execute: not processed".
  connect-cycles N SERVICE TOPIC
      Connects and disconnects N times; prints "cycles: C", the cycles done.

Options, anywhere before the first argument after the command:
  --format N     clipboard format of request, advise and poke (default 1, text)
  --timeout MS   time limit of each transaction (default 5000)
  --raw          print every trailing NUL of the data
  --             ends the options
  --help         this text

DATA is the bytes received, in quotes: printable ASCII as is; \r \n \0 \\
for CR, LF, NUL and backslash; \xHH (upper-case hex) for any other byte.
Quotes inside are not escaped: DATA runs to the last quote of the line.
Unless --raw, a run of NULs at the end of the data shows as one \0.
TEXT and COMMAND may hold the escapes \r \n \0 \\ and \xHH.
Lines end with LF alone; output is flushed after every line.

A failure is reported on stderr as
  error: WHAT failed: DMLERR_NAME (0xHHHH)
where WHAT is the call, as DdeConnect(SERVICE, TOPIC) or XTYP_REQUEST(ITEM).
Exit codes:
  0 done
  1 DDEML gave no instance or string handle
  2 bad command line
  3 no conversation (DdeConnect failed)
  4 refused by the server: not processed, busy, no data
  5 no answer in time, or advise ended before K updates came
  6 any other failure, such as the server ending the conversation
)";

constexpr std::string_view kProgram = "DdeClient: ";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

Parsed Fail(std::string message) {
  Parsed parsed;
  parsed.error = std::string(kProgram) + std::move(message);
  return parsed;
}

struct CommandEntry {
  std::string_view name;
  Command command;
};
constexpr CommandEntry kCommands[] = {
    {"request", Command::kRequest},
    {"advise", Command::kAdvise},
    {"poke", Command::kPoke},
    {"execute", Command::kExecute},
    {"connect-cycles", Command::kConnectCycles},
};

bool CommandNamed(std::string_view name, Command& command) {
  for (const CommandEntry& entry : kCommands) {
    if (entry.name == name) {
      command = entry.command;
      return true;
    }
  }
  return false;
}

std::string_view CommandName(Command command) {
  for (const CommandEntry& entry : kCommands) {
    if (entry.command == command) return entry.name;
  }
  return "help";
}

}  // namespace

std::string_view UsageText() {
  return kUsage;
}

bool Unescape(std::string_view text, std::string& out, std::string& error) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out.push_back(text[i]);
      continue;
    }
    if (++i == text.size()) {
      error = "a backslash ends the text (write \\\\ for one)";
      return false;
    }
    switch (text[i]) {
      case 'r':
        out.push_back('\r');
        break;
      case 'n':
        out.push_back('\n');
        break;
      case '0':
        out.push_back('\0');
        break;
      case '\\':
        out.push_back('\\');
        break;
      case 'x': {
        const int high = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
        const int low = i + 2 < text.size() ? HexDigit(text[i + 2]) : -1;
        if (high < 0 || low < 0) {
          error = "\\x needs two hex digits";
          return false;
        }
        out.push_back(static_cast<char>(high * 16 + low));
        i += 2;
        break;
      }
      default:
        error = std::string("unknown escape \\") + text[i];
        return false;
    }
  }
  return true;
}

std::string Escape(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    switch (byte) {
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\0':
        out += "\\0";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        if (byte >= 0x20 && byte < 0x7F) {
          out.push_back(c);
        } else {
          static constexpr char kHex[] = "0123456789ABCDEF";
          out += "\\x";
          out.push_back(kHex[byte >> 4]);
          out.push_back(kHex[byte & 0xF]);
        }
    }
  }
  return out;
}

std::string_view TrimNulPadding(std::string_view bytes) {
  std::size_t end = bytes.size();
  while (end >= 2 && bytes[end - 1] == '\0' && bytes[end - 2] == '\0') --end;
  return bytes.substr(0, end);
}

Parsed ParseCommandLine(const std::vector<std::string_view>& args) {
  Parsed parsed;
  Options& options = parsed.options;
  bool help = false;
  bool have_command = false;
  bool seen_repeat = false, seen_seconds = false, seen_count = false, seen_no_nul = false;
  std::vector<std::string_view> positional;

  // Options come before the first argument after the command, and before
  // "--".
  CommandLine<char> line;
  line.Flag("--help", help)
      .EndsWalk()
      .Flag("-h", help)
      .EndsWalk()
      .Flag("--raw", options.raw)
      .Flag("--no-nul", options.nul, false)
      .Seen(seen_no_nul)
      .Number(
          "--format", options.format, [](unsigned f) { return f >= 1 && f <= 0xFFFF; },
          "--format must be 1..65535")
      // 0xFFFFFFFF would ask DDEML for an asynchronous transaction.
      .Number(
          "--timeout", options.timeout_ms,
          [](std::uint32_t ms) { return ms >= 1 && ms != 0xFFFFFFFF; },
          "--timeout must be 1..4294967294 ms")
      .Number(
          "--repeat", options.repeat, [](int n) { return n >= 1; }, "--repeat must be at least 1")
      .Seen(seen_repeat)
      .Number(
          "--seconds", options.seconds, [](double s) { return std::isfinite(s) && s > 0; },
          "--seconds must be more than 0")
      .Seen(seen_seconds)
      .Number(
          "--count", options.count, [](int n) { return n >= 1; }, "--count must be at least 1")
      .Seen(seen_count)
      .Others([&](std::string_view arg) {
        if (line.OptionsOpen() && arg == "--") {
          line.EndOptions();
          return Taken::kYes;
        }
        if (line.OptionsOpen() && arg.size() >= 2 && arg[0] == '-' && arg[1] == '-')
          return Taken::kUnknown;
        if (have_command) {
          positional.push_back(arg);
          line.EndOptions();
          return Taken::kYes;
        }
        if (!CommandNamed(arg, options.command)) return Taken::kRefused;
        have_command = true;
        return Taken::kYes;
      });
  const Refusal<char> refused = line.Walk(args);
  if (help) {
    parsed.ok = true;
    options.command = Command::kHelp;
    return parsed;
  }
  const std::string arg(refused.argument);
  if (refused.why == Refused::kArgument) return Fail("unknown command '" + arg + "' (see --help)");
  // An option without a value: an unknown one may well have taken one.
  if (refused && !refused.value) return Fail(arg + " needs a value");
  if (refused.why == Refused::kNotANumber) return Fail(NotANumber(arg, refused.value));
  if (refused.why == Refused::kOutOfRange) return Fail(std::string(refused.rule));
  if (refused) return Fail("unknown option '" + arg + "' (see --help)");

  if (!have_command) return Fail("no command given (see --help)");
  const Command command = options.command;
  if (seen_repeat && command != Command::kRequest) return Fail("--repeat is for request only");
  if ((seen_seconds || seen_count) && command != Command::kAdvise)
    return Fail("--seconds and --count are for advise only");
  if (seen_no_nul && command != Command::kPoke && command != Command::kExecute)
    return Fail("--no-nul is for poke and execute only");

  std::size_t wanted = 3;
  const char* shape = "SERVICE TOPIC ITEM";
  switch (command) {
    case Command::kAdvise:
      shape = "SERVICE TOPIC ITEM...";
      break;
    case Command::kPoke:
      wanted = 4;
      shape = "SERVICE TOPIC ITEM TEXT";
      break;
    case Command::kExecute:
      shape = "SERVICE TOPIC COMMAND";
      break;
    case Command::kConnectCycles:
      shape = "N SERVICE TOPIC";
      break;
    default:
      break;
  }
  const bool count_ok =
      command == Command::kAdvise ? positional.size() >= wanted : positional.size() == wanted;
  if (!count_ok) return Fail(std::string(CommandName(command)) + " takes " + shape);

  std::size_t next = 0;
  if (command == Command::kConnectCycles) {
    if (!ParseNumber(positional[0], options.cycles) || options.cycles < 1)
      return Fail("connect-cycles needs a count of at least 1, not '" + std::string(positional[0]) +
                  "'");
    next = 1;
  }
  options.service = positional[next++];
  options.topic = positional[next++];
  if (command == Command::kExecute) {
    std::string error;
    if (!Unescape(positional[next], options.data, error)) return Fail("COMMAND: " + error);
  } else if (command != Command::kConnectCycles) {
    const std::size_t items_end = command == Command::kPoke ? next + 1 : positional.size();
    for (; next < items_end; ++next) options.items.emplace_back(positional[next]);
    if (command == Command::kPoke) {
      std::string error;
      if (!Unescape(positional[next], options.data, error)) return Fail("TEXT: " + error);
    }
  }
  if (options.service.empty() || options.topic.empty())
    return Fail("SERVICE and TOPIC must not be empty");
  for (const std::string& item : options.items) {
    if (item.empty()) return Fail("an ITEM must not be empty");
  }
  parsed.ok = true;
  return parsed;
}

}  // namespace quorvel::tools::dde
