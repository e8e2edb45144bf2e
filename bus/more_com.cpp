#include "bus/more_com.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "bus/reply_end.h"
#include "bus/status_text.h"

namespace quorvel::bus {

std::int64_t DaysToNs(double days) {
  constexpr double kNsPerDay = 86400e9;
  constexpr double kLimit = 4e18;  // about 126 years; keeps deadline sums in range
  if (std::isnan(days)) return 0;
  const double ns = days * kNsPerDay;
  return static_cast<std::int64_t>(std::clamp(ns, -kLimit, kLimit));
}

MoreCOM::MoreCOM(PortDriver& driver, MonotonicClock& clock, MessagePump& pump)
    : driver_(driver), clock_(clock), pump_(pump) {}

MoreCOM::~MoreCOM() {
  ClosePorts();
}

bool MoreCOM::OpenPorts() {
  for (int i = 0; i < kPortCount; ++i) {
    if ((SelectedMask & PortBit[i]) == 0 || (open_mask_ & PortBit[i]) != 0) continue;
    pump_.ProcessMessages();
    if (StopRequested != 0) return false;
    TPortSlot& slot = Slots[i];
    PortHandle handle = 0;
    slot.Status = driver_.Open(i, BaudRate, Wait == ReplyWait::kArrival, handle);
    slot.Handle = handle;
    if (slot.Status != kStatusOk) return false;
    open_mask_ |= PortBit[i];
  }
  return true;
}

void MoreCOM::ClosePorts() {
  for (int i = 0; i < kPortCount; ++i) {
    if ((open_mask_ & PortBit[i]) == 0) continue;
    driver_.Close(Slots[i].Handle);
    open_mask_ &= ~PortBit[i];
  }
}

bool MoreCOM::Transact(std::string_view Cmd, std::int32_t Addr, double TimeOut) {
  if (Cmd.size() > kMaxCommand || Addr < 0 || Addr > kMaxAddress) {
    for (int i = 0; i < kPortCount; ++i) {
      if (open_mask_ & PortBit[i]) Slots[i].Status = kStatusBadArgument;
    }
    return false;
  }

  const std::string frame = BuildRequest(Cmd, Addr);
  const auto frame_size = static_cast<std::uint32_t>(frame.size());
  std::memcpy(TransferBuffer.data(), frame.data(), frame.size());

  bool result = true;
  PortMask pending = 0;
  for (int i = 0; i < kPortCount; ++i) {
    if ((open_mask_ & PortBit[i]) == 0) continue;
    pump_.ProcessMessages();
    if (StopRequested != 0) return false;
    TPortSlot& slot = Slots[i];
    slot.Status = kStatusOk;
    slot.RxText.clear();
    slot.StartSeen = false;
    slot.EndSeen = false;
    driver_.PurgeInput(slot.Handle);
    std::uint32_t written = 0;
    if (driver_.Write(slot.Handle, TransferBuffer.data(), frame_size, written) &&
        written == frame_size) {
      pending |= PortBit[i];
    } else {
      result = false;
      slot.Status = kStatusWriteFailed;
    }
  }

  // One deadline for all ports, counted from the end of the write phase.
  written_ns_ = clock_.NowNs();
  const std::int64_t deadline = written_ns_ + DaysToNs(TimeOut);
  if (pending != 0 && RequestsWritten) RequestsWritten();
  // Ports whose watch was ended at the deadline, for one last look.
  PortMask last_look = 0;
  while (pending != 0) {
    for (int i = 0; i < kPortCount; ++i) {
      if ((pending & PortBit[i]) == 0) continue;
      pump_.ProcessMessages();
      if (StopRequested != 0) {
        // What has arrived stays in the slots, as it does between reads.
        if (Wait == ReplyWait::kArrival) CollectWatched(pending);
        return false;
      }
      TPortSlot& slot = Slots[i];
      std::uint32_t received = 0;
      if (!driver_.Read(slot.Handle, TransferBuffer.data(), kReadChunk, received)) {
        result = false;
        slot.Status = kStatusReadFailed;
        pending &= ~PortBit[i];
        continue;
      }
      if (received > 0) Collect(slot, received);
      if (slot.RxText.size() >= kMaxReplyLength) {
        result = false;
        slot.Status = kStatusBadLength;
        pending &= ~PortBit[i];
      } else if (slot.EndSeen) {
        pending &= ~PortBit[i];
      } else if (clock_.NowNs() > deadline && Wait == ReplyWait::kArrival &&
                 (last_look & PortBit[i]) == 0) {
        // The bytes a watch holds have arrived in time: they are looked at
        // on the next pass.
        driver_.StopWatching(slot.Handle);
        last_look |= PortBit[i];
      } else if (clock_.NowNs() > deadline) {  // at the deadline itself: still waiting
        result = false;
        if (slot.Status == kStatusOk)
          slot.Status = slot.StartSeen ? kStatusBadReply : kStatusNoReply;
        pending &= ~PortBit[i];
      }
    }
    if (pending == 0) break;
    if (Wait == ReplyWait::kSpin) continue;
    if (Wait == ReplyWait::kArrival &&
        ((pending & ~last_look) == 0 || AwaitArrival(pending, Addr, deadline))) {
      continue;
    }
    // A port that cannot tell when bytes arrive is looked at by the clock.
    const std::int64_t idle = IdleNs(pending, deadline);
    if (idle > 0) pump_.Idle(idle);
  }
  return result;
}

bool MoreCOM::AwaitArrival(PortMask pending, std::int32_t address, std::int64_t deadline) {
  std::array<WakeSignal, kPortCount> signals{};
  std::size_t count = 0;
  for (int i = 0; i < kPortCount; ++i) {
    if ((pending & PortBit[i]) == 0) continue;
    const auto bytes =
        static_cast<std::uint32_t>(BytesStillToCome(Slots[i].RxText.view(), address));
    signals[count] = driver_.WatchInput(Slots[i].Handle, bytes);
    if (signals[count++] == 0) return false;
  }
  // Wake just past the deadline at the latest: the port times out only then.
  pump_.IdleUntil(deadline - clock_.NowNs() + 1, std::span(signals.data(), count));
  return true;
}

void MoreCOM::CollectWatched(PortMask ports) {
  for (int i = 0; i < kPortCount; ++i) {
    if ((ports & PortBit[i]) == 0) continue;
    driver_.StopWatching(Slots[i].Handle);
    std::uint32_t received = 0;
    if (driver_.Read(Slots[i].Handle, TransferBuffer.data(), kReadChunk, received) && received > 0)
      Collect(Slots[i], received);
  }
}

std::int64_t MoreCOM::IdleNs(PortMask pending, std::int64_t deadline) {
  std::int64_t idle = kIdleTickNs;
  bool streaming = false;
  for (int i = 0; i < kPortCount; ++i) {
    if ((pending & PortBit[i]) != 0 && Slots[i].StartSeen) streaming = true;
  }
  // Ten bits a character: start, eight data bits, stop.
  if (streaming && BaudRate > 0) idle = std::min(idle, std::int64_t{10'000'000'000} / BaudRate);
  // Wake just past the deadline at the latest: the port times out only then.
  return std::min(idle, deadline - clock_.NowNs() + 1);
}

void MoreCOM::Collect(TPortSlot& slot, std::uint32_t received) {
  std::uint32_t pos = 0;
  if (!slot.StartSeen) {
    while (pos < received && TransferBuffer[pos] != static_cast<std::uint8_t>(kReplyStart)) ++pos;
    if (pos == received) return;  // noise before the reply
    slot.StartSeen = true;
  }
  for (; pos < received && slot.RxText.size() < kMaxReplyLength; ++pos) {
    const char c = static_cast<char>(TransferBuffer[pos]);
    slot.RxText.push_back(c);
    if (c == kFrameEnd) {
      slot.EndSeen = true;
      break;  // bytes after the CR are dropped
    }
  }
}

}  // namespace quorvel::bus
