// Scripted stand-ins for the serial ports, the clock and the message pump,
// so the exchange runs natively with time that moves only when told.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "bus/port_driver.h"

namespace quorvel::bus::testing {

class FakeClock final : public MonotonicClock {
 public:
  std::int64_t NowNs() override { return now; }
  std::int64_t now = 1'000'000'000;
};

// Idle moves the fake clock; each run of the pump may call a hook, which is
// where a test plays the user (a Stop press) or the device.
class FakePorts;

class FakePump final : public MessagePump {
 public:
  explicit FakePump(FakeClock& clock) : clock_(clock) {}
  // Signals of `ports` are set when their next bytes become readable.
  FakePump(FakeClock& clock, FakePorts& ports);
  void ProcessMessages() override {
    ++pumps;
    if (on_pump) on_pump();
  }
  void Idle(std::int64_t max_ns) override {
    ++idles;
    idle_log.push_back(max_ns);
    longest_idle = std::max(longest_idle, max_ns);
    clock_.now += max_ns;
  }
  // Ends when the first of the signals is set (`set_at` says when: at or
  // after now, or never as INT64_MAX) or after `max_ns`.
  void IdleUntil(std::int64_t max_ns, std::span<const WakeSignal> signals) override {
    std::int64_t end = clock_.now + max_ns;
    for (WakeSignal signal : signals) {
      if (set_at) end = std::min(end, std::max(clock_.now, set_at(signal)));
    }
    clock_.now = end;
  }
  std::function<void()> on_pump;
  std::function<std::int64_t(WakeSignal)> set_at;
  int pumps = 0;
  int idles = 0;
  std::int64_t longest_idle = 0;
  std::vector<std::int64_t> idle_log;

 private:
  FakeClock& clock_;
};

class FakePorts final : public PortDriver {
 public:
  struct Port {
    std::int32_t open_status = 0;  // what Open returns
    bool write_fails = false;
    std::uint32_t write_limit = ~0u;  // a short write takes only this much
    std::int64_t write_ns = 0;        // how long each write lasts
    bool read_fails = false;
    // Each entry is what one read returns once the clock has reached its time.
    std::deque<std::pair<std::int64_t, std::string>> incoming;
    std::string written;
    int opens = 0;
    int closes = 0;
    int purges = 0;
    int reads = 0;
    std::int32_t baud = 0;
    bool open = false;
    bool watched = false;                    // opened for WatchInput
    std::vector<std::uint32_t> watched_for;  // the byte counts asked for
  };

  explicit FakePorts(FakeClock& clock) : clock_(clock) {}

  Port& port(int index) { return ports_[index]; }
  // Makes `text` readable `after_ns` from now, as one read's worth.
  void Deliver(int index, std::string text, std::int64_t after_ns = 0) {
    ports_[index].incoming.emplace_back(clock_.now + after_ns, std::move(text));
  }
  int open_count() const {
    int n = 0;
    for (const auto& [index, p] : ports_) n += p.open ? 1 : 0;
    return n;
  }

  std::int32_t Open(int index, std::int32_t baud_rate, bool watch_input,
                    PortHandle& handle) override {
    Port& p = ports_[index];
    p.watched = watch_input;
    ++p.opens;
    p.baud = baud_rate;
    if (p.open_status != 0) return p.open_status;
    p.open = true;
    handle = static_cast<PortHandle>(index) + 100;
    return 0;
  }
  void Close(PortHandle handle) override {
    Port& p = ports_[static_cast<int>(handle) - 100];
    ++p.closes;
    p.open = false;
  }
  void PurgeInput(PortHandle handle) override { ++at(handle).purges; }
  bool Write(PortHandle handle, const std::uint8_t* data, std::uint32_t size,
             std::uint32_t& written) override {
    Port& p = at(handle);
    if (p.write_fails) return false;
    written = std::min(size, p.write_limit);
    p.written.append(reinterpret_cast<const char*>(data), written);
    clock_.now += p.write_ns;
    return true;
  }
  bool Read(PortHandle handle, std::uint8_t* data, std::uint32_t capacity,
            std::uint32_t& received) override {
    Port& p = at(handle);
    ++p.reads;
    received = 0;
    if (p.read_fails) return false;
    if (p.incoming.empty() || p.incoming.front().first > clock_.now) return true;
    std::string& chunk = p.incoming.front().second;
    received = static_cast<std::uint32_t>(std::min<std::size_t>(capacity, chunk.size()));
    std::copy_n(chunk.begin(), received, data);
    chunk.erase(0, received);
    if (chunk.empty()) p.incoming.pop_front();
    return true;
  }
  // The signal of a watched port is its index + 1.
  WakeSignal WatchInput(PortHandle handle, std::uint32_t bytes) override {
    Port& p = at(handle);
    if (!p.watched) return 0;
    p.watched_for.push_back(bytes);
    return static_cast<WakeSignal>(handle) - 100 + 1;
  }
  // When the next bytes become readable on the port of `signal`.
  std::int64_t ArrivalOf(WakeSignal signal) {
    const Port& p = ports_[static_cast<int>(signal) - 1];
    return p.incoming.empty() ? INT64_MAX : p.incoming.front().first;
  }

 private:
  Port& at(PortHandle handle) { return ports_[static_cast<int>(handle) - 100]; }
  FakeClock& clock_;
  std::map<int, Port> ports_;
};

inline FakePump::FakePump(FakeClock& clock, FakePorts& ports) : clock_(clock) {
  set_at = [&ports](WakeSignal signal) { return ports.ArrivalOf(signal); };
}

}  // namespace quorvel::bus::testing
