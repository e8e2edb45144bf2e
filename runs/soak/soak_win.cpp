// Soak.exe: Quorvel.exe polling a full, partly faulty bus for a long time,
// with linked DDE clients and a hostile one, watched from outside for missed
// updates and for leaks. Run through scripts/soak.sh, which gives it the bus
// under Wine (tools/winerun.sh and the simulator):
//
//   Soak.exe [--minutes M] [--clients K] [--sample-seconds S]
//
// The bus: COM3 at 19200 bit/s, devices 1..20, each with 'count' channels
// 0..24 (every request answered with the next whole number), some of the
// devices faulty; the table asks all 500 of them in order, reply time-out
// 150 ms, 2000 ms between passes. K DdeClient.exe processes (default 10)
// are linked to all 500 items from before the first reading; one more
// client after another requests, pokes and executes, good and bad.
//
// Printed at the start and every minute: readings per second (requests the
// simulator logged), the updates each client received against those
// published (readings, and pokes the server took), and Quorvel.exe's kernel
// handles, private bytes, GDI objects and user objects, sampled every S
// seconds (default 10). At the end, once polling stopped and every update on
// the way arrived: the updates each client missed, whether a count grew
// after the first minute, and how much the private bytes grew after it per
// 1000 conversations that the hostile client opened and closed (each of its
// transactions is one). Exit code 0 when nothing was missed, nothing grew,
// every answer was right and the program ran to a clean end; 1 otherwise; 2
// for a bad command line.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "base/under_wine_win.h"
#include "poll/poll_run.h"
#include "testkit/message_wait_win.h"
#include "testkit/process_resources_win.h"
#include "testkit/quorvel_remote_win.h"
#include "tools/cli_options.h"
#include "tools/console_lines.h"
#include "runs/demo/advise_clients_win.h"
#include "runs/soak/dde_poker_win.h"
#include "runs/soak/soak_figures.h"

namespace {

using quorvel::tools::Fail;
using quorvel::tools::Say;

using namespace quorvel::remote;
using namespace quorvel::tools;
using namespace quorvel::tools::soak;

constexpr char kProgram[] = "Soak";
constexpr char kService[] = "Quorvel";
constexpr char kTopic[] = "ZORVIK";
// The bus scripts/soak.sh gives the simulator.
constexpr int kPort = 3;
constexpr int kBaud = 19200;
constexpr int kDevices = 20;
constexpr int kChannels = 25;
constexpr int kTimeOutMs = 150;
constexpr int kPauseMs = 2000;
constexpr DWORD kLinkWaitMs = 300'000;
constexpr DWORD kDrainWaitMs = 120'000;

struct Options {
  double minutes = 30;
  int clients = 10;
  double sample_seconds = 10;
};

double SecondsSince(ULONGLONG start) {
  return static_cast<double>(::GetTickCount64() - start) / 1000.0;
}

// The requests the simulator logged, read as the log grows.
class SimulatorLog {
 public:
  explicit SimulatorLog(std::string path) : path_(std::move(path)) {}

  // Reads what was added; only whole lines count.
  void Update() {
    std::ifstream in(path_, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset_));
    std::string added((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t end = added.rfind('\n');
    if (end == std::string::npos) return;
    offset_ += end + 1;
    std::size_t start = 0;
    for (std::size_t stop; (stop = added.find('\n', start)) <= end; start = stop + 1) {
      const std::string_view line(added.data() + start, stop - start);
      if (line.find(" check=ok ") == std::string_view::npos) continue;
      ++requests_;
      last_ = std::string(line);
    }
  }

  std::int64_t Requests() const { return requests_; }
  // Whether the last request asked the sensor of the table's last row.
  bool LastAsked(int address, int channel) const {
    return last_.find(" addr=" + std::to_string(address) + " ") != std::string::npos &&
           last_.find(" cmd=" + quorvel::poll::ReadingCommand(channel) + " ") != std::string::npos;
  }

 private:
  std::string path_;
  std::size_t offset_ = 0;
  std::int64_t requests_ = 0;
  std::string last_;
};

struct Samples {
  std::vector<Sample> handles, private_bytes, gdi, user;
  // The hostile client's conversations so far, at the same times.
  std::vector<Sample> conversations;
  ProcessResources last;

  void Take(HANDLE process, DWORD pid, double seconds, std::int64_t conversations_so_far) {
    last = ReadProcessResources(process, pid);
    handles.push_back({seconds, last.handles});
    private_bytes.push_back({seconds, last.private_bytes});
    gdi.push_back({seconds, last.gdi_objects});
    user.push_back({seconds, last.user_objects});
    conversations.push_back({seconds, conversations_so_far});
  }

  std::string Line() const {
    return "handles " + Count(last.handles) + " | private bytes " + Megabytes(last.private_bytes) +
           " | GDI objects " + Count(last.gdi_objects) + " | " +
           (last.user_objects_are_windows ? "user objects (windows) " : "user objects ") +
           Count(last.user_objects);
  }
};

class Soak {
 public:
  explicit Soak(const Options& options)
      : o_(options),
        folder_(WindowsPathOf(std::getenv("QUORVEL_RUN")) + "\\soak\\"),
        log_(WindowsPathOf(std::getenv("QUORVEL_SIM_LOG"))),
        wine_(quorvel::UnderWine()) {
    ConfigureRun(settings_, kPort, kBaud, kDevices * kChannels);
    settings_.SetTimeOut(kTimeOutMs);
    settings_.SetTimeOutCycle(kPauseMs);
    for (int d = 0; d < kDevices; ++d) {
      for (int c = 0; c < kChannels; ++c) SetSensor(settings_, d * kChannels + c + 1, d + 1, c);
    }
    for (int row = 1; row <= kDevices * kChannels; ++row) {
      items_.push_back(settings_.table().Cell(0, row));
    }
  }

  bool Run() {
    std::string error;
    const std::string client = ExecutableFolder() + "..\\..\\tools\\dde_client\\DdeClient.exe";
    if (!PrepareFolder(ExecutableFolder() + "..\\..\\app\\Quorvel.exe", folder_, settings_,
                       &error) ||
        !quorvel_.Start(folder_, /*arguments=*/"", &error)) {
      Fail(kProgram, error);
      return false;
    }
    if (!clients_.Start(client, folder_, kService, kTopic, items_, o_.clients, &error)) {
      Fail(kProgram, error);
      return false;
    }
    if (!PumpUntil([&] { return clients_.AllPrinted("linked " + items_.back()); }, kLinkWaitMs)) {
      Fail(kProgram, "the clients did not link every item");
      return false;
    }
    poker_ = std::make_unique<DdePoker>(client, kService, kTopic, items_,
                                        [this](const std::string& item) { BeforePoke(item); });
    ReserveAhead(2);

    Say("soak: " + std::to_string(kDevices * kChannels) + " sensors on " +
        std::to_string(kDevices) + " devices at " + std::to_string(kBaud) + " bit/s, " +
        std::to_string(o_.clients) + " linked clients and a poking one, " + Minutes() + " min");
    started_ = ::GetTickCount64();
    samples_.Take(quorvel_.Process(), quorvel_.Pid(), 0, 0);
    Say("minute 0: " + samples_.Line());
    quorvel_.PressStartStop();
    if (!quorvel_.WaitPolling(true)) {
      Fail(kProgram, "polling did not start");
      return false;
    }

    const bool ran = Poll();
    const bool drained = ran && Drain();
    const bool closed = ran && Close();
    clients_.End();
    return Verdict(ran && drained && closed);
  }

 private:
  // Polls for the given minutes, sampling and printing as it goes.
  bool Poll() {
    const double end = o_.minutes * 60;
    double next_sample = o_.sample_seconds;
    double next_minute = 60;
    std::int64_t requests_at_minute = 0;
    while (SecondsSince(started_) < end) {
      if (!PumpFor(50, quorvel_.Process())) {
        Fail(kProgram, "Quorvel.exe ended while polling");
        return false;
      }
      if (clients_.Ended() != 0) {
        Fail(kProgram, "a DDE client ended while linked");
        return false;
      }
      poker_->Step(/*start_next=*/true);
      const double now = SecondsSince(started_);
      if (now >= next_sample) {
        samples_.Take(quorvel_.Process(), quorvel_.Pid(), now, poker_->Transactions());
        next_sample += o_.sample_seconds;
      }
      if (now >= next_minute) {
        log_.Update();
        const double rate = static_cast<double>(log_.Requests() - requests_at_minute) / 60.0;
        requests_at_minute = log_.Requests();
        char readings[32];
        std::snprintf(readings, sizeof readings, "%.1f", rate);
        Say("minute " + std::to_string(static_cast<int>(next_minute / 60)) + ": readings/s " +
            readings + " | " + UpdatesLine() + " | " + samples_.Line());
        ReserveAhead(1);
        next_minute += 60;
      }
    }
    return true;
  }

  // Stops polling between two passes, lets the poker finish, and waits
  // until every client has every update published.
  bool Drain() {
    while (poker_->Busy()) {
      PumpFor(20, nullptr);
      poker_->Step(/*start_next=*/false);
    }
    const int last_row = kDevices * kChannels - 1;
    PumpUntil(
        [&] {
          log_.Update();
          return log_.LastAsked(last_row / kChannels + 1, last_row % kChannels);
        },
        kDrainWaitMs);
    if (!quorvel_.StopPolling()) {
      Fail(kProgram, "polling did not stop");
      return false;
    }
    log_.Update();
    // A stop that came in the middle of the next pass's first exchange
    // leaves that request without a reading.
    slack_ = log_.LastAsked(last_row / kChannels + 1, last_row % kChannels) ? 0 : 1;
    // The last update of all: it comes after every one before it.
    poker_->PokeNext(items_.front(), "end");
    poker_->Step(/*start_next=*/true);
    while (poker_->Busy()) {
      PumpFor(20, nullptr);
      poker_->Step(/*start_next=*/false);
    }
    PumpUntil(
        [&] {
          for (std::size_t i = 0; i < clients_.Count(); ++i) {
            const auto updates = static_cast<std::int64_t>(clients_.Read(i).updates);
            if (updates < Published() - slack_) return false;
          }
          return true;
        },
        kDrainWaitMs);
    return true;
  }

  bool Close() {
    samples_.Take(quorvel_.Process(), quorvel_.Pid(), SecondsSince(started_),
                  poker_->Transactions());
    clients_.End();
    quorvel_.Close();
    const RemoteQuorvel::Ending ending = quorvel_.WaitExitOrDialog();
    if (ending.exit_code != std::optional<DWORD>(0)) {
      Fail(kProgram, "on the close Quorvel.exe " + RemoteQuorvel::Describe(ending));
      quorvel_.Terminate();
      return false;
    }
    return true;
  }

  std::string Minutes() const {
    char text[32];
    std::snprintf(text, sizeof text, "%g", o_.minutes);
    return text;
  }

  std::int64_t Published() const { return log_.Requests() + poker_->PokesTaken(); }

  std::string UpdatesLine() {
    std::string line = "published ";
    line += std::to_string(Published());
    line += ", received";
    for (std::size_t i = 0; i < clients_.Count(); ++i) {
      line += ' ';
      line += std::to_string(clients_.Read(i).updates);
    }
    return line;
  }

  bool Verdict(bool ran) {
    log_.Update();
    bool ok = ran;
    Say("end: " + std::to_string(log_.Requests()) + " readings, " +
        std::to_string(poker_->PokesTaken()) + " pokes taken, " +
        std::to_string(poker_->Transactions()) + " hostile-client transactions");
    std::string missed_line = "missed updates per client:";
    for (std::size_t i = 0; i < clients_.Count(); ++i) {
      const AdviseClients::Received received = clients_.Read(i);
      const std::int64_t missed = Missed({static_cast<std::int64_t>(received.updates),
                                          static_cast<std::int64_t>(received.without_data)},
                                         Published(), slack_);
      missed_line += ' ';
      missed_line += std::to_string(missed);
      ok = ok && missed == 0;
    }
    Say(missed_line + " (of " + std::to_string(Published()) + ")");
    if (poker_->Wrong() != 0) {
      Say("wrong answers to the hostile client: " + std::to_string(poker_->Wrong()) +
          "; the first: " + poker_->FirstWrong());
      ok = false;
    }
    const double end = SecondsSince(started_);
    const auto judge = [&](const char* name, const std::vector<Sample>& samples, bool counts) {
      const Growth growth = GrowthAfterFirstMinute(samples, end);
      const bool grew = counts && growth.grew;
      Say(std::string(name) + ": highest in the first minute " +
          (counts ? Count(growth.first_minute_max) : Megabytes(growth.first_minute_max)) +
          ", lowest in the last minute " +
          (counts ? Count(growth.last_minute_min) : Megabytes(growth.last_minute_min)) +
          (!growth.known ? " (not known)"
           : growth.grew ? (counts ? " GREW" : " (grew)")
                         : " (flat)"));
      return !grew;
    };
    ok = judge("handles", samples_.handles, true) && ok;
    ok = judge("GDI objects", samples_.gdi, true) && ok;
    ok = judge("user objects", samples_.user, true) && ok;
    judge("private bytes", samples_.private_bytes, false);
    Say("private bytes per 1000 conversations of the hostile client: " + PerThousandLine());
    Say(ok ? "soak: passed" : "soak: FAILED");
    return ok;
  }

  // Each transaction of the hostile client is a conversation of its own,
  // opened and closed; the growth is all the program's growth after the
  // first minute, set against them.
  std::string PerThousandLine() const {
    const auto growth = GrowthPerThousand(samples_.private_bytes, samples_.conversations);
    if (!growth) return "? (not known)";
    std::int64_t at_first_minute = 0;
    for (const Sample& sample : samples_.conversations) {
      if (sample.seconds <= 60) at_first_minute = sample.value;
    }
    char figure[32];
    std::snprintf(figure, sizeof figure, "%+.0f", *growth);
    return std::string(figure) + " bytes (" +
           std::to_string(samples_.conversations.back().value - at_first_minute) +
           " conversations after the first minute)";
  }

  // Under Wine every update to K links needs K - 1 more references to the
  // item's atom (see ReserveAtomReferences).
  void ReserveAhead(int minutes) {
    if (wine_) {
      ReserveAtomReferences(items_, o_.clients,
                            MostReadingsPerSensor(kBaud, items_.size(), 60.0 * minutes));
    }
  }
  void BeforePoke(const std::string& item) {
    if (wine_) ReserveAtomReferences({item}, o_.clients, 1);
  }

  const Options& o_;
  std::string folder_;
  SimulatorLog log_;
  bool wine_;
  quorvel::config::Settings settings_;
  std::vector<std::string> items_;
  RemoteQuorvel quorvel_;
  AdviseClients clients_;
  std::unique_ptr<DdePoker> poker_;
  Samples samples_;
  ULONGLONG started_ = 0;
  std::int64_t slack_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  Options o;
  CommandLine<char> line;
  line.Number("--minutes", o.minutes, [](auto m) { return m >= 1; })
      .Number("--clients", o.clients, [](auto k) { return k >= 1 && k <= 50; })
      .Number("--sample-seconds", o.sample_seconds, [](auto s) { return s >= 1; });
  if (const Refusal<char> refused = line.Walk(argc, argv)) {
    SayBadArgument(kProgram, refused, "runs/soak/soak_win.cpp");
    return 2;
  }
  if (std::getenv("QUORVEL_RUN") == nullptr || std::getenv("QUORVEL_SIM_LOG") == nullptr) {
    Fail(kProgram,
         "QUORVEL_RUN or QUORVEL_SIM_LOG is not set: run this program through scripts/soak.sh");
    return 2;
  }
  Soak soak(o);
  return soak.Run() ? 0 : 1;
}
