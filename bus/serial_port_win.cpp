#include "bus/serial_port_win.h"

#include <mmsystem.h>

#include <algorithm>
#include <array>

#include "bus/status_text.h"

namespace quorvel::bus {

// An open port: its handle and, when it was opened for overlapped I/O, what
// its operations need. The OVERLAPPED of a pending wait lives here, where it
// stays put until the wait has ended.
struct Win32PortDriver::Port {
  UniqueFileHandle file;
  bool overlapped = false;
  UniqueKernelHandle io_done;  // each read and write, waited for at once
  UniqueKernelHandle arrived;  // the arrival of bytes: WatchInput's signal
  // The watch: a read that ends when as many bytes as it asked for have
  // arrived. What it took is handed out by the next Read, before what is
  // still queued.
  OVERLAPPED watch{};
  std::array<std::uint8_t, 256> taken{};
  bool watching = false;  // the read on `watch` was started and not collected
  // A watch could not be started: the port cannot tell when bytes arrive,
  // and is looked at by the clock from then on.
  bool cannot_watch = false;
};

namespace {

// How long a closing port's pending wait may take to end.
constexpr DWORD kWatchEndMs = 1000;

// Waits for an overlapped operation started on `file` to end; `done` gets
// its byte count. False when it failed.
bool Finish(HANDLE file, OVERLAPPED& operation, BOOL started, DWORD& done) {
  if (!started && ::GetLastError() != ERROR_IO_PENDING) return false;
  return ::GetOverlappedResult(file, &operation, &done, /*bWait=*/TRUE) != FALSE;
}

// Ends the pending watch of `port`, if it has not ended: afterwards the
// OVERLAPPED holds what it took. False when it would not end.
bool EndWatch(HANDLE file, OVERLAPPED& watch, HANDLE arrived) {
  if (HasOverlappedIoCompleted(&watch)) return true;
  ::CancelIo(file);
  return ::WaitForSingleObject(arrived, kWatchEndMs) == WAIT_OBJECT_0;
}

// What an ended watch took; false when it failed otherwise than by being
// ended early.
bool WatchResult(HANDLE file, OVERLAPPED& watch, DWORD& done) {
  done = 0;
  if (::GetOverlappedResult(file, &watch, &done, /*bWait=*/FALSE)) return true;
  return ::GetLastError() == ERROR_OPERATION_ABORTED;
}

}  // namespace

void FillDcb(const LineSettings& s, DCB& dcb) {
  dcb = DCB{};
  dcb.DCBlength = s.dcb_length;
  dcb.BaudRate = s.baud_rate;
  dcb.fBinary = (s.flags >> 0) & 1;
  dcb.fParity = (s.flags >> 1) & 1;
  dcb.fOutxCtsFlow = (s.flags >> 2) & 1;
  dcb.fOutxDsrFlow = (s.flags >> 3) & 1;
  dcb.fDtrControl = (s.flags >> 4) & 3;
  dcb.fDsrSensitivity = (s.flags >> 6) & 1;
  dcb.fTXContinueOnXoff = (s.flags >> 7) & 1;
  dcb.fOutX = (s.flags >> 8) & 1;
  dcb.fInX = (s.flags >> 9) & 1;
  dcb.fErrorChar = (s.flags >> 10) & 1;
  dcb.fNull = (s.flags >> 11) & 1;
  dcb.fRtsControl = (s.flags >> 12) & 3;
  dcb.fAbortOnError = (s.flags >> 14) & 1;
  dcb.wReserved = 0;
  dcb.XonLim = s.xon_lim;
  dcb.XoffLim = s.xoff_lim;
  dcb.ByteSize = s.byte_size;
  dcb.Parity = s.parity;
  dcb.StopBits = s.stop_bits;
  dcb.XonChar = s.xon_char;
  dcb.XoffChar = s.xoff_char;
  dcb.ErrorChar = s.error_char;
  dcb.EofChar = s.eof_char;
  dcb.EvtChar = s.evt_char;
  dcb.wReserved1 = 0;
}

void FillCommTimeouts(const LineTimeouts& t, COMMTIMEOUTS& out) {
  out.ReadIntervalTimeout = t.read_interval;
  out.ReadTotalTimeoutMultiplier = t.read_total_multiplier;
  out.ReadTotalTimeoutConstant = t.read_total_constant;
  out.WriteTotalTimeoutMultiplier = t.write_total_multiplier;
  out.WriteTotalTimeoutConstant = t.write_total_constant;
}

std::int32_t OpenPort(int index, std::int32_t baud_rate, bool overlapped, UniqueFileHandle& port) {
  const std::string name = PortDeviceName(index);
  UniqueFileHandle handle(::CreateFileA(
      name.c_str(), GENERIC_READ | GENERIC_WRITE,
      /*dwShareMode=*/0, /*lpSecurityAttributes=*/nullptr, OPEN_EXISTING,
      /*dwFlagsAndAttributes=*/overlapped ? FILE_FLAG_OVERLAPPED : 0, /*hTemplateFile=*/nullptr));
  if (!handle) return kStatusCannotOpen;
  if (::GetFileType(handle.get()) != FILE_TYPE_CHAR) return kStatusNotCharDevice;

  DCB dcb;
  FillDcb(BusLineSettings(baud_rate), dcb);
  COMMTIMEOUTS timeouts;
  FillCommTimeouts(LineTimeouts{}, timeouts);
  if (overlapped) {
    // Reads without time-outs: a read ends when it has all it asked for.
    // The watch asks for the bytes still to come; the other reads ask only
    // for what the input queue holds, so they end at once all the same.
    timeouts.ReadIntervalTimeout = 0;
  }
  // Each call runs only if the ones before it succeeded.
  const bool configured =
      ::SetupComm(handle.get(), kInputQueueSize, kOutputQueueSize) &&
      ::SetCommState(handle.get(), &dcb) && ::SetCommTimeouts(handle.get(), &timeouts) &&
      ::EscapeCommFunction(handle.get(), SETRTS) && ::EscapeCommFunction(handle.get(), SETDTR) &&
      ::EscapeCommFunction(handle.get(), CLRBREAK);
  if (!configured) return kStatusBadSettings;

  ::PurgeComm(handle.get(), PURGE_RXCLEAR);
  port = std::move(handle);
  return kStatusOk;
}

Win32PortDriver::Win32PortDriver() = default;

Win32PortDriver::~Win32PortDriver() {
  while (!ports_.empty()) Close(reinterpret_cast<PortHandle>(ports_.back().get()));
  if (open_ports_ > 0) ::timeEndPeriod(1);
}

Win32PortDriver::Port& Win32PortDriver::At(PortHandle handle) {
  return *reinterpret_cast<Port*>(handle);
}

std::int32_t Win32PortDriver::Open(int index, std::int32_t baud_rate, bool watch_input,
                                   PortHandle& handle) {
  auto port = std::make_unique<Port>();
  const std::int32_t status = OpenPort(index, baud_rate, watch_input, port->file);
  if (status != kStatusOk) return status;
  if (watch_input) {
    port->io_done.reset(::CreateEventW(nullptr, /*bManualReset=*/TRUE, FALSE, nullptr));
    port->arrived.reset(::CreateEventW(nullptr, /*bManualReset=*/TRUE, FALSE, nullptr));
    if (!port->io_done || !port->arrived) return kStatusBadSettings;
    port->overlapped = true;
  }
  if (open_ports_++ == 0) ::timeBeginPeriod(1);
  handle = reinterpret_cast<PortHandle>(port.get());
  ports_.push_back(std::move(port));
  return status;
}

void Win32PortDriver::Close(PortHandle handle) {
  const auto at = std::find_if(ports_.begin(), ports_.end(),
                               [&](const auto& p) { return p.get() == &At(handle); });
  Port& port = **at;
  if (port.watching && !EndWatch(port.file.get(), port.watch, port.arrived.get())) {
    // The system may still write into the record: it stays.
    port.file.reset();
    abandoned_.push_back(std::move(*at));
  }
  ports_.erase(at);
  if (open_ports_ > 0 && --open_ports_ == 0) ::timeEndPeriod(1);
}

void Win32PortDriver::PurgeInput(PortHandle handle) {
  Port& port = At(handle);
  ::PurgeComm(port.file.get(), PURGE_RXCLEAR);
  // What a watch took before is stale input as well.
  if (port.watching && EndWatch(port.file.get(), port.watch, port.arrived.get())) {
    port.watching = false;
  }
}

bool Win32PortDriver::Write(PortHandle handle, const std::uint8_t* data, std::uint32_t size,
                            std::uint32_t& written) {
  Port& port = At(handle);
  DWORD done = 0;
  bool ok = false;
  if (port.overlapped) {
    OVERLAPPED operation{};
    operation.hEvent = port.io_done.get();
    ok = Finish(port.file.get(), operation,
                ::WriteFile(port.file.get(), data, size, nullptr, &operation), done);
  } else {
    ok = ::WriteFile(port.file.get(), data, size, &done, /*lpOverlapped=*/nullptr) != FALSE;
  }
  written = done;
  return ok;
}

bool Win32PortDriver::Read(PortHandle handle, std::uint8_t* data, std::uint32_t capacity,
                           std::uint32_t& received) {
  Port& port = At(handle);
  received = 0;
  if (port.watching) {
    // While it waits, the watch takes every byte that arrives.
    if (!HasOverlappedIoCompleted(&port.watch)) return true;
    DWORD done = 0;
    port.watching = false;
    if (!WatchResult(port.file.get(), port.watch, done)) return false;
    received = std::min<DWORD>({done, capacity, static_cast<DWORD>(port.taken.size())});
    std::copy_n(port.taken.begin(), received, data);
  }
  // An empty input queue means the read would return nothing at once. The
  // queue length is cheap to ask for; a read costs a wineserver round trip
  // under Wine, on every pass of the wait. If the question fails, the read
  // itself reports the failure.
  DWORD errors = 0;
  COMSTAT state{};
  const bool asked = ::ClearCommError(port.file.get(), &errors, &state) != FALSE;
  if (asked && state.cbInQue == 0) return true;
  DWORD done = 0;
  bool ok = false;
  if (port.overlapped) {
    // Only what is queued: a read without time-outs ends when it has it all.
    const DWORD want = asked ? std::min<DWORD>(state.cbInQue, capacity - received) : 1;
    if (want == 0) return true;
    OVERLAPPED operation{};
    operation.hEvent = port.io_done.get();
    ok = Finish(port.file.get(), operation,
                ::ReadFile(port.file.get(), data + received, want, nullptr, &operation), done);
  } else {
    ok = ::ReadFile(port.file.get(), data, capacity, &done, /*lpOverlapped=*/nullptr) != FALSE;
  }
  received += done;
  return ok;
}

WakeSignal Win32PortDriver::WatchInput(PortHandle handle, std::uint32_t bytes) {
  Port& port = At(handle);
  if (!port.overlapped || port.cannot_watch) return 0;
  const auto signal = reinterpret_cast<WakeSignal>(port.arrived.get());
  // A watch started and not collected yet serves: what it took is read
  // first, and it sets the signal.
  if (port.watching) return signal;
  port.watch = OVERLAPPED{};
  port.watch.hEvent = port.arrived.get();
  const DWORD want = std::clamp<DWORD>(bytes, 1, static_cast<DWORD>(port.taken.size()));
  if (!::ReadFile(port.file.get(), port.taken.data(), want, nullptr, &port.watch) &&
      ::GetLastError() != ERROR_IO_PENDING) {
    port.cannot_watch = true;
    return 0;
  }
  port.watching = true;
  return signal;
}

void Win32PortDriver::StopWatching(PortHandle handle) {
  Port& port = At(handle);
  if (port.watching) EndWatch(port.file.get(), port.watch, port.arrived.get());
}

}  // namespace quorvel::bus
