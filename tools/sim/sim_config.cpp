#include "tools/sim/sim_config.h"

#include <charconv>
#include <cmath>
#include <set>

#include "bus/frame.h"

namespace quorvel::sim {

namespace {

constexpr std::string_view kUsage =
    R"(Usage: quorvel-sim [--log FILE] [--ready FILE] [--seconds N] PORT...
  PORT:   --port LINK [--baud N] [--outage AFTER:FOR] DEVICE...
  DEVICE: --device ADDR [--channel CH=SOURCE]... [--fault MODE]...

Simulates instruments on pseudo-terminals. Each --port opens a new
pseudo-terminal and points the symbolic link LINK at its slave (an existing
symbolic link there is replaced; any other file is refused).

  --log FILE     append one line per request received:
                   T PORT check=C addr=A cmd=CMD answer=W line=L sent=S
                 T: CLOCK_MONOTONIC seconds; PORT: basename of LINK;
                 C: ok|bad-start|bad-colon|bad-address|bad-crc;
                 A: address as read, or '-'; CMD: the command, bytes other
                 than printable ASCII, space and '\' written as \xHH;
                 W: reply|silent|no-device|no-channel|not-a-reading|none;
                 L: the line speed the program had set on the port, bit/s,
                 or '-';
                 S: CLOCK_REALTIME seconds at which the reply's last byte
                 was written, or '-' when nothing was sent. A request that
                 is answered is logged as that byte goes out.
  --ready FILE   once every port is up, write FILE (atomically) with one
                 line "LINK /dev/pts/N" per port
  --seconds N    stop after N seconds (default: run until SIGTERM/SIGINT)
  --baud N       pace the port's line at N bit/s, 10 bits a byte (0: off)
  --outage AFTER:FOR
                 AFTER seconds after the start, take the port's
                 pseudo-terminal away (link removed, both ends closed, as an
                 unplugged adapter) and bring a new one up at the same link
                 FOR seconds later; the log gets "T PORT port=away" and
                 "T PORT port=back"
  --device ADDR  a device answering at address ADDR (0..254)
  --channel CH=SOURCE
                 channel CH (0, 1, ...) reads from SOURCE, one of:
                   VALUE                 fixed text of "$-.0123456789"
                   wave:BASE:AMP:PERIOD  BASE + AMP*sin(2*pi*t/PERIOD), t in
                                         seconds since start, 2 decimals
                   count                 0 on the first request, then 1, 2...
  --fault MODE   misbehave; MODE is one of
                   silent      never answer
                   silent-for=SECONDS
                               no answer in the first SECONDS after the
                               start (fractions allowed), then answer
                   partial     leave out the reply's final CR
                   noise       send a few noise bytes before the reply
                   noiseonly   send 200 noise bytes instead of the reply
                   overlong[=L]  a reply of exactly L (>= 20, default 260)
                               characters, '!' through CR, valid checksum
                   badcrc      checksum off by one
                   badaddr     reply from address ADDR+1 (mod 255)
                   extrafield  one more value field "0;"
                   bytewise    one byte a write, each once the last was read
                   delay=MS    start the reply MS milliseconds late
                   trailing    more bytes after the CR, in the same write
  --help         show this text
)";

bool IsDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// A whole decimal number in [min, max], digits only.
std::optional<std::uint64_t> ReadWhole(std::string_view text, std::uint64_t min,
                                       std::uint64_t max) {
  if (!IsDigits(text) || text.size() > 12) return std::nullopt;
  std::uint64_t value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  if (value < min || value > max) return std::nullopt;
  return value;
}

std::optional<double> ReadReal(std::string_view text) {
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

std::string Quoted(std::string_view text) {
  std::string quoted;
  quoted.reserve(text.size() + 2);
  quoted.append(1, '\'').append(text).append(1, '\'');
  return quoted;
}

// Reads one --channel argument, "CH=SOURCE", into `device`.
bool ReadChannel(std::string_view arg, DeviceConfig& device, std::string* error) {
  const auto bad = [&](std::string_view why) {
    *error = "bad --channel " + Quoted(arg) + ": " + std::string(why);
    return false;
  };
  const std::size_t eq = arg.find('=');
  if (eq == std::string_view::npos) return bad("expected CH=SOURCE");
  const auto channel = ReadWhole(arg.substr(0, eq), 0, 999'999'999);
  if (!channel) return bad("CH must be a whole number from 0 to 999999999");
  const std::string_view source_text = arg.substr(eq + 1);

  ChannelSource source;
  if (source_text == "count") {
    source.kind = ChannelSource::Kind::kCount;
  } else if (source_text.starts_with("wave:")) {
    std::vector<std::string_view> parts;
    std::string_view rest = source_text.substr(5);
    for (std::size_t colon; (colon = rest.find(':')) != std::string_view::npos;) {
      parts.push_back(rest.substr(0, colon));
      rest.remove_prefix(colon + 1);
    }
    parts.push_back(rest);
    if (parts.size() != 3) return bad("expected wave:BASE:AMP:PERIOD");
    const auto base = ReadReal(parts[0]);
    const auto amp = ReadReal(parts[1]);
    const auto period = ReadReal(parts[2]);
    if (!base || !amp || !period) return bad("BASE, AMP and PERIOD must be numbers");
    if (*period <= 0) return bad("PERIOD must be above 0");
    source.kind = ChannelSource::Kind::kWave;
    source.base = *base;
    source.amp = *amp;
    source.period = *period;
  } else {
    if (source_text.empty()) return bad("the value is empty");
    for (char c : source_text) {
      if (!bus::IsValueChar(c)) return bad("a value may only use the characters $-.0123456789");
    }
    source.kind = ChannelSource::Kind::kFixed;
    source.fixed = std::string(source_text);
  }
  if (!device.channels.emplace(static_cast<std::uint32_t>(*channel), source).second) {
    return bad("channel " + std::to_string(*channel) + " is already defined for this device");
  }
  return true;
}

// Reads one --fault argument into `faults`.
bool ReadFault(std::string_view arg, Faults& faults, std::string* error) {
  const std::size_t eq = arg.find('=');
  const std::string_view name = arg.substr(0, eq);
  const std::optional<std::string_view> value =
      eq == std::string_view::npos ? std::nullopt : std::optional(arg.substr(eq + 1));
  const auto bad = [&](std::string_view why) {
    *error = "bad --fault " + Quoted(arg) + ": " + std::string(why);
    return false;
  };

  if (name == "overlong") {
    std::size_t length = kDefaultOverlong;
    if (value) {
      const auto read = ReadWhole(*value, kMinOverlong, kMaxOverlong);
      if (!read) return bad("L must be a whole number from 20 to 65535");
      length = static_cast<std::size_t>(*read);
    }
    faults.overlong = length;
    return true;
  }
  if (name == "delay") {
    const auto ms = value ? ReadWhole(*value, 0, 3'600'000) : std::nullopt;
    if (!ms) return bad("expected delay=MS, MS a whole number of milliseconds up to 3600000");
    faults.delay = std::chrono::milliseconds(*ms);
    return true;
  }
  if (name == "silent-for") {
    const auto seconds = value ? ReadReal(*value) : std::nullopt;
    if (!seconds || *seconds <= 0 || *seconds > 1e7) {
      return bad("expected silent-for=SECONDS, a number of seconds above 0");
    }
    faults.silent_for = std::chrono::duration_cast<Nanos>(std::chrono::duration<double>(*seconds));
    return true;
  }
  if (value) return bad("this mode takes no value");

  static const std::map<std::string_view, bool Faults::*> kFlags = {
      {"silent", &Faults::silent},
      {"partial", &Faults::partial},
      {"noise", &Faults::noise},
      {"noiseonly", &Faults::noise_only},
      {"badcrc", &Faults::bad_crc},
      {"badaddr", &Faults::bad_addr},
      {"extrafield", &Faults::extra_field},
      {"bytewise", &Faults::bytewise},
      {"trailing", &Faults::trailing},
  };
  const auto it = kFlags.find(name);
  if (it == kFlags.end()) return bad("unknown mode");
  faults.*(it->second) = true;
  return true;
}

}  // namespace

std::string_view UsageText() {
  return kUsage;
}

std::optional<SimConfig> ParseCommandLine(const std::vector<std::string>& args,
                                          std::string* error) {
  SimConfig config;
  std::set<std::string> links;
  std::set<std::string> baud_given;

  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& option = args[i];
    if (option == "--help" || option == "-h") {
      config.show_help = true;
      return config;
    }

    const bool takes_value = option == "--log" || option == "--ready" || option == "--seconds" ||
                             option == "--port" || option == "--baud" || option == "--device" ||
                             option == "--channel" || option == "--fault" || option == "--outage";
    if (!takes_value) {
      *error = "unknown argument " + Quoted(option);
      return std::nullopt;
    }
    // A value that looks like an option is more likely a forgotten value.
    if (i + 1 == args.size() || args[i + 1].starts_with("--")) {
      *error = "missing value after " + option;
      return std::nullopt;
    }
    const std::string& value = args[++i];
    const auto fail = [&](std::string_view why) {
      *error = "bad ";
      error->append(option).append(" ").append(Quoted(value)).append(": ").append(why);
      return std::nullopt;
    };
    PortConfig* port = config.ports.empty() ? nullptr : &config.ports.back();
    DeviceConfig* device = (port && !port->devices.empty()) ? &port->devices.back() : nullptr;

    if (option == "--log") {
      config.log_path = value;
    } else if (option == "--ready") {
      config.ready_path = value;
    } else if (option == "--seconds") {
      const auto seconds = ReadReal(value);
      if (!seconds || *seconds <= 0 || *seconds > 1e7) {
        return fail("expected a number of seconds above 0");
      }
      config.run_for = std::chrono::duration_cast<Nanos>(std::chrono::duration<double>(*seconds));
    } else if (option == "--port") {
      if (!links.insert(value).second) return fail("this LINK is already used by another --port");
      config.ports.emplace_back().link = value;
    } else if (option == "--baud") {
      if (!port) return fail("--baud must follow a --port");
      if (!baud_given.insert(port->link).second) return fail("--baud given twice for this port");
      const auto baud = ReadWhole(value, 0, kMaxBaud);
      if (!baud) return fail("expected a whole number of bit/s from 0 to 10000000");
      port->baud = static_cast<std::uint32_t>(*baud);
    } else if (option == "--outage") {
      if (!port) return fail("--outage must follow a --port");
      if (port->outage) return fail("--outage given twice for this port");
      const std::size_t colon = value.find(':');
      const auto after =
          colon == std::string::npos ? std::nullopt : ReadReal(value.substr(0, colon));
      const auto span =
          colon == std::string::npos ? std::nullopt : ReadReal(value.substr(colon + 1));
      if (!after || !span || *after < 0 || *span <= 0 || *after > 1e7 || *span > 1e7) {
        return fail("expected AFTER:FOR, seconds, FOR above 0");
      }
      const auto seconds = [](double s) {
        return std::chrono::duration_cast<Nanos>(std::chrono::duration<double>(s));
      };
      port->outage = Outage{seconds(*after), seconds(*after + *span)};
    } else if (option == "--device") {
      if (!port) return fail("--device must follow a --port");
      const auto address = ReadWhole(value, 0, bus::kMaxAddress);
      if (!address) return fail("expected an address from 0 to 254");
      for (const DeviceConfig& other : port->devices) {
        if (other.address == static_cast<int>(*address)) {
          return fail("this address is already used on port " + port->link);
        }
      }
      port->devices.emplace_back().address = static_cast<int>(*address);
    } else if (option == "--channel") {
      if (!device) return fail("--channel must follow a --device");
      if (!ReadChannel(value, *device, error)) return std::nullopt;
    } else {  // --fault
      if (!device) return fail("--fault must follow a --device");
      if (!ReadFault(value, device->faults, error)) return std::nullopt;
    }
  }

  if (config.ports.empty()) {
    *error = "no --port given";
    return std::nullopt;
  }
  for (const PortConfig& port : config.ports) {
    if (port.devices.empty()) {
      *error = "--port " + Quoted(port.link) + " has no --device";
      return std::nullopt;
    }
  }
  return config;
}

}  // namespace quorvel::sim
