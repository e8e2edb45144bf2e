// Throughput and processor cost of the bus link through the real Win32
// serial API, against the simulator (run by bench.sh under Wine):
//
//   BusBench.exe --port N --baud B --good ADDR --silent ADDR [--seconds S]
//
// For each way of waiting between reads (woken by the bytes' arrival, as the
// program does; sleeping a tick at a time, as it did; and spinning, the
// plain design, for comparison) it polls one sensor back to back and then a
// silent device, and prints:
//   bus.line_ratio_B[_tick|_spin]       readings per second / the line-rate limit
//   bus.cpu_per_reading_B[_tick|_spin]  processor seconds per reading
//   bus.wait_cpu_B[_tick|_spin]         processor seconds per second of waiting
//   bus.idle_cpu_B                the same while the program only sleeps: what
//                                 the Wine environment costs anyway
// Processor time counts this process and the wineserver (whose pid comes in
// QUORVEL_WINESERVER_PID), since every read goes through the wineserver.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "bus/crc16.h"
#include "bus/frame.h"
#include "bus/message_pump_win.h"
#include "bus/more_com.h"
#include "bus/serial_port_win.h"
#include "tools/cli_options.h"

namespace {

using namespace quorvel::bus;
using namespace quorvel::tools;

double FileTimeSeconds(const FILETIME& t) {
  return (static_cast<double>(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) * 1e-7;
}

double OwnCpuSeconds() {
  FILETIME created, exited, kernel, user;
  ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
  return FileTimeSeconds(kernel) + FileTimeSeconds(user);
}

// utime + stime of a Unix process, read through drive Z:; 0 if unavailable.
double UnixCpuSeconds(const char* pid) {
  if (pid == nullptr) return 0;
  std::ifstream in(std::string("Z:\\proc\\") + pid + "\\stat");
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t close = stat.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(stat.substr(close + 2));
  std::string field;
  double ticks = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    double value = 0;
    if ((i == 14 || i == 15) && quorvel::tools::ParseNumber(field, value)) ticks += value;
  }
  return ticks / 100.0;  // USER_HZ
}

double CpuSeconds() {
  return OwnCpuSeconds() + UnixCpuSeconds(std::getenv("QUORVEL_WINESERVER_PID"));
}

struct Options {
  int port = 3;
  int baud = 9600;
  int good = 5;
  int silent = 6;
  double seconds = 5;
};

void Print(const std::string& name, double value, const char* unit) {
  std::printf("%s = %.6g %s\n", name.c_str(), value, unit);
  std::fflush(stdout);
}

void Measure(MoreCOM& bus, const Options& o, SteadyClock& clock, const std::string& suffix) {
  const int index = o.port - 1;
  const std::string cmd = "1;3;";
  const double timeout = 0.4 * 1.15e-5;

  // Back to back readings.
  const std::int64_t end = clock.NowNs() + static_cast<std::int64_t>(o.seconds * 1e9);
  const std::int64_t start = clock.NowNs();
  const double cpu_start = CpuSeconds();
  long readings = 0;
  std::size_t reply_bytes = 0;
  while (clock.NowNs() < end) {
    if (bus.Transact(cmd, o.good, timeout)) {
      ++readings;
      reply_bytes = bus.Slots[index].RxText.size();
    }
  }
  const double elapsed = (clock.NowNs() - start) * 1e-9;
  const double cpu = CpuSeconds() - cpu_start;
  const double line_seconds =
      static_cast<double>(BuildRequest(cmd, o.good).size() + reply_bytes) * 10.0 / o.baud;
  const std::string b = std::to_string(o.baud) + suffix;
  Print("bus.line_ratio_" + b, readings / elapsed * line_seconds, "ratio");
  Print("bus.cpu_per_reading_" + b, readings ? cpu / readings : 0, "s");

  // Waiting for a device that never answers.
  const double wait_timeout = 1.0 * 1.15e-5;
  const std::int64_t wait_start = clock.NowNs();
  const double wait_cpu_start = CpuSeconds();
  const std::int64_t wait_end = wait_start + static_cast<std::int64_t>(o.seconds * 1e9);
  while (clock.NowNs() < wait_end) bus.Transact(cmd, o.silent, wait_timeout);
  const double waited = (clock.NowNs() - wait_start) * 1e-9;
  Print("bus.wait_cpu_" + b, (CpuSeconds() - wait_cpu_start) / waited, "s/s");
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  CommandLine<char> line;
  line.Number("--port", o.port)
      .Number("--baud", o.baud)
      .Number("--good", o.good)
      .Number("--silent", o.silent)
      .Number("--seconds", o.seconds);
  if (const Refusal<char> refused = line.Walk(argc, argv)) {
    SayNotANumber("BusBench", refused);
    if (refused.why == Refused::kUnknown) SayUnknownArgument("BusBench", refused);
    return 2;
  }

  Win32PortDriver driver;
  SteadyClock clock;
  {
    const double cpu_start = CpuSeconds();
    const std::int64_t start = clock.NowNs();
    ::Sleep(static_cast<DWORD>(o.seconds * 500));
    Print("bus.idle_cpu_" + std::to_string(o.baud),
          (CpuSeconds() - cpu_start) / ((clock.NowNs() - start) * 1e-9), "s/s");
  }
  Win32MessagePump pump;
  const std::pair<ReplyWait, const char*> waits[] = {
      {ReplyWait::kArrival, ""}, {ReplyWait::kTick, "_tick"}, {ReplyWait::kSpin, "_spin"}};
  for (const auto& [wait, suffix] : waits) {
    MoreCOM bus(driver, clock, pump);
    bus.Wait = wait;
    bus.BaudRate = o.baud;
    bus.SelectedMask = PortBit[o.port - 1];
    if (!bus.OpenPorts()) {
      std::fprintf(stderr, "BusBench: cannot open COM%d (status %d)\n", o.port,
                   bus.Slots[o.port - 1].Status);
      return 1;
    }
    Measure(bus, o, clock, suffix);
    bus.ClosePorts();
  }
  return 0;
}
