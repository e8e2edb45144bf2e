// Cost of publishing through the DDE server, run by bench.sh under Wine:
//
//   DdeBench.exe [--writes N] [--bursts N] [--client PATH]
//
// The server runs in this process, hosted as DdeTestServer.exe hosts it
// (service DdeBench, topic ZORVIK, items S1..S500); the clients are
// DdeClient.exe processes. Prints:
//   dde.text_write_us_K_clients  mean microseconds of one Text write of S1
//                                with K client processes (0, 1, 10) linked
//   dde.burst_updates_per_s      updates a client linked to all 500 items
//                                receives per second while the server writes
//                                every item once, back to back: counted when
//                                the client prints them, from the first write
//   dde.burst_write_us           microseconds the server spends writing the 500
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/executable_path.h"
#include "poll/dde_server.h"
#include "testkit/dde_child_win.h"
#include "testkit/dde_test_host_win.h"
#include "tools/cli_options.h"

namespace {

using quorvel::testing::ChildProcess;
using quorvel::testing::DdeTestHost;
using quorvel::testing::PumpMessages;
using quorvel::testing::PumpUntil;

// Upper bounds only, so that a hung client ends the run instead of holding it.
constexpr DWORD kLinkMs = 60'000;
constexpr DWORD kDeliveryMs = 300'000;
constexpr int kWarmUpWrites = 50;

struct Options {
  int writes = 2000;
  int bursts = 5;
  std::string client;
};

void Print(const std::string& name, double value, const char* unit) {
  std::printf("%s = %.6g %s\n", name.c_str(), value, unit);
  std::fflush(stdout);
}

double Now() {
  LARGE_INTEGER frequency, counter;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// DdeClient advise processes, each linked to every item in `items`.
class Clients {
 public:
  bool Start(const Options& options, int count, const std::vector<std::string>& items,
             long updates) {
    std::vector<std::string> arguments = {"advise", "--count", std::to_string(updates), "DdeBench",
                                          "ZORVIK"};
    arguments.insert(arguments.end(), items.begin(), items.end());
    for (int i = 0; i < count; ++i) {
      children_.push_back(std::make_unique<ChildProcess>());
      std::string error;
      if (!children_.back()->Start(options.client, arguments, &error)) {
        std::fprintf(stderr, "DdeBench: %s\n", error.c_str());
        return false;
      }
    }
    // The server answers their links on this thread: the waits handle its
    // messages.
    const std::string last = "linked " + items.back();
    for (auto& child : children_) {
      if (!child->WaitLine([&](const std::string& line) { return line == last; }, kLinkMs)) {
        std::fprintf(stderr, "DdeBench: a client did not link:\n%s", child->Transcript().c_str());
        return false;
      }
    }
    return true;
  }

  // Waits for every client to end by itself (after its --count updates).
  bool Finish() {
    bool ok = true;
    for (auto& child : children_) {
      const auto code = child->WaitExit(kDeliveryMs);
      if (code != std::optional<DWORD>(0)) {
        std::fprintf(stderr, "DdeBench: a client did not get all its updates:\n%s",
                     child->Transcript().c_str());
        ok = false;
      }
      child->Kill();
    }
    children_.clear();
    return ok;
  }

  ChildProcess& operator[](std::size_t i) { return *children_[i]; }

 private:
  std::vector<std::unique_ptr<ChildProcess>> children_;
};

// Under Wine, DdePostAdvise adds the item's atom once for all its links
// while every client deletes it once: the missing references are added, or
// all clients but one would drop the update (see tests/win/dde_win_test.cpp).
void AddMissingAtomReferences(const char* item, int links) {
  for (int i = 1; i < links; ++i) ::GlobalAddAtomA(item);
}

bool MeasureWrites(DdeTestHost& host, const Options& options, int client_count) {
  Clients clients;
  if (!clients.Start(options, client_count, {"S1"}, kWarmUpWrites + options.writes)) return false;
  quorvel::poll::TDdeServerItem& item = host.Components().Item(0);
  double total = 0;
  for (int i = -kWarmUpWrites; i < options.writes; ++i) {
    AddMissingAtomReferences("S1", client_count);
    const std::string text = std::to_string(i);
    const double start = Now();
    item.SetText(text);
    const double elapsed = Now() - start;
    if (i >= 0) total += elapsed;
    // The clients' answers are handled between writes, as the program's
    // message loop would.
    PumpMessages();
  }
  const bool delivered = clients.Finish();
  Print(std::string("dde.text_write_us_").append(std::to_string(client_count)).append("_clients"),
        total / options.writes * 1e6, "us");
  return delivered;
}

bool MeasureBurst(DdeTestHost& host, const Options& options) {
  const int item_count = host.Components().ItemCount();
  std::vector<std::string> items;
  items.reserve(static_cast<std::size_t>(item_count));
  for (int i = 0; i < item_count; ++i) items.push_back(host.Components().Item(i).Name());
  Clients clients;
  if (!clients.Start(options, 1, items, static_cast<long>(item_count) * options.bursts)) {
    return false;
  }
  ChildProcess& client = clients[0];
  const std::size_t linked_lines = client.OutputLineCount();
  double received_seconds = 0;
  double write_seconds = 0;
  bool complete = true;
  for (int burst = 1; burst <= options.bursts && complete; ++burst) {
    const std::size_t expected = linked_lines + static_cast<std::size_t>(item_count) * burst;
    const double start = Now();
    write_seconds += host.Burst(std::string("B").append(std::to_string(burst))) * 1e-6;
    complete = PumpUntil([&] { return client.OutputLineCount() >= expected; }, kDeliveryMs);
    received_seconds += Now() - start;
  }
  const bool delivered = clients.Finish() && complete;
  Print("dde.burst_updates_per_s", item_count * options.bursts / received_seconds, "1/s");
  Print("dde.burst_write_us", write_seconds / options.bursts * 1e6, "us");
  return delivered;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  const std::string folder = quorvel::testing::ExecutableDirectory();
  options.client = folder + "..\\tools\\dde_client\\DdeClient.exe";
  using namespace quorvel::tools;
  CommandLine<char> line;
  line.Number("--writes", options.writes, [](int n) { return n > 0; })
      .Number("--bursts", options.bursts, [](int n) { return n > 0; })
      .Text("--client", options.client);
  if (const Refusal<char> refused = line.Walk(argc, argv)) {
    // A number out of range is refused without a word.
    SayNotANumber("DdeBench", refused);
    if (refused.why == Refused::kUnknown || refused.why == Refused::kNoValue)
      SayUnknownArgument("DdeBench", refused);
    return 2;
  }

  std::uint32_t code = 0;
  auto host = DdeTestHost::Start(quorvel::poll::ServiceName(quorvel::ExecutablePath()), &code);
  if (!host) {
    std::fprintf(stderr, "DdeBench: %s\n", quorvel::poll::DdeStartupErrorMessage(code).c_str());
    return 1;
  }
  bool ok = true;
  for (int clients : {0, 1, 10}) ok = MeasureWrites(*host, options, clients) && ok;
  ok = MeasureBurst(*host, options) && ok;
  return ok ? 0 : 1;
}
