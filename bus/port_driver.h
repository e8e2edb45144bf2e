// The seams under the bus exchange: the serial ports, a monotonic clock and
// the window message pump. The Win32 program gives the real ones; native
// tests give scripted fakes.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>

namespace quorvel::bus {

// An open port as the driver knows it (the driver's record of the port in
// the program).
using PortHandle = std::uintptr_t;
// What a wait can be woken by besides a message and the clock: a Win32
// event in the program.
using WakeSignal = std::uintptr_t;

class PortDriver {
 public:
  virtual ~PortDriver() = default;
  // Opens and configures COM(index + 1) with the bus line settings at the
  // given speed, then discards stale input. Returns status 0 with the handle,
  // or 5 (cannot open), 21 (not a character device), 6 (setting refused).
  // With `watch_input` the port is opened so that WatchInput can work.
  virtual std::int32_t Open(int index, std::int32_t baud_rate, bool watch_input,
                            PortHandle& handle) = 0;
  virtual void Close(PortHandle handle) = 0;
  // Discards input received so far; failures are of no interest.
  virtual void PurgeInput(PortHandle handle) = 0;
  // One synchronous write; `written` is what the port took.
  virtual bool Write(PortHandle handle, const std::uint8_t* data, std::uint32_t size,
                     std::uint32_t& written) = 0;
  // One read that never waits: returns at once with what has arrived.
  virtual bool Read(PortHandle handle, std::uint8_t* data, std::uint32_t capacity,
                    std::uint32_t& received) = 0;
  // A signal that is set once `bytes` more bytes have arrived (a wake with
  // fewer is harmless), for the wait that follows; 0 when the port cannot
  // tell, and the wait then looks again by the clock. What has arrived is
  // handed out by the next Read, in order.
  virtual WakeSignal WatchInput(PortHandle /*handle*/, std::uint32_t /*bytes*/) { return 0; }
  // Ends a watch early (at the deadline, at a stop): the bytes it holds go
  // to the next Read.
  virtual void StopWatching(PortHandle /*handle*/) {}
};

// Nanoseconds on a clock that never jumps: calendar time changes (the
// autumn clock change, a time synchronisation) must not stall or cut waits.
class MonotonicClock {
 public:
  virtual ~MonotonicClock() = default;
  virtual std::int64_t NowNs() = 0;
};

class SteadyClock final : public MonotonicClock {
 public:
  std::int64_t NowNs() override {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
};

// Nanoseconds of UTC since 1970: when something happened, for people and
// logs. Never used to measure a wait.
class WallClock {
 public:
  virtual ~WallClock() = default;
  virtual std::int64_t UtcNs() = 0;
};

class SystemWallClock final : public WallClock {
 public:
  std::int64_t UtcNs() override {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
  }
};

class MessagePump {
 public:
  virtual ~MessagePump() = default;
  // Handles every message waiting in the thread's queue and returns when
  // none is left. Any handler may run in here, including one that asks the
  // bus link to stop.
  virtual void ProcessMessages() = 0;
  // Sleeps until a message arrives or at most `max_ns` have passed, so that
  // waiting costs no processor time.
  virtual void Idle(std::int64_t max_ns) = 0;
  // As Idle, and also ends as soon as one of `signals` is set; it waits at
  // least `max_ns`, never less, when nothing comes.
  virtual void IdleUntil(std::int64_t max_ns, std::span<const WakeSignal> /*signals*/) {
    Idle(max_ns);
  }
};

}  // namespace quorvel::bus
