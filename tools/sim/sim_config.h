// What the simulator was asked to simulate, as read from its command line.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/sim/sim_time.h"

namespace quorvel::sim {

// Where a channel's readings come from.
struct ChannelSource {
  enum class Kind { kFixed, kWave, kCount };
  Kind kind = Kind::kFixed;
  std::string fixed;  // kFixed: sent as it is
  double base = 0;    // kWave: base + amp * sin(2 pi t / period)
  double amp = 0;
  double period = 1;
};

// Misbehaviours of a device; any number may be combined.
struct Faults {
  bool silent = false;
  bool partial = false;
  bool noise = false;
  bool noise_only = false;
  std::optional<std::size_t> overlong;  // total reply length, '!' through CR
  bool bad_crc = false;
  bool bad_addr = false;
  bool extra_field = false;
  bool bytewise = false;
  bool trailing = false;
  Nanos delay{0};
  Nanos silent_for{0};  // no answer until this long after the start
};

struct DeviceConfig {
  int address = 0;
  std::map<std::uint32_t, ChannelSource> channels;
  Faults faults;
};

// A time when the port's pseudo-terminal is taken away (its link removed,
// both ends closed, as a USB adapter pulled out) and a new one brought up at
// the same link, both counted from the simulator's start.
struct Outage {
  Nanos from{0};
  Nanos until{0};
};

struct PortConfig {
  std::string link;
  std::uint32_t baud = 0;  // 0: the line is not paced
  std::vector<DeviceConfig> devices;
  std::optional<Outage> outage;
};

struct SimConfig {
  bool show_help = false;
  std::string log_path;    // empty: no log
  std::string ready_path;  // empty: no ready file
  std::optional<Nanos> run_for;
  std::vector<PortConfig> ports;
};

inline constexpr std::uint32_t kMaxBaud = 10'000'000;
inline constexpr std::size_t kMinOverlong = 20;
inline constexpr std::size_t kMaxOverlong = 65535;
inline constexpr std::size_t kDefaultOverlong = 260;

// Reads the arguments after the program name. On a bad command line returns
// nothing and sets `error` to a one-line message naming the bad argument.
std::optional<SimConfig> ParseCommandLine(const std::vector<std::string>& args, std::string* error);

// The --help text.
std::string_view UsageText();

}  // namespace quorvel::sim
