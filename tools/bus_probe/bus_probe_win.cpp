// BusProbe: polls sensors through the real Win32 bus link and prints one line
// per reading (the value, or the status text of a failed exchange), in UTF-8.
//
//   BusProbe.exe --port N [--baud B] [--timeout MS] [--interval MS] [--seconds S] ADDR:CH...
//
// --port is the COM number (1..32); --timeout the reply time-out in ms
// (default 400); --interval the pause between passes in ms (default 500);
// --seconds ends the program after that long (default: never).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/cp1251.h"
#include "bus/frame.h"
#include "bus/line_settings.h"
#include "bus/message_pump_win.h"
#include "bus/more_com.h"
#include "bus/serial_port_win.h"
#include "bus/status_text.h"
#include "tools/clock_text.h"
#include "tools/poll_options.h"

namespace {

using namespace quorvel::bus;
using namespace quorvel::tools;

struct Sensor {
  int address;
  int channel;
};

struct Options {
  int port = 0;
  int baud = 9600;
  int timeout_ms = 400;
  int interval_ms = 500;
  double seconds = -1;
  std::vector<Sensor> sensors;
};

void Print(const std::string& utf8) {
  std::fwrite(utf8.data(), 1, utf8.size(), stdout);
  std::fflush(stdout);
}

bool ParseOptions(int argc, char** argv, Options& options) {
  constexpr const char* kProgram = "BusProbe";
  if (const Refusal<char> refused = PollCommandLine(options).Walk(argc, argv)) {
    SayNotANumber(kProgram, refused);
    if (refused.why == Refused::kArgument)
      Fail(kProgram, "a sensor is ADDRESS:CHANNEL, not '" + std::string(refused.argument) + "'");
    if (refused.why == Refused::kUnknown) SayUnknownArgument(kProgram, refused);
    return false;
  }
  if (options.port < 1 || options.port > kPortCount) {
    std::fprintf(stderr, "BusProbe: --port must be 1..32\n");
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) return 2;

  Win32PortDriver driver;
  SteadyClock clock;
  Win32MessagePump pump;
  MoreCOM bus(driver, clock, pump);
  const int index = options.port - 1;
  const std::string port_name = PortDisplayName(index);

  bus.BaudRate = options.baud;
  bus.SelectedMask = PortBit[index];
  if (!bus.OpenPorts()) {
    Print(port_name + ": " + quorvel::cp1251::ToUtf8(StatusText(bus.Slots[index].Status)) + "\n");
    return 1;
  }
  Print("Polling " + port_name + " at " + std::to_string(options.baud) + " bit/s\n");

  const double timeout_days = options.timeout_ms / 1000.0 * 1.15e-5;
  const std::int64_t end = options.seconds < 0
                               ? INT64_MAX
                               : clock.NowNs() + static_cast<std::int64_t>(options.seconds * 1e9);
  TPortSlot& slot = bus.Slots[index];
  while (clock.NowNs() < end) {
    for (const Sensor& sensor : options.sensors) {
      const std::string cmd = "1;" + std::to_string(sensor.channel) + ";";
      std::string text;
      if (!bus.Transact(cmd, sensor.address, timeout_days)) {
        text = StatusText(slot.Status);
      } else if (ParseReply(slot.RxText.view(), sensor.address, slot.Values, 1)) {
        text = slot.Values[0].str();
      } else {
        text = quorvel::cp1251::Text("Ошибка").view();
      }
      char head[64];
      std::snprintf(head, sizeof head, " %s  device %3d channel %2d  ", port_name.c_str(),
                    sensor.address, sensor.channel);
      Print(quorvel::tools::ClockText() + head + quorvel::cp1251::ToUtf8(text) + "\n");
    }
    const std::int64_t pause_end = clock.NowNs() + std::int64_t{options.interval_ms} * 1'000'000;
    while (clock.NowNs() < pause_end && clock.NowNs() < end) {
      pump.ProcessMessages();
      pump.Idle(std::min<std::int64_t>(pause_end - clock.NowNs(), 50'000'000));
    }
  }
  bus.ClosePorts();
  return 0;
}
