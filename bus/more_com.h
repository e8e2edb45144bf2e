// The bus link: up to 32 serial ports, COM1 to COM32, driven together.
//
// Usage, on the user-interface thread:
//   bus.StopRequested = 0;
//   bus.SelectedMask = PortBit[index];
//   if (bus.OpenPorts()) { ... bus.Transact(cmd, addr, timeout) ... }
//   bus.ClosePorts();
// A port stays open from OpenPorts to ClosePorts across any number of
// exchanges. Outcomes are left per port in Slots; nothing is thrown.
//
// Every open, write and read is preceded by one run of the message pump, so
// the window stays alive during an exchange. The only thing a handler run in
// there may change is StopRequested.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string_view>

#include "base/short_text.h"
#include "bus/frame.h"
#include "bus/port_driver.h"

namespace quorvel::bus {

// Bit i stands for COM(i + 1).
using PortMask = std::uint32_t;
inline constexpr int kPortCount = 32;

inline constexpr std::array<PortMask, kPortCount> PortBit = [] {
  std::array<PortMask, kPortCount> bits{};
  for (int i = 0; i < kPortCount; ++i) bits[i] = PortMask{1} << i;
  return bits;
}();

struct TPortSlot {
  PortHandle Handle = 0;    // meaningful only while the port is in OpenMask
  std::int32_t Status = 0;  // of the last open or exchange; 0 is success
  ShortText RxText;         // the last reply, from its '!' through its CR
  bool StartSeen = false;   // the '!' has arrived
  bool EndSeen = false;     // the CR has arrived
  ValueFields Values;       // fields of the last reply, once parsed
};

// A collected reply that reaches this length fails with status 15, so a
// stored reply is at most 249 characters, '!' and CR included.
inline constexpr std::size_t kMaxReplyLength = 250;
// Bytes taken by one read.
inline constexpr std::uint32_t kReadChunk = 240;
// Longest sleep between two passes of the wait phase. While a reply is
// arriving the sleep is one character time at the line speed instead, so the
// end of a reply is taken about as soon as it is there.
inline constexpr std::int64_t kIdleTickNs = 2'000'000;

// How the wait phase waits between two looks at the ports.
enum class ReplyWait {
  kSpin = 0,  // not at all: it looks again at once
  kTick = 1,  // kIdleTickNs, one character time while a reply arrives
  // Woken by the arrival of the bytes without which no reply can be whole
  // (bus/reply_end.h): a reply of the usual form takes three wakes. A port
  // that cannot tell when bytes arrive is waited for as with kTick.
  kArrival = 2,
};

// Days to the monotonic clock's nanoseconds. Time-outs are given in days with
// the program's fixed factors (1.15e-5 days per second), so 400 ms lasts
// 397.44 ms; that duration is kept, only the clock is another.
std::int64_t DaysToNs(double days);

class MoreCOM {
 public:
  MoreCOM(PortDriver& driver, MonotonicClock& clock, MessagePump& pump);
  MoreCOM(const MoreCOM&) = delete;
  MoreCOM& operator=(const MoreCOM&) = delete;
  ~MoreCOM();

  // Ports that OpenPorts is to open; never changed by the bus link.
  PortMask SelectedMask = 0;
  // Line speed in bit/s for ports opened from now on.
  std::int32_t BaudRate = 9600;
  // Not 0: the bus link and the poll cycle are to stop.
  std::int32_t StopRequested = 0;
  // For ports opened from now on, and every wait.
  ReplyWait Wait = ReplyWait::kTick;
  // Called in each exchange once the requests are written and the deadline
  // is set, before the wait for the replies: what it does overlaps the
  // line's work. It may not run the message pump.
  std::function<void()> RequestsWritten;
  // Slot i belongs to COM(i + 1).
  std::array<TPortSlot, kPortCount> Slots{};

  // Ports that are open; changed only by OpenPorts and ClosePorts.
  PortMask OpenMask() const { return open_mask_; }

  // Opens every port of SelectedMask that is not open yet, walking COM1 to
  // COM32. Stops at the first failure (its status in the slot) or at a stop
  // request (no status); ports opened before stay open. True when every
  // selected port is open afterwards.
  bool OpenPorts();
  // Closes every open port; the slots keep their contents.
  void ClosePorts();

  // Sends one request to Addr on every open port and collects each port's
  // reply until its CR, all within one deadline TimeOut days after the last
  // write. True when every port got a complete reply; the details are in
  // each slot. False at once, with no status set, on a stop request.
  bool Transact(std::string_view Cmd, std::int32_t Addr, double TimeOut);
  // The monotonic time at which the last Transact that sent its request had
  // written it to every port, the time its deadline counts from.
  std::int64_t WrittenNs() const { return written_ns_; }

 private:
  void Collect(TPortSlot& slot, std::uint32_t received);
  // How long the wait phase may sleep before the next pass.
  std::int64_t IdleNs(PortMask pending, std::int64_t deadline);
  // One sleep of the wait phase with ReplyWait::kArrival; false, without
  // sleeping, when a port cannot tell when bytes arrive.
  bool AwaitArrival(PortMask pending, std::int32_t address, std::int64_t deadline);
  // Ends the watches of the ports in `ports` and collects what they held.
  void CollectWatched(PortMask ports);

  PortDriver& driver_;
  MonotonicClock& clock_;
  MessagePump& pump_;
  PortMask open_mask_ = 0;
  std::int64_t written_ns_ = 0;
  // Holds the request while it is written to every port, then each chunk
  // read, processed before the next read.
  std::array<std::uint8_t, 256> TransferBuffer{};
};

}  // namespace quorvel::bus
