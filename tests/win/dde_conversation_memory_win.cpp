// DdeConversationMemory.exe: what a DDE conversation that a client opens and
// closes leaves in the server's private bytes, for our server
// (DdeTestServer.exe) and for the least DDEML server there is
// (MinimalDdeServer.exe), in the same Wine prefix: what the minimal one
// keeps is DDEML's and the system's, the rest is ours.
//
//   DdeConversationMemory.exe [--warm-up N] [--cycles N] [--rounds R] [--margin B]
//                             [--process-each]
//
// One server after the other: it is started, a DdeClient.exe process opens
// and closes N conversations (default 1000) so that what the first ones set
// up once is not counted, then R times (default 3) another DdeClient.exe
// opens and closes N conversations (default 3000), and the server's private
// bytes, kernel handles and windows are read from outside after each. With
// --process-each, every conversation comes from a DdeClient.exe of its own,
// as the soak's hostile client's do. A line per round and a last line per
// server:
//
//   DdeTestServer: bytes per 1000 conversations: 96028 (rounds 95573 96938 95573)
//
// Exit code 0 when every conversation was opened and closed, each server
// ended cleanly and ours kept at most B bytes per 1000 conversations
// (default 16000, some ten times what the counter's page steps make of a
// round) more than the minimal one; 1 otherwise; 2 for a bad command line.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "testkit/crash_exit_win.h"
#include "testkit/dde_child_win.h"
#include "testkit/process_resources_win.h"
#include "tools/cli_options.h"
#include "tools/console_lines.h"

namespace {

using quorvel::tools::Fail;
using quorvel::tools::Say;

using quorvel::testing::ChildProcess;
using quorvel::testing::ExecutableDirectory;
using quorvel::tools::ProcessResources;
using quorvel::tools::ReadProcessResources;

constexpr char kProgram[] = "DdeConversationMemory";
constexpr char kTopic[] = "ZORVIK";
constexpr DWORD kStartMs = 30'000;
// Upper bounds only: a hung client or server fails the run, with what it
// printed, well before the test's own time limit ends it without a word.
constexpr DWORD kCyclesMs = 240'000;
constexpr DWORD kEndMs = 30'000;

struct Options {
  int warm_up = 1000;
  int cycles = 3000;
  int rounds = 3;
  int margin = 16'000;
  bool process_each = false;
};

struct Server {
  const char* program;  // beside this one; its service is its name
  const char* service;
};

// One DdeClient.exe opening and closing `cycles` conversations with the
// service; false, said why, unless it did all of them.
bool RunClient(const std::string& service, int cycles) {
  ChildProcess client;
  std::string error;
  const std::string path = ExecutableDirectory() + "..\\..\\tools\\dde_client\\DdeClient.exe";
  const std::vector<std::string> arguments = {"connect-cycles", std::to_string(cycles), service,
                                              kTopic};
  // Under Wine a process start now and then fails with ERROR_INTERNAL_ERROR
  // when thousands have been started: a second try is not a measurement.
  if (!client.Start(path, arguments, &error) && !client.Start(path, arguments, &error)) {
    Fail(kProgram, error);
    return false;
  }
  const std::optional<DWORD> code = client.WaitExit(kCyclesMs);
  client.Kill();
  const std::vector<std::string> out = client.OutputLines();
  if (code != std::optional<DWORD>(0) || out.empty() ||
      out.back() != "cycles: " + std::to_string(cycles)) {
    Fail(kProgram,
         "DdeClient connect-cycles " + std::to_string(cycles) + " " + service + " " + kTopic +
             (code ? " ended with " + std::to_string(*code) : std::string(" did not end")) + ":\n" +
             client.Transcript());
    return false;
  }
  return true;
}

bool RunCycles(const std::string& service, int cycles, bool process_each) {
  if (!process_each) return RunClient(service, cycles);
  for (int i = 0; i < cycles; ++i) {
    if (!RunClient(service, 1)) return false;
  }
  return true;
}

std::int64_t PerThousand(std::int64_t bytes, std::int64_t conversations) {
  return conversations > 0 ? bytes * 1000 / conversations : 0;
}

// Measures one server; its rounds' figures go to `per_thousand`.
bool Measure(const Server& server, const Options& o, std::vector<std::int64_t>& per_thousand) {
  ChildProcess process;
  std::string error;
  if (!process.Start(ExecutableDirectory() + server.program + ".exe", {}, &error)) {
    Fail(kProgram, error);
    return false;
  }
  if (!process.WaitLine([](const std::string& l) { return l == "ready"; }, kStartMs)) {
    Fail(kProgram, std::string(server.program) + " did not start:\n" + process.Transcript());
    return false;
  }
  bool ok = RunCycles(server.service, o.warm_up, o.process_each);
  ProcessResources before = ReadProcessResources(process.Process(), process.Pid());
  if (ok && before.private_bytes < 0) {
    Fail(kProgram, std::string("the private bytes of ") + server.program + " cannot be read");
    ok = false;
  }
  for (int round = 1; ok && round <= o.rounds; ++round) {
    ok = RunCycles(server.service, o.cycles, o.process_each);
    if (!ok) break;
    const ProcessResources after = ReadProcessResources(process.Process(), process.Pid());
    const std::int64_t grew = after.private_bytes - before.private_bytes;
    per_thousand.push_back(PerThousand(grew, o.cycles));
    Say(std::string(server.program) + " round " + std::to_string(round) + ": " +
        std::to_string(o.cycles) + " conversations, private bytes " +
        std::to_string(before.private_bytes) + " -> " + std::to_string(after.private_bytes) + " (" +
        (grew >= 0 ? "+" : "") + std::to_string(grew) + ", " + std::to_string(per_thousand.back()) +
        " per 1000) | handles " + std::to_string(before.handles) + " -> " +
        std::to_string(after.handles) + " | windows " + std::to_string(before.user_objects) +
        " -> " + std::to_string(after.user_objects));
    before = after;
  }

  process.CloseInput();
  const std::optional<DWORD> code = process.WaitExit(kEndMs);
  process.Kill();
  if (code != std::optional<DWORD>(0)) {
    Fail(kProgram, std::string(server.program) + " did not end cleanly:\n" + process.Transcript());
    ok = false;
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  quorvel::testing::ExitOnCrash();
  Options o;
  quorvel::tools::CommandLine<char> line;
  line.Flag("--process-each", o.process_each)
      .Number("--warm-up", o.warm_up, [](int n) { return n >= 0; })
      .Number("--cycles", o.cycles, [](int n) { return n >= 1; })
      .Number("--rounds", o.rounds, [](int n) { return n >= 1; })
      .Number("--margin", o.margin, [](int n) { return n >= 0; });
  if (const auto refused = line.Walk(argc, argv)) {
    quorvel::tools::SayBadArgument(kProgram, refused, "tests/win/dde_conversation_memory_win.cpp");
    return 2;
  }

  const Server minimal{"MinimalDdeServer", "MinimalDdeServer"};
  const Server ours{"DdeTestServer", "DdeTestServer"};
  bool ok = true;
  std::vector<std::string> summary;
  std::int64_t average[2] = {};
  for (int i = 0; i < 2; ++i) {
    const Server& server = i == 0 ? minimal : ours;
    std::vector<std::int64_t> rounds;
    ok = Measure(server, o, rounds) && ok;
    if (rounds.empty()) continue;
    std::string each;
    for (const std::int64_t figure : rounds) {
      average[i] += figure;
      each.append(" ").append(std::to_string(figure));
    }
    average[i] /= static_cast<std::int64_t>(rounds.size());
    summary.push_back(std::string(server.program) + ": bytes per 1000 conversations: " +
                      std::to_string(average[i]) + " (rounds" + each + ")");
  }
  for (const std::string& line : summary) Say(line);
  if (!ok) return 1;
  const std::int64_t more = average[1] - average[0];
  Say(std::string(ours.program) + " keeps " + std::to_string(more) +
      " bytes per 1000 conversations more than " + minimal.program + " (at most " +
      std::to_string(o.margin) + ")");
  return more <= o.margin ? 0 : 1;
}
