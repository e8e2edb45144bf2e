// Scripted stand-ins for the serial ports, the clock and the message pump,
// so the exchange runs natively with time that moves only when told.
#pragma once

#include <deque>
#include <functional>
#include <map>
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
class FakePump final : public MessagePump {
 public:
  explicit FakePump(FakeClock& clock) : clock_(clock) {}
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
  std::function<void()> on_pump;
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

  std::int32_t Open(int index, std::int32_t baud_rate, PortHandle& handle) override {
    Port& p = ports_[index];
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

 private:
  Port& at(PortHandle handle) { return ports_[static_cast<int>(handle) - 100]; }
  FakeClock& clock_;
  std::map<int, Port> ports_;
};

}  // namespace quorvel::bus::testing
