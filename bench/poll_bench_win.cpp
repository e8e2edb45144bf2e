// The poll cycle of Quorvel.exe itself, driven from outside as a user and a
// workbook would drive it, against the simulator (run by bench.sh under
// Wine):
//
//   PollBench.exe --baud B --sensor ADDR:CH --bus FIRST:DEVICES:CHANNELS
//                 [--port N] [--seconds S] [--clients K] [--phases LIST]
//                 [--silent ADDR,ADDR...] [--mqtt-buffer N] [--plain]
//
// LIST is some of one,bus,wait,start,memory,silent,mqtt (default all but silent
// and mqtt, in that order); silent needs --silent, the devices of the bus
// that the simulator keeps silent; mqtt needs the run's broker
// (tools/winerun.sh --broker).
// --sensor is a 'count' channel (its value goes up by one per request, so
// each reading names the request it answers); --bus is DEVICES devices from
// address FIRST with channels 1..CHANNELS each, DEVICES x CHANNELS = 500
// sensors. Each phase runs a fresh Quorvel.exe in a folder of the run, its
// settings written first (port N, default 3; speed B; reply time-out 400 ms),
// measures for S seconds (default 10) once polling has settled, then stops
// polling and closes the program. Prints, for SET = 1_sensor_B or
// 500_sensors_B (B the speed), polling back to back (no pause between
// cycles), with this process linked to every item:
//   poll.readings_per_s_SET           readings per second, counted from the
//                                     DDE updates received
//   poll.line_limit_per_s_SET         the line-rate limit: B/10 bytes a
//                                     second over the bytes of the request
//                                     and reply frames of those readings
//   poll.line_ratio_SET               the first over the second
//   poll.cpu_per_reading_us_SET       processor time of Quorvel.exe per reading
//   poll.wineserver_cpu_per_reading_us_SET
//                                     the wineserver's (every port read and
//                                     window message goes through it)
// and
//   poll.latency_median_ms_B, poll.latency_p99_ms_B
//                                     one sensor: from the simulator writing a
//                                     reply's last byte (its log's sent= time)
//                                     to this process's DDE callback receiving
//                                     the value (GetSystemTimePreciseAsFile-
//                                     Time); both are CLOCK_REALTIME under Wine
//   poll.wait_cpu_percent_B, poll.wineserver_wait_cpu_percent_B
//                                     one sensor, 1000 ms between cycles: the
//                                     processor time in % of one core
//   poll.start_to_first_reading_ms_B  one sensor, polling started at
//                                     start-up: from the process's creation
//                                     to the first reading this process
//                                     receives (linked as soon as the items
//                                     are served), less the splash's 2.4 s
//   poll.peak_working_set_mb_500_sensors_K_clients,
//   poll.peak_pagefile_mb_500_sensors_K_clients, poll.vm_hwm_mb_...
//                                     Quorvel.exe's peak memory polling the
//                                     500 sensors back to back with K
//                                     DdeClient.exe processes (default 10)
//                                     each linked to all 500 items
//   poll.client_updates_per_s_K_clients
//                                     updates each of those received per
//                                     second: the readings of that run
//   poll.line_ratio_500_sensors_K_clients_B (and its readings, limit and
//   processor times), poll.latency_K_clients_median_ms_B, ..._p99_ms_B
//                                     the same run: the first sensor is the
//                                     'count' sensor, its quality and time
//                                     items linked as well; the latency is
//                                     of every item's updates to this
//                                     process, linked after the clients
// and with --plain, every figure of the phases one..memory again with the
// plain design ([Bus] WaitForReply=0, AdviseDuringRequest=0), named with
// "_plain" at the end;
// and, for the bus with H healthy and D silent devices, a reply time-out of
// 150 ms, the readings per second of the healthy devices alone:
//   poll.healthy_readings_per_s_demotion_off_H_healthy_D_silent_B
//   poll.healthy_readings_per_s_demote_after_3_once_demoted_H_healthy_D_silent_B
//                                     DemoteAfter=3 ([Bus]), measured once
//                                     the log shows each silent device asked
//                                     3 times, so all are demoted
//   poll.healthy_readings_per_s_H_healthy_alone_B
//                                     only the healthy devices' rows in the
//                                     table: the silent ones are never asked
//   poll.healthy_ratio_demote_after_3_to_alone_B,
//   poll.healthy_ratio_demotion_off_to_alone_B
//                                     the second and the first over the third
// and, with --phases monitor, the 500 sensors back to back with the line
// monitor closed and open (its traffic scrolling):
//   poll.*_500_sensors_B_monitor_closed, ..._monitor_open
//   poll.monitor_line_ratio_open_to_closed
// and, with the readings published to the run's broker as well (QoS 1):
//   poll.*_1_sensor_B_mqtt_off, ..._mqtt_on, ..._mqtt_broker_stopped
//                                     the one-sensor figures above (readings,
//                                     line ratio, processor times) with MQTT
//                                     off, on, and on with the broker stopped
//                                     once polling settled (started again
//                                     after the measurement)
//   poll.mqtt_line_ratio_on_to_off, poll.mqtt_line_ratio_broker_stopped_to_off
//   poll.mqtt_latency_median_ms_B, poll.mqtt_latency_p99_ms_B
//                                     in the mqtt_on run: from the reply's
//                                     last byte (sent=) to a mosquitto_sub
//                                     subscriber receiving the message (its
//                                     own CLOCK_REALTIME receive time)
// and, with the OPC UA server on (the run's OPC UA client, --opcua):
//   poll.opcua_latency_median_ms_B, poll.opcua_latency_p99_ms_B
//                                     one 'count' sensor back to back, its
//                                     Value subscribed (sampling 0, trigger
//                                     StatusValueTimestamp): from the reply's
//                                     last byte (sent=) to the client's data
//                                     change (its CLOCK_REALTIME arrival)
//   poll.*_500_sensors_B_opcua_off, ..._opcua_on_10_items_per_sensor
//   poll.opcua_line_ratio_on_to_off   the 500 sensors with the server off,
//                                     then on with 10 monitored items on
//                                     each sensor's Value
//   poll.mqtt_peak_working_set_mb_500_sensors_outbox_empty, ..._full_N,
//   poll.mqtt_bytes_per_queued_message,
//   poll.mqtt_memory_mb_buffer_100000_extrapolated
//                                     the 500 sensors back to back with
//                                     BufferMessages=N (--mqtt-buffer, 3000
//                                     unless given: it fills in under a
//                                     minute): Quorvel.exe's peak
//                                     working set connected with the box
//                                     empty, then once the broker was stopped
//                                     for N readings and a pass more (the box
//                                     full); the growth per message, and what
//                                     it makes of the default buffer
//   poll.mqtt_peak_working_set_growth_kb_outbox_full_next_P_readings
//                                     the growth over P more readings with
//                                     the box full (the oldest dropped): what
//                                     polling alone adds meanwhile
//
// Processor times are read from /proc through drive Z: (each thread's time
// on a processor, in nanoseconds, from its schedstat): Wine gives no
// processor times for another process. The Unix process is found by its
// command line. Memory comes from GetProcessMemoryInfo, which Wine answers
// from the same /proc figures (the working set's peak is VmHWM).
#include <windows.h>
// After windows.h, whose types they use.
#include <psapi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "bus/crc16.h"
#include "bus/frame.h"
#include "config/mqtt_settings.h"
#include "config/settings.h"
#include "poll/poll_run.h"
#include "runs/demo/advise_clients_win.h"
#include "runs/demo/dde_links_win.h"
#include "testkit/broker_win.h"
#include "testkit/message_wait_win.h"
#include "testkit/opcua_client_win.h"
#include "testkit/quorvel_remote_win.h"
#include "tools/cli_options.h"
#include "tools/console_lines.h"
#include "ui/main_form_ids.h"
#include "ui/monitor_form_ids.h"

namespace {

using quorvel::tools::Fail;

using namespace quorvel::remote;
using namespace quorvel::tools;

constexpr char kProgram[] = "PollBench";
// Readings taken after the press before measuring: the program's first
// cycles (the port opening, the first pass) are not what is measured.
constexpr std::size_t kWarmUpReadings = 20;
constexpr int kWaitIntervalMs = 1000;
// The bus with silent devices: each of their rows costs the whole time-out.
constexpr int kSilentTimeOutMs = 150;
constexpr int kDemoteAfter = 3;
// How often the simulator's log is read while waiting for the demotions.
constexpr DWORD kLogLookMs = 100;
constexpr double kMb = 1024.0 * 1024.0;

struct Sensor {
  int address = 0;
  int channel = 0;
};

struct Options {
  int port = 3;
  int baud = 19200;
  double seconds = 10;
  int clients = 10;
  Sensor sensor{1, 1};
  int first_device = 11;
  int devices = 20;
  int channels = 25;
  std::string program;
  std::string client;
  std::string phases = "one,bus,wait,start,memory";
  std::vector<int> silent;  // addresses of the bus that never answer
  // BufferMessages of the mqtt phase's memory run: 500 sensors at 19200
  // bit/s give some 60 readings a second, so 3000 fill in under a minute
  // where the default 100000 would take half an hour.
  int mqtt_buffer = 3000;
  // The phases one..memory again with the plain design (--plain).
  bool plain = false;
};

// "_plain" while the plain design is measured: every figure then carries it.
std::string g_design;

void Print(const std::string& name, double value, const char* unit, const std::string& note = "") {
  std::printf("%s%s = %.6g %s%s\n", name.c_str(), g_design.c_str(), value, unit,
              note.empty() ? "" : ("  (" + note + ")").c_str());
  std::fflush(stdout);
}

// Seconds since 1970 on the system clock, as precisely as it is kept.
double UnixNow() {
  using Precise = void(WINAPI*)(LPFILETIME);
  static const auto precise = reinterpret_cast<Precise>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetSystemTimePreciseAsFileTime")));
  FILETIME now{};
  if (precise != nullptr) {
    precise(&now);
  } else {
    ::GetSystemTimeAsFileTime(&now);
  }
  const auto ticks =
      (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  constexpr unsigned long long kTicksFrom1601To1970 = 116'444'736'000'000'000ULL;
  return static_cast<double>(ticks - kTicksFrom1601To1970) * 1e-7;
}

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// --- Unix processes, through drive Z: ---

// The Unix pid of the Wine process whose command line contains `needle`.
std::string FindUnixPid(const std::string& needle) {
  std::string found;
  WIN32_FIND_DATAA entry{};
  const HANDLE search = ::FindFirstFileA("Z:\\proc\\*", &entry);
  if (search == INVALID_HANDLE_VALUE) return found;
  do {
    const std::string name = entry.cFileName;
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    if (ReadWhole("Z:\\proc\\" + name + "\\cmdline").find(needle) != std::string::npos) {
      found = name;
    }
  } while (found.empty() && ::FindNextFileA(search, &entry));
  ::FindClose(search);
  return found;
}

// Processor seconds of every thread of a Unix process: the first field of
// each thread's schedstat, in nanoseconds.
double UnixCpuSeconds(const std::string& pid) {
  if (pid.empty()) return 0;
  const std::string tasks = "Z:\\proc\\" + pid + "\\task\\";
  WIN32_FIND_DATAA entry{};
  const HANDLE search = ::FindFirstFileA((tasks + "*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return 0;
  double ns = 0;
  do {
    if (entry.cFileName[0] == '.') continue;
    std::istringstream fields(ReadWhole(tasks + entry.cFileName + "\\schedstat"));
    double on_cpu = 0;
    if (fields >> on_cpu) ns += on_cpu;
  } while (::FindNextFileA(search, &entry));
  ::FindClose(search);
  return ns * 1e-9;
}

// VmHWM of a Unix process (its peak resident set), in bytes; 0 if unknown.
double UnixPeakResidentBytes(const std::string& pid) {
  std::istringstream status(ReadWhole("Z:\\proc\\" + pid + "\\status"));
  for (std::string line; std::getline(status, line);) {
    if (!line.starts_with("VmHWM:")) continue;
    std::istringstream value(line.substr(6));
    double kb = 0;
    value >> kb;
    return kb * 1024;
  }
  return 0;
}

// Handles messages until `done` holds, looking at it at most every
// `every_ms`: for conditions that read a whole file.
bool LookUntil(const std::function<bool()>& done, DWORD every_ms, DWORD timeout_ms) {
  DWORD looked = 0;
  bool held = false;
  PumpUntil(
      [&] {
        if (::GetTickCount() - looked < every_ms) return false;
        looked = ::GetTickCount();
        return held = done();
      },
      timeout_ms);
  return held;
}

// --- The simulator's log ---

// The CLOCK_REALTIME second at which the reply to each request for one
// channel went out, request by request from the simulator's start (nothing
// for a request not answered). A 'count' channel answers request k with k.
std::vector<std::optional<double>> SentTimes(const Sensor& sensor) {
  std::vector<std::optional<double>> sent;
  const char* log = std::getenv("QUORVEL_SIM_LOG");
  if (log == nullptr) return sent;
  const std::string addr = "addr=" + std::to_string(sensor.address);
  const std::string cmd = "cmd=" + quorvel::poll::ReadingCommand(sensor.channel);
  std::istringstream lines(ReadWhole(WindowsPathOf(log)));
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    bool ours_addr = false, ours_cmd = false;
    std::optional<double> time;
    for (std::string field; fields >> field;) {
      ours_addr = ours_addr || field == addr;
      ours_cmd = ours_cmd || field == cmd;
      double seconds = 0;
      if (field.starts_with("sent=") && ParseNumber(std::string_view(field).substr(5), seconds)) {
        time = seconds;
      }
    }
    if (ours_addr && ours_cmd) sent.push_back(time);
  }
  return sent;
}

// The CLOCK_REALTIME seconds at which each reply to `sensor` went out, in
// order; the requests not answered left out.
std::vector<double> AnsweredTimes(const std::vector<std::optional<double>>& sent) {
  std::vector<double> times;
  for (const std::optional<double>& t : sent) {
    if (t) times.push_back(*t);
  }
  return times;
}

// Requests the simulator has logged so far, by address.
std::map<int, std::size_t> RequestsByAddress() {
  std::map<int, std::size_t> requests;
  const char* log = std::getenv("QUORVEL_SIM_LOG");
  if (log == nullptr) return requests;
  std::istringstream lines(ReadWhole(WindowsPathOf(log)));
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    for (std::string field; fields >> field;) {
      int address = 0;
      if (field.starts_with("addr=") && ParseNumber(std::string_view(field).substr(5), address)) {
        ++requests[address];
      }
    }
  }
  return requests;
}

// --- Frames ---

// Bytes on the line for one reading: the request frame and the reply frame
// '!' ADDRESS ';' VALUE ';' CHECKSUM CR.
std::size_t LineBytes(const Sensor& sensor, std::string_view value) {
  const std::string checked = std::to_string(sensor.address) + ";" + std::string(value) + ";";
  const std::string reply = "!" + checked + std::to_string(quorvel::bus::Crc16(checked)) + "\r";
  return quorvel::bus::BuildRequest(quorvel::poll::ReadingCommand(sensor.channel), sensor.address)
             .size() +
         reply.size();
}

// The value of an update: CF_TEXT data up to its NUL, without the line end.
std::string UpdateValue(std::string_view bytes) {
  bytes = bytes.substr(0, bytes.find('\0'));
  while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r')) bytes.remove_suffix(1);
  return std::string(bytes);
}

// The value of nearest rank.
double Percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto rank =
      static_cast<std::size_t>(std::lround(fraction * static_cast<double>(values.size() - 1)));
  return values[std::min(rank, values.size() - 1)];
}

// --- One Quorvel.exe and its updates ---

struct Update {
  double at = 0;  // UnixNow() in the callback
  std::size_t item = 0;
  std::string value;
};

class Phase {
 public:
  Phase(const Options& options, std::string name, std::vector<Sensor> sensors, int interval_ms)
      : o_(options), name_(std::move(name) + g_design), sensors_(std::move(sensors)) {
    ConfigureRun(settings_, o_.port, o_.baud, static_cast<int>(sensors_.size()));
    // The plain design: a wait that looks at the port without pause, and
    // the clients told of each reading before the next request is written.
    settings_.SetWaitForReply(g_design.empty() ? quorvel::config::kDefaultWaitForReply : 0);
    settings_.SetAdviseDuringRequest(g_design.empty());
    settings_.SetTimeOut(400);
    settings_.SetTimeOutCycle(interval_ms);
    for (std::size_t i = 0; i < sensors_.size(); ++i) {
      SetSensor(settings_, static_cast<int>(i) + 1, sensors_[i].address, sensors_[i].channel);
    }
  }

  // Starts the program, idle, and finds its Unix process.
  bool Start() {
    if (!Launch() || !WaitStarted()) return false;
    const std::string needle = Folder() + "Quorvel.exe";
    PumpUntil([&] { return !(unix_pid_ = FindUnixPid(needle)).empty(); }, kProgramWaitMs);
    if (unix_pid_.empty()) {
      Fail(kProgram, name_ + ": the Unix process of Quorvel.exe was not found");
      return false;
    }
    return true;
  }

  // The sensors' item names, as the table names them.
  std::vector<std::string> Items() const {
    std::vector<std::string> items;
    for (std::size_t i = 0; i < sensors_.size(); ++i) {
      items.push_back(settings_.table().Cell(0, static_cast<int>(i) + 1));
    }
    return items;
  }

  // Links this process to every sensor's item.
  bool Link() {
    std::string error;
    if (!TryLink(&error)) {
      Fail(kProgram, name_ + ": " + error);
      return false;
    }
    return true;
  }

  // The phase's folder in the run, with its program and files.
  std::string Folder() const {
    return WindowsPathOf(std::getenv("QUORVEL_RUN")) + "\\poll-bench-" + name_ + "\\";
  }

  // Starts the program and returns at once: what happens before its main
  // window shows is measured.
  bool Launch() {
    std::string error;
    const std::string folder = Folder();
    if (!PrepareFolder(o_.program, folder, settings_, &error)) {
      Fail(kProgram, name_ + ": " + error);
      return false;
    }
    launched_at_ = UnixNow();
    if (!quorvel_.Launch(folder, /*arguments=*/"", &error)) {
      Fail(kProgram, name_ + ": " + error);
      return false;
    }
    return true;
  }

  // After a Launch: links to every item as soon as the DDE service answers.
  bool LinkOnceServed() {
    std::string error;
    if (!PumpUntil([&] { return TryLink(&error); }, kProgramWaitMs)) {
      Fail(kProgram, name_ + ": not linked after the start: " + error);
      return false;
    }
    return true;
  }

  // After a Launch: waits until the main window shows, as Start does.
  bool WaitStarted() {
    std::string error;
    if (!quorvel_.WaitStarted(&error)) {
      Fail(kProgram, name_ + ": " + error);
      return false;
    }
    return true;
  }

  // The first update that carries a reading (not the text of an item not
  // read yet), UnixNow() when it came; 0 before.
  double first_reading_at() const { return first_reading_at_; }
  double launched_at() const { return launched_at_; }

  // Presses Start and waits for the first readings.
  bool StartPolling() {
    quorvel_.PressStartStop();
    if (!quorvel_.WaitPolling(true)) {
      Fail(kProgram, name_ + ": polling did not start");
      return false;
    }
    if (links_ && !PumpUntil([&] { return received_ >= kWarmUpReadings; }, kProgramWaitMs)) {
      Fail(kProgram, name_ + ": no readings came");
      return false;
    }
    return true;
  }

  // Handles messages (and the updates) for the measured time; false when the
  // program ended meanwhile.
  bool Measure() {
    server_pid_ =
        std::getenv("QUORVEL_WINESERVER_PID") ? std::getenv("QUORVEL_WINESERVER_PID") : "";
    const double cpu = UnixCpuSeconds(unix_pid_);
    const double server_cpu = UnixCpuSeconds(server_pid_);
    started_ = UnixNow();
    recording_ = true;
    const bool ran = PumpFor(static_cast<DWORD>(o_.seconds * 1000), quorvel_.Process());
    recording_ = false;
    elapsed_ = UnixNow() - started_;
    cpu_ = UnixCpuSeconds(unix_pid_) - cpu;
    server_cpu_ = UnixCpuSeconds(server_pid_) - server_cpu;
    if (!ran) Fail(kProgram, name_ + ": Quorvel.exe ended while polling");
    return ran;
  }

  // Stops polling, unlinks and closes the program (by its handle if it does
  // not close). True when it closed with exit code 0.
  bool Finish() {
    bool ok = quorvel_.StopPolling();
    if (!ok) Fail(kProgram, name_ + ": polling did not stop");
    if (links_) links_->Unlink();
    links_.reset();
    quorvel_.Close();
    const RemoteQuorvel::Ending ending = quorvel_.WaitExitOrDialog();
    if (ending.exit_code != std::optional<DWORD>(0)) {
      Fail(kProgram, name_ + ": on the close Quorvel.exe " + RemoteQuorvel::Describe(ending) +
                         (ending.exit_code || ending.dialog != nullptr ? ""
                          : quorvel_.Answers(5'000) ? "; its window answers messages"
                                                    : "; its window does not answer"));
      quorvel_.Terminate();
      ok = false;
    }
    return ok;
  }

  // Before Start: the settings it is started with.
  quorvel::config::Settings& settings() { return settings_; }
  RemoteQuorvel& quorvel() { return quorvel_; }
  const std::string& unix_pid() const { return unix_pid_; }
  const std::vector<Sensor>& sensors() const { return sensors_; }
  const std::vector<Update>& updates() const { return updates_; }
  double elapsed() const { return elapsed_; }
  double cpu() const { return cpu_; }
  double server_cpu() const { return server_cpu_; }
  // Updates received since Link, in the measured time or not.
  std::size_t received() const { return received_; }

 private:
  bool TryLink(std::string* error) {
    links_ = DdeLinks::Connect(
        "Quorvel", settings_.Topic(),
        [this](std::size_t item, std::string_view bytes) {
          const double at = UnixNow();
          ++received_;
          std::string value = UpdateValue(bytes);
          double number = 0;
          if (first_reading_at_ == 0 && ParseNumber(value, number)) first_reading_at_ = at;
          if (recording_) updates_.push_back({at, item, std::move(value)});
        },
        error);
    if (!links_) return false;
    if (links_->Link(Items(), error)) return true;
    links_.reset();
    return false;
  }

  const Options& o_;
  std::string name_;
  std::vector<Sensor> sensors_;
  quorvel::config::Settings settings_;
  RemoteQuorvel quorvel_;
  std::string unix_pid_;
  std::string server_pid_;
  std::unique_ptr<DdeLinks> links_;
  std::size_t received_ = 0;
  double launched_at_ = 0;
  double first_reading_at_ = 0;
  bool recording_ = false;
  std::vector<Update> updates_;
  double started_ = 0;
  double elapsed_ = 0;
  double cpu_ = 0;
  double server_cpu_ = 0;
};

std::vector<Sensor> BusSensors(const Options& o) {
  std::vector<Sensor> sensors;
  for (int d = 0; d < o.devices; ++d) {
    for (int c = 1; c <= o.channels; ++c) sensors.push_back({o.first_device + d, c});
  }
  return sensors;
}

// Readings per second and their ratio to the line-rate limit; returns the
// ratio.
double PrintThroughput(const Options& o, const Phase& phase, const std::string& suffix) {
  double line_seconds = 0;
  for (const Update& u : phase.updates()) {
    line_seconds += static_cast<double>(LineBytes(phase.sensors()[u.item], u.value)) * 10 / o.baud;
  }
  const double readings = static_cast<double>(phase.updates().size());
  const double rate = readings / phase.elapsed();
  const double ratio = line_seconds / phase.elapsed();
  Print("poll.readings_per_s_" + suffix, rate, "1/s");
  Print("poll.line_limit_per_s_" + suffix, readings > 0 ? readings / line_seconds : 0, "1/s",
        std::to_string(o.baud) + "/10 / (request + reply bytes)");
  Print("poll.line_ratio_" + suffix, ratio, "ratio", "target >= 0.95");
  Print("poll.cpu_per_reading_us_" + suffix, readings > 0 ? phase.cpu() / readings * 1e6 : 0, "us");
  Print("poll.wineserver_cpu_per_reading_us_" + suffix,
        readings > 0 ? phase.server_cpu() / readings * 1e6 : 0, "us");
  return ratio;
}

// A 'count' value as it arrived: the request it names (nothing when it is
// not a number) and when.
struct Arrival {
  std::optional<std::size_t> request;
  double at = 0;
};

// The request a 'count' channel's value names: its number.
std::optional<std::size_t> RequestOf(std::string_view value) {
  std::size_t request = 0;
  if (!ParseNumber(value, request)) return std::nullopt;
  return request;
}

// Milliseconds from the simulator writing each request's reply to the
// arrival of its value; fails naming `what` for arrivals the log has no
// send time for.
std::vector<double> Latencies(const Sensor& sensor, const std::vector<Arrival>& arrivals,
                              const std::string& what) {
  const std::vector<std::optional<double>> sent = SentTimes(sensor);
  std::vector<double> latencies;
  for (const Arrival& a : arrivals) {
    if (!a.request || *a.request >= sent.size() || !sent[*a.request]) continue;
    latencies.push_back((a.at - *sent[*a.request]) * 1e3);
  }
  if (latencies.size() < arrivals.size()) {
    Fail(kProgram, std::to_string(arrivals.size() - latencies.size()) + " " + what +
                       " had no send time in the simulator's log");
  }
  return latencies;
}

// Milliseconds from the last reply for an item's sensor that went out before
// each update of the item: for a bus whose pass is long beside a latency,
// where each update has no earlier reply of its sensor to be mistaken for.
std::vector<double> LatenciesByItem(const std::vector<Sensor>& sensors,
                                    const std::vector<Update>& updates) {
  std::map<std::pair<int, int>, std::vector<double>> sent;
  for (const Sensor& s : sensors) {
    auto& times = sent[{s.address, s.channel}];
    if (times.empty()) times = AnsweredTimes(SentTimes(s));
  }
  std::vector<double> latencies;
  for (const Update& u : updates) {
    const std::vector<double>& times = sent[{sensors[u.item].address, sensors[u.item].channel}];
    const auto after = std::upper_bound(times.begin(), times.end(), u.at);
    if (after != times.begin()) latencies.push_back((u.at - *std::prev(after)) * 1e3);
  }
  if (latencies.size() < updates.size()) {
    Fail(kProgram, std::to_string(updates.size() - latencies.size()) +
                       " updates came before any reply of their sensor in the simulator's log");
  }
  return latencies;
}

void PrintLatencies(const std::string& prefix, const std::string& b,
                    const std::vector<double>& latencies, const std::string& median_note,
                    const std::string& p99_note) {
  Print(prefix + "_median_ms_" + b, Percentile(latencies, 0.5), "ms", median_note);
  Print(prefix + "_p99_ms_" + b, Percentile(latencies, 0.99), "ms", p99_note);
}

bool BackToBackOneSensor(const Options& o) {
  Phase phase(o, "one", {o.sensor}, /*interval_ms=*/0);
  bool ok = phase.Start() && phase.Link() && phase.StartPolling() && phase.Measure();
  ok = phase.Finish() && ok;
  if (!ok) return false;
  const std::string b = std::to_string(o.baud);
  PrintThroughput(o, phase, "1_sensor_" + b);

  std::vector<Arrival> arrivals;
  for (const Update& u : phase.updates()) arrivals.push_back({RequestOf(u.value), u.at});
  const std::vector<double> latencies = Latencies(o.sensor, arrivals, "readings");
  PrintLatencies("poll.latency", b, latencies, "target < 5 ms", "");
  return !latencies.empty();
}

bool BackToBackBus(const Options& o) {
  Phase phase(o, "bus", BusSensors(o), /*interval_ms=*/0);
  bool ok = phase.Start() && phase.Link() && phase.StartPolling() && phase.Measure();
  ok = phase.Finish() && ok;
  if (ok) {
    PrintThroughput(o, phase,
                    std::to_string(phase.sensors().size()) + "_sensors_" + std::to_string(o.baud));
  }
  return ok;
}

// From the creation of the process to the first reading a linked client
// receives, polling started at start-up (the settings' start option), less
// the splash's 2.4 s, which the main window waits for.
bool StartToFirstReading(const Options& o) {
  constexpr double kSplashSeconds = 2.4;
  Phase phase(o, "start", {o.sensor}, /*interval_ms=*/0);
  phase.settings().SetAutoPoll(true);
  bool ok = phase.Launch() && phase.LinkOnceServed() &&
            PumpUntil([&] { return phase.first_reading_at() > 0; }, kProgramWaitMs);
  if (!ok) Fail(kProgram, "start: no reading came");
  ok = ok && phase.WaitStarted();
  ok = phase.Finish() && ok;
  if (ok) {
    Print("poll.start_to_first_reading_ms_" + std::to_string(o.baud),
          (phase.first_reading_at() - phase.launched_at() - kSplashSeconds) * 1e3, "ms",
          "from the process's creation, less the splash's 2.4 s; target <= 300 ms");
  }
  return ok;
}

bool Waiting(const Options& o) {
  Phase phase(o, "wait", {o.sensor}, kWaitIntervalMs);
  bool ok = phase.Start() && phase.Link() && phase.StartPolling() && phase.Measure();
  ok = phase.Finish() && ok;
  if (ok) {
    const std::string b = std::to_string(o.baud);
    Print("poll.wait_cpu_percent_" + b, phase.cpu() / phase.elapsed() * 100, "%",
          "one sensor, 1000 ms between cycles; target < 2 %");
    Print("poll.wineserver_wait_cpu_percent_" + b, phase.server_cpu() / phase.elapsed() * 100, "%");
  }
  return ok;
}

// The 500 sensors with K client processes linked to every item, and to the
// quality and time items of the first, which is the 'count' sensor: this
// process is linked to that one too, for the latency.
bool Memory(const Options& o) {
  std::vector<Sensor> sensors = BusSensors(o);
  sensors.front() = o.sensor;
  Phase phase(o, "memory", sensors, /*interval_ms=*/0);
  if (!phase.Start()) return false;
  std::vector<std::string> items = phase.Items();
  const std::size_t sensor_items = items.size();
  items.push_back(items.front() + "_Q");
  items.push_back(items.front() + "_T");
  const std::string folder = phase.Folder();
  AdviseClients clients;
  std::string error;
  bool ok = clients.Start(o.client, folder, "Quorvel", "ZORVIK", items, o.clients, &error) &&
            PumpUntil([&] { return clients.AllPrinted("linked " + items.back()); }, 300'000);
  if (!error.empty()) Fail(kProgram, "memory: " + error);
  if (ok) {
    // The clients stay linked for the measurement and the start before it.
    constexpr double kStartSeconds = 10;
    ReserveAtomReferences(items, o.clients,
                          MostReadingsPerSensor(o.baud, items.size(), o.seconds + kStartSeconds));
  } else {
    Fail(kProgram, "memory: the clients did not link every item");
  }
  ok = ok && phase.Link();
  const std::size_t linked_updates = clients.Updates();
  ok = ok && phase.StartPolling() && phase.Measure();
  const std::size_t updates = clients.Updates() - linked_updates;
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof memory;
  const bool counted = ::GetProcessMemoryInfo(phase.quorvel().Process(), &memory, sizeof memory);
  const double hwm = UnixPeakResidentBytes(phase.unix_pid());
  clients.End();
  ok = phase.Finish() && ok;
  if (!ok || !counted) return false;
  const std::string k = std::to_string(o.clients) + "_clients";
  const std::string b = std::to_string(o.baud);
  Print("poll.peak_working_set_mb_500_sensors_" + k,
        static_cast<double>(memory.PeakWorkingSetSize) / kMb, "MB");
  Print("poll.peak_pagefile_mb_500_sensors_" + k,
        static_cast<double>(memory.PeakPagefileUsage) / kMb, "MB");
  Print("poll.vm_hwm_mb_500_sensors_" + k, hwm / kMb, "MB", "peak resident set from /proc");
  // Each pass of the 500 sensors brings every client 502 updates.
  const double per_client = static_cast<double>(updates) / o.clients / phase.elapsed();
  const double readings_per_s =
      per_client * static_cast<double>(sensor_items) / static_cast<double>(items.size());
  double line_seconds = 0;
  for (const Sensor& sensor : BusSensors(o)) {
    line_seconds += static_cast<double>(LineBytes(sensor, "23.45")) * 10 / o.baud;
  }
  const double limit = static_cast<double>(sensor_items) / line_seconds;
  Print("poll.client_updates_per_s_" + k, per_client, "1/s");
  Print("poll.readings_per_s_500_sensors_" + k + "_" + b, readings_per_s, "1/s");
  Print("poll.line_limit_per_s_500_sensors_" + k + "_" + b, limit, "1/s");
  Print("poll.line_ratio_500_sensors_" + k + "_" + b, readings_per_s / limit, "ratio",
        "target >= 0.95");
  Print("poll.cpu_per_reading_us_500_sensors_" + k + "_" + b,
        phase.cpu() / (readings_per_s * phase.elapsed()) * 1e6, "us");
  Print("poll.wineserver_cpu_per_reading_us_500_sensors_" + k + "_" + b,
        phase.server_cpu() / (readings_per_s * phase.elapsed()) * 1e6, "us");
  PrintLatencies("poll.latency_" + k, b, LatenciesByItem(phase.sensors(), phase.updates()),
                 "every item, to this process, linked after the clients; target <= 1 ms",
                 "target <= 3 ms");
  return true;
}

// --- A bus with silent devices ---

bool IsSilent(const Options& o, int address) {
  return std::find(o.silent.begin(), o.silent.end(), address) != o.silent.end();
}

// Channel by channel across the devices (not device by device): healthy and
// silent devices take turns many times a second, so a measurement of a few
// seconds does not depend on where in the pass (over half a minute with
// silent devices asked) it falls.
std::vector<Sensor> InterleavedSensors(const Options& o, bool with_silent) {
  std::vector<Sensor> sensors;
  for (int c = 1; c <= o.channels; ++c) {
    for (int d = 0; d < o.devices; ++d) {
      const int address = o.first_device + d;
      if (with_silent || !IsSilent(o, address)) sensors.push_back({address, c});
    }
  }
  return sensors;
}

// Waits until each silent device has been asked `times` more times than in
// `before`, as the simulator's log tells.
bool WaitAsked(const Options& o, const std::map<int, std::size_t>& before, std::size_t times) {
  return LookUntil(
      [&] {
        const std::map<int, std::size_t> now = RequestsByAddress();
        return std::all_of(o.silent.begin(), o.silent.end(), [&](int address) {
          const auto was = before.find(address);
          const auto is = now.find(address);
          return is != now.end() && is->second >= (was == before.end() ? 0 : was->second) + times;
        });
      },
      kLogLookMs, kProgramWaitMs);
}

// Readings per second of the healthy devices, polled back to back with a
// short time-out; nothing when the run failed.
std::optional<double> HealthyRate(const Options& o, const std::string& name, bool with_silent,
                                  int demote_after) {
  Phase phase(o, name, InterleavedSensors(o, with_silent), /*interval_ms=*/0);
  phase.settings().SetTimeOut(kSilentTimeOutMs);
  phase.settings().SetDemoteAfter(demote_after);
  const std::map<int, std::size_t> before = RequestsByAddress();
  bool ok = phase.Start() && phase.Link() && phase.StartPolling();
  // Not measured while the silent devices are being demoted: the first
  // DemoteAfter misses of each are the price of finding it dead.
  if (ok && demote_after > 0 && !WaitAsked(o, before, static_cast<std::size_t>(demote_after))) {
    Fail(kProgram, name + ": the silent devices were not asked " + std::to_string(demote_after) +
                       " times each");
    ok = false;
  }
  ok = ok && phase.Measure();
  ok = phase.Finish() && ok;
  if (!ok) return std::nullopt;
  // A reading is a value; the error texts are words.
  const auto healthy =
      std::count_if(phase.updates().begin(), phase.updates().end(), [&](const Update& u) {
        return !IsSilent(o, phase.sensors()[u.item].address) && !u.value.empty() &&
               (u.value[0] == '-' || (u.value[0] >= '0' && u.value[0] <= '9'));
      });
  return static_cast<double>(healthy) / phase.elapsed();
}

bool SilentDevices(const Options& o) {
  if (o.silent.empty()) {
    Fail(kProgram, "silent: no --silent devices given");
    return false;
  }
  const std::string b = std::to_string(o.baud);
  const std::string healthy = std::to_string(o.devices - static_cast<int>(o.silent.size()));
  const std::string mixed =
      healthy + "_healthy_" + std::to_string(o.silent.size()) + "_silent_" + b;
  const std::string demote = "demote_after_" + std::to_string(kDemoteAfter);
  const std::optional<double> off = HealthyRate(o, "silent-off", true, 0);
  const std::optional<double> demoted = HealthyRate(o, "silent-demoted", true, kDemoteAfter);
  const std::optional<double> alone = HealthyRate(o, "silent-alone", false, 0);
  if (!off || !demoted || !alone) return false;
  const std::string note = "reply time-out " + std::to_string(kSilentTimeOutMs) + " ms";
  Print("poll.healthy_readings_per_s_demotion_off_" + mixed, *off, "1/s", note);
  Print("poll.healthy_readings_per_s_" + demote + "_once_demoted_" + mixed, *demoted, "1/s",
        note + ", measured once every silent device was demoted");
  Print("poll.healthy_readings_per_s_" + healthy + "_healthy_alone_" + b, *alone, "1/s", note);
  Print("poll.healthy_ratio_" + demote + "_to_alone_" + b, *alone > 0 ? *demoted / *alone : 0,
        "ratio", "target >= 0.9");
  Print("poll.healthy_ratio_demotion_off_to_alone_" + b, *alone > 0 ? *off / *alone : 0, "ratio");
  return true;
}

// --- Readings to the broker as well ---

constexpr int kMqttQos = 1;
constexpr int kDefaultBufferMessages = 100'000;
// Readings polled with the box full after it was measured: what polling
// alone adds meanwhile.
constexpr std::size_t kFullCheckReadings = 1000;
constexpr char kLatencySubscriber[] = "poll-bench-latency";
// How often the subscriber's log (read whole) is looked at while waiting.
constexpr DWORD kSubscriberLookMs = 100;

// The run's broker on its plain listener.
quorvel::config::MqttSettings BrokerMqtt(const quorvel::testing::BrokerPorts& ports,
                                         int buffer_messages) {
  quorvel::config::MqttSettings mqtt;
  mqtt.enabled = true;
  mqtt.host = "127.0.0.1";
  mqtt.port = ports.plain;
  mqtt.qos = kMqttQos;
  mqtt.buffer_messages = buffer_messages;
  return mqtt;
}

bool BrokerFailed(const std::string& what) {
  Fail(kProgram, "mqtt: " + what + ": " + quorvel::testing::BrokerError());
  return false;
}

// The topic of the phase's first sensor, as the program names it by default.
std::string FirstSensorTopic(Phase& phase) {
  return quorvel::config::DefaultTopicRoot("Quorvel", phase.settings().Topic()) + "/" +
         phase.Items().front();
}

// The request a reading's message names: its "value" field.
std::optional<std::size_t> MessageRequest(std::string_view payload) {
  constexpr std::string_view kValue = "\"value\":";
  const std::size_t at = payload.find(kValue);
  if (at == std::string_view::npos) return std::nullopt;
  const std::size_t from = at + kValue.size();
  return RequestOf(payload.substr(from, payload.find_first_of(",}", from) - from));
}

// The subscriber's first receipt of the message of each request from
// `first` to `last`, once that of `last` has come; nothing when it did not
// within kBrokerWaitMs.
std::optional<std::map<std::size_t, double>> Receipts(const std::string& subscriber,
                                                      std::size_t first, std::size_t last) {
  std::map<std::size_t, double> receipts;
  const bool arrived = LookUntil(
      [&] {
        receipts.clear();
        for (const quorvel::testing::ReceivedMessage& m :
             quorvel::testing::ReceivedMessages(subscriber)) {
          // The broker's retained message of an earlier run, sent at the
          // subscription.
          if (m.retained) continue;
          const std::optional<std::size_t> request = MessageRequest(m.payload);
          if (request && *request >= first && *request <= last) {
            receipts.emplace(*request, m.receive_unix_seconds);
          }
        }
        return receipts.contains(last);
      },
      kSubscriberLookMs, quorvel::testing::kBrokerWaitMs);
  if (!arrived) return std::nullopt;
  return receipts;
}

// From the reply's last byte to the subscriber's receipt, for each reading
// of the measured time; fails for readings no message of which came.
std::vector<double> MqttLatencies(const Options& o, const Phase& phase,
                                  const std::string& subscriber) {
  std::vector<std::size_t> requests;
  for (const Update& u : phase.updates()) {
    if (const std::optional<std::size_t> request = RequestOf(u.value)) requests.push_back(*request);
  }
  if (requests.empty()) {
    Fail(kProgram, "mqtt-on: no reading in the measured time");
    return {};
  }
  const auto [first, last] = std::minmax_element(requests.begin(), requests.end());
  const std::optional<std::map<std::size_t, double>> receipts = Receipts(subscriber, *first, *last);
  if (!receipts) {
    Fail(kProgram, "mqtt-on: subscriber " + subscriber +
                       " did not receive the message of request " + std::to_string(*last) + " in " +
                       std::to_string(quorvel::testing::kBrokerWaitMs / 1000) + " s");
    return {};
  }
  std::vector<Arrival> arrivals;
  for (const std::size_t request : requests) {
    const auto receipt = receipts->find(request);
    if (receipt != receipts->end()) arrivals.push_back({request, receipt->second});
  }
  if (arrivals.size() < requests.size()) {
    Fail(kProgram, std::to_string(requests.size() - arrivals.size()) +
                       " readings of the measured time reached no subscriber");
  }
  return Latencies(o.sensor, arrivals, "messages");
}

// Handles messages until the program has sent `count` updates since Link;
// false when none came for kProgramWaitMs meanwhile.
bool WaitUpdates(const Phase& phase, std::size_t count) {
  while (phase.received() < count) {
    const std::size_t seen = phase.received();
    if (!PumpUntil([&] { return phase.received() > seen; }, kProgramWaitMs)) {
      Fail(kProgram, "mqtt: no reading came for " + std::to_string(kProgramWaitMs / 1000) + " s, " +
                         std::to_string(seen) + " of " + std::to_string(count));
      return false;
    }
  }
  return true;
}

bool PeakWorkingSet(Phase& phase, double& bytes) {
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof memory;
  if (!::GetProcessMemoryInfo(phase.quorvel().Process(), &memory, sizeof memory)) {
    Fail(kProgram, "mqtt: GetProcessMemoryInfo failed");
    return false;
  }
  bytes = static_cast<double>(memory.PeakWorkingSetSize);
  return true;
}

// One sensor back to back, the readings published to the broker with MQTT
// on: its line ratio; false when the run failed. With `stop_broker`
// the broker is stopped once polling settled and started after the
// measurement; otherwise a subscriber receives the messages, and the
// latencies to it are printed.
bool MqttOneSensor(const Options& o, const quorvel::testing::BrokerPorts& ports, bool stop_broker,
                   double& ratio) {
  const std::string name = stop_broker ? "broker_stopped" : "on";
  Phase phase(o, "mqtt-" + name, {o.sensor}, /*interval_ms=*/0);
  phase.settings().SetMqtt(BrokerMqtt(ports, kDefaultBufferMessages));
  if (!stop_broker &&
      !quorvel::testing::Subscribe(kLatencySubscriber, FirstSensorTopic(phase), kMqttQos,
                                   /*persistent_session=*/false)) {
    return BrokerFailed("the subscriber did not subscribe");
  }
  bool ok = phase.Start() && phase.Link() && phase.StartPolling();
  bool away = false;
  if (ok && stop_broker) ok = (away = quorvel::testing::StopBroker()) || BrokerFailed("stop");
  ok = ok && phase.Measure();
  std::vector<double> latencies;
  if (ok && !stop_broker) latencies = MqttLatencies(o, phase, kLatencySubscriber);
  if (away && !quorvel::testing::StartBroker()) ok = BrokerFailed("start");
  ok = phase.Finish() && ok;
  if (!stop_broker && !quorvel::testing::Unsubscribe(kLatencySubscriber)) {
    ok = BrokerFailed("the subscriber did not end");
  }
  if (!ok) return false;
  const std::string b = std::to_string(o.baud);
  ratio = PrintThroughput(o, phase, "1_sensor_" + b + "_mqtt_" + name);
  if (!stop_broker) {
    PrintLatencies("poll.mqtt_latency", b, latencies,
                   "reply's last byte to the subscriber's receipt, QoS " +
                       std::to_string(kMqttQos) + "; target <= 5 ms",
                   "target <= 20 ms");
    return !latencies.empty();
  }
  return true;
}

// The 500 sensors back to back with a small outbox: the peak working set
// connected with the box empty, then with the broker stopped until the box
// is full.
bool MqttMemory(const Options& o, const quorvel::testing::BrokerPorts& ports) {
  Phase phase(o, "mqtt-memory", BusSensors(o), /*interval_ms=*/0);
  phase.settings().SetMqtt(BrokerMqtt(ports, o.mqtt_buffer));
  const std::size_t pass = phase.sensors().size();
  // Two passes polled and published: what polling and the link hold is
  // there, and the broker has taken every message.
  double empty = 0, full = 0, later = 0;
  bool ok = phase.Start() && phase.Link() && phase.StartPolling() && WaitUpdates(phase, 2 * pass) &&
            PeakWorkingSet(phase, empty);
  bool away = false;
  if (ok) ok = (away = quorvel::testing::StopBroker()) || BrokerFailed("stop");
  // From here every reading waits in the box; a pass more than it holds
  // covers those the link took while it still thought itself connected.
  const std::size_t stopped_at = phase.received();
  const std::size_t full_at = stopped_at + static_cast<std::size_t>(o.mqtt_buffer) + pass;
  ok = ok && WaitUpdates(phase, full_at) && PeakWorkingSet(phase, full);
  ok = ok && WaitUpdates(phase, full_at + kFullCheckReadings) && PeakWorkingSet(phase, later);
  if (away && !quorvel::testing::StartBroker()) ok = BrokerFailed("start");
  ok = phase.Finish() && ok;
  if (!ok) return false;
  const std::string set = std::to_string(pass) + "_sensors";
  const std::string small = std::to_string(o.mqtt_buffer);
  const double per_message = (full - empty) / o.mqtt_buffer;
  Print("poll.mqtt_peak_working_set_mb_" + set + "_outbox_empty", empty / kMb, "MB",
        "connected, after two passes");
  Print("poll.mqtt_peak_working_set_mb_" + set + "_outbox_full_" + small, full / kMb, "MB",
        "BufferMessages=" + small + ", the broker stopped for " +
            std::to_string(full_at - stopped_at) + " readings");
  Print("poll.mqtt_peak_working_set_growth_kb_outbox_full_next_" +
            std::to_string(kFullCheckReadings) + "_readings",
        (later - full) / 1024, "kB", "the box full, its oldest dropped");
  Print("poll.mqtt_bytes_per_queued_message", per_message, "B", "(full - empty) / " + small);
  Print("poll.mqtt_memory_mb_buffer_" + std::to_string(kDefaultBufferMessages) + "_extrapolated",
        (empty + per_message * kDefaultBufferMessages) / kMb, "MB",
        "extrapolated, not measured: empty + " + std::to_string(kDefaultBufferMessages) +
            " x bytes per queued message");
  return true;
}

// The 500 sensors back to back twice: with the line monitor closed, then
// open (through the menu, before polling starts) with its traffic scrolling.
bool MonitorPhases(const Options& o) {
  const std::string b = std::to_string(o.baud);
  double ratios[2] = {0, 0};
  for (const bool open : {false, true}) {
    Phase phase(o, open ? "monitor-open" : "monitor-closed", BusSensors(o), /*interval_ms=*/0);
    bool ok = phase.Start();
    if (ok && open) {
      ::PostMessageW(phase.quorvel().Main(), WM_COMMAND, quorvel::ui::kMonitorMenuId, 0);
      ok = PumpUntil(
          [&] {
            const HWND monitor = ::FindWindowW(quorvel::ui::kMonitorFormClass, nullptr);
            return monitor != nullptr && ::IsWindowVisible(monitor);
          },
          kProgramWaitMs);
      if (!ok) Fail(kProgram, "the line monitor did not open");
    }
    ok = ok && phase.Link() && phase.StartPolling() && phase.Measure();
    ok = phase.Finish() && ok;
    if (!ok) return false;
    ratios[open ? 1 : 0] = PrintThroughput(
        o, phase, "500_sensors_" + b + (open ? "_monitor_open" : "_monitor_closed"));
  }
  Print("poll.monitor_line_ratio_open_to_closed", ratios[1] / ratios[0], "ratio", "target >= 0.98");
  return true;
}

// The server on 127.0.0.1 for anonymous, unsecured sessions.
quorvel::config::OpcUaSettings OpenOpcUa(int port) {
  quorvel::config::OpcUaSettings opcua;
  opcua.enabled = true;
  opcua.port = port;
  opcua.anonymous = true;
  opcua.security_none = true;
  return opcua;
}

quorvel::testing::UaConnection OpcUaAt(int port) {
  return {"opc.tcp://127.0.0.1:" + std::to_string(port), "None", "None", "trusted", "", ""};
}

// The node id of the Value of the phase's sensor at `index`.
std::string ValueNode(std::size_t index) {
  return "ns=1;s=Quorvel.ZORVIK." + std::to_string(index + 1) + ".Value";
}

// Once the server lets a client in.
bool OpcUaServing(const quorvel::testing::UaConnection& c) {
  quorvel::testing::UaAnswer answer;
  const bool up = PumpUntil(
      [&] { return (answer = quorvel::testing::AskUaClient(c, "\"op\":\"connect\"")).done; },
      kProgramWaitMs);
  if (!up) Fail(kProgram, "opcua: the server let no client in: " + answer.error);
  return up;
}

bool OpcUaLatency(const Options& o, int port) {
  Phase phase(o, "opcua-latency", {o.sensor}, /*interval_ms=*/0);
  phase.settings().SetOpcUa(OpenOpcUa(port));
  quorvel::testing::UaSubscription subscription;
  std::string error;
  bool ok = phase.Start() && OpcUaServing(OpcUaAt(port));
  if (ok && !(ok = subscription.Start(OpcUaAt(port), {ValueNode(0)}, &error))) {
    Fail(kProgram, "opcua: " + error);
  }
  ok = ok && phase.Link() && phase.StartPolling() && phase.Measure();
  ok = phase.Finish() && ok;
  const quorvel::testing::UaAnswer changes = subscription.Stop();
  if (!ok) return false;
  if (!changes.done) {
    Fail(kProgram, "opcua: the subscription: " + changes.error);
    return false;
  }
  // NODE STATUS SOURCE_MS ARRIVED_MS VALUE, the value a 'count'.
  std::vector<Arrival> arrivals;
  for (const std::string& line : changes.lines) {
    std::istringstream fields(line);
    std::string node, status, source, arrived, value;
    fields >> node >> status >> source >> arrived >> value;
    double at = 0;
    if (status != "Good" || !ParseNumber(arrived, at)) continue;
    arrivals.push_back({RequestOf(value), at / 1e3});
  }
  const std::vector<double> latencies = Latencies(o.sensor, arrivals, "data changes");
  PrintLatencies("poll.opcua_latency", std::to_string(o.baud), latencies,
                 "reply's last byte to the client's data change; target <= 10 ms",
                 "target <= 30 ms");
  return !latencies.empty();
}

bool OpcUaPhases(const Options& o) {
  const int port = 48'000 + static_cast<int>(::GetCurrentProcessId() % 1000);
  bool ok = OpcUaLatency(o, port);
  const std::string b = std::to_string(o.baud);
  double ratios[2] = {0, 0};
  for (const bool on : {false, true}) {
    Phase phase(o, on ? "opcua-on" : "opcua-off", BusSensors(o), /*interval_ms=*/0);
    if (on) phase.settings().SetOpcUa(OpenOpcUa(port));
    quorvel::testing::UaSubscription subscription;
    bool run = phase.Start();
    if (run && on) {
      std::vector<std::string> nodes;
      for (std::size_t i = 0; i < phase.sensors().size(); ++i) {
        for (int k = 0; k < 10; ++k) nodes.push_back(ValueNode(i));
      }
      std::string error;
      run = OpcUaServing(OpcUaAt(port)) &&
            subscription.Start(OpcUaAt(port), nodes, &error, /*record=*/false);
      if (!run) Fail(kProgram, "opcua: " + error);
    }
    run = run && phase.Link() && phase.StartPolling() && phase.Measure();
    run = phase.Finish() && run;
    if (on) {
      const quorvel::testing::UaAnswer counted = subscription.Stop();
      if (counted.done && !counted.lines.empty()) {
        std::printf("# opcua: the client counted %s data changes\n", counted.lines[0].c_str());
      }
    }
    if (!run) return false;
    ratios[on ? 1 : 0] = PrintThroughput(
        o, phase, "500_sensors_" + b + (on ? "_opcua_on_10_items_per_sensor" : "_opcua_off"));
  }
  Print("poll.opcua_line_ratio_on_to_off", ratios[1] / ratios[0], "ratio", "target >= 0.98");
  return ok;
}

bool MqttPhases(const Options& o) {
  const std::optional<quorvel::testing::BrokerPorts> ports = quorvel::testing::ReadBrokerPorts();
  if (!ports) {
    Fail(kProgram, "mqtt: no broker's ports: run this program through tools/winerun.sh --broker");
    return false;
  }
  Phase off(o, "mqtt-off", {o.sensor}, /*interval_ms=*/0);
  bool off_ok = off.Start() && off.Link() && off.StartPolling() && off.Measure();
  off_ok = off.Finish() && off_ok;
  double off_ratio = 0, on_ratio = 0, stopped_ratio = 0;
  if (off_ok) {
    off_ratio = PrintThroughput(o, off, "1_sensor_" + std::to_string(o.baud) + "_mqtt_off");
  }
  const bool on_ok = MqttOneSensor(o, *ports, /*stop_broker=*/false, on_ratio);
  const bool stopped_ok = MqttOneSensor(o, *ports, /*stop_broker=*/true, stopped_ratio);
  if (off_ok && off_ratio > 0) {
    if (on_ok) {
      Print("poll.mqtt_line_ratio_on_to_off", on_ratio / off_ratio, "ratio", "target >= 0.98");
    }
    if (stopped_ok) {
      Print("poll.mqtt_line_ratio_broker_stopped_to_off", stopped_ratio / off_ratio, "ratio");
    }
  }
  const bool ok = off_ok && on_ok && stopped_ok;
  return MqttMemory(o, *ports) && ok;
}

// "ADDR,ADDR,...": addresses of the bus.
bool ParseSilent(std::string_view text, Options& o) {
  o.silent.clear();
  for (std::size_t start = 0; start <= text.size();) {
    const std::size_t comma = std::min(text.find(',', start), text.size());
    int address = 0;
    if (!ParseNumber(text.substr(start, comma - start), address)) return false;
    o.silent.push_back(address);
    start = comma + 1;
  }
  return true;
}

bool ParseSensor(std::string_view text, Sensor& sensor) {
  return ParseNumberPair(text, ':', sensor.address, sensor.channel);
}

bool ParseBus(std::string_view text, Options& o) {
  const std::size_t first = text.find(':');
  const std::size_t second = text.find(':', first + 1);
  return first != std::string_view::npos && second != std::string_view::npos &&
         ParseNumber(text.substr(0, first), o.first_device) &&
         ParseNumber(text.substr(first + 1, second - first - 1), o.devices) &&
         ParseNumber(text.substr(second + 1), o.channels) && o.devices * o.channels == 500;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  o.program = ExecutableFolder() + "..\\app\\Quorvel.exe";
  o.client = ExecutableFolder() + "..\\tools\\dde_client\\DdeClient.exe";
  CommandLine<char> line;
  line.Number("--port", o.port)
      .Number("--baud", o.baud)
      .Number("--seconds", o.seconds, [](double s) { return s > 0; })
      .Number("--clients", o.clients, [](int k) { return k > 0; })
      .Value("--sensor", [&](std::string_view value) { return ParseSensor(value, o.sensor); })
      .Value("--bus", [&](std::string_view value) { return ParseBus(value, o); })
      .Value("--silent", [&](std::string_view value) { return ParseSilent(value, o); })
      .Number("--mqtt-buffer", o.mqtt_buffer, [](int n) { return n > 0; })
      .Flag("--plain", o.plain)
      .Text("--phases", o.phases);
  if (const Refusal<char> refused = line.Walk(argc, argv)) {
    SayBadArgument(kProgram, refused, "poll_bench_win.cpp");
    return 2;
  }
  if (std::getenv("QUORVEL_RUN") == nullptr) {
    Fail(kProgram, "QUORVEL_RUN is not set: run this program through tools/winerun.sh");
    return 2;
  }
  const std::string listed = "," + o.phases + ",";
  const auto chosen = [&](std::string_view phase) {
    std::string entry(1, ',');
    entry += phase;
    entry += ',';
    return listed.find(entry) != std::string::npos;
  };
  bool ok = true;
  // Each figure of these phases, then the same figure of the plain design.
  for (const char* design : {"", "_plain"}) {
    if (!o.plain && *design != '\0') break;
    g_design = design;
    if (chosen("one")) ok = BackToBackOneSensor(o) && ok;
    if (chosen("bus")) ok = BackToBackBus(o) && ok;
    if (chosen("wait")) ok = Waiting(o) && ok;
    if (chosen("start")) ok = StartToFirstReading(o) && ok;
    if (chosen("memory")) ok = Memory(o) && ok;
  }
  g_design.clear();
  if (chosen("silent")) ok = SilentDevices(o) && ok;
  if (chosen("mqtt")) ok = MqttPhases(o) && ok;
  if (chosen("monitor")) ok = MonitorPhases(o) && ok;
  if (chosen("opcua")) ok = OpcUaPhases(o) && ok;
  return ok ? 0 : 1;
}
