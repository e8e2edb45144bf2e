// The bus link's ports on Win32: CreateFileA and the communications API.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "base/kernel_handle_win.h"
#include "bus/line_settings.h"
#include "bus/port_driver.h"

namespace quorvel::bus {

// Copies the line settings into a device control block, every field set.
void FillDcb(const LineSettings& settings, DCB& dcb);
void FillCommTimeouts(const LineTimeouts& timeouts, COMMTIMEOUTS& out);

// Opens COM(index + 1) as the bus needs it: exclusive, 8N1, no flow
// control, DTR and RTS raised, break cleared, reads that never wait, stale
// input discarded; `overlapped` opens it for overlapped I/O, its reads then
// without time-outs (each ends when it has what it asked for). Returns 0, 5,
// 21 or 6; on 0, `port` holds the handle.
std::int32_t OpenPort(int index, std::int32_t baud_rate, bool overlapped, UniqueFileHandle& port);

class Win32PortDriver final : public PortDriver {
 public:
  Win32PortDriver();
  Win32PortDriver(const Win32PortDriver&) = delete;
  Win32PortDriver& operator=(const Win32PortDriver&) = delete;
  ~Win32PortDriver() override;

  std::int32_t Open(int index, std::int32_t baud_rate, bool watch_input,
                    PortHandle& handle) override;
  void Close(PortHandle handle) override;
  void PurgeInput(PortHandle handle) override;
  bool Write(PortHandle handle, const std::uint8_t* data, std::uint32_t size,
             std::uint32_t& written) override;
  bool Read(PortHandle handle, std::uint8_t* data, std::uint32_t capacity,
            std::uint32_t& received) override;
  // An overlapped read of that many bytes, left pending across waits until
  // it ends; its event is the signal.
  WakeSignal WatchInput(PortHandle handle, std::uint32_t bytes) override;
  void StopWatching(PortHandle handle) override;

 private:
  struct Port;
  Port& At(PortHandle handle);
  // The system timer runs at 1 ms only while a port is open, so the idle
  // wait between reads wakes in time without slowing the machine otherwise.
  int open_ports_ = 0;
  std::vector<std::unique_ptr<Port>> ports_;
  // Ports closed while a wait on them would not end: kept, since the system
  // may still write into them.
  std::vector<std::unique_ptr<Port>> abandoned_;
};

}  // namespace quorvel::bus
