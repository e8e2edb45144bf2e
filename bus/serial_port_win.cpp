#include "bus/serial_port_win.h"

#include <mmsystem.h>

#include "bus/status_text.h"

namespace quorvel::bus {

namespace {

HANDLE AsHandle(PortHandle handle) {
  return reinterpret_cast<HANDLE>(handle);
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

std::int32_t OpenPort(int index, std::int32_t baud_rate, UniqueFileHandle& port) {
  const std::string name = PortDeviceName(index);
  UniqueFileHandle handle(::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE,
                                        /*dwShareMode=*/0, /*lpSecurityAttributes=*/nullptr,
                                        OPEN_EXISTING, /*dwFlagsAndAttributes=*/0,
                                        /*hTemplateFile=*/nullptr));
  if (!handle) return kStatusCannotOpen;
  if (::GetFileType(handle.get()) != FILE_TYPE_CHAR) return kStatusNotCharDevice;

  DCB dcb;
  FillDcb(BusLineSettings(baud_rate), dcb);
  COMMTIMEOUTS timeouts;
  FillCommTimeouts(LineTimeouts{}, timeouts);
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

Win32PortDriver::~Win32PortDriver() {
  if (open_ports_ > 0) ::timeEndPeriod(1);
}

std::int32_t Win32PortDriver::Open(int index, std::int32_t baud_rate, PortHandle& handle) {
  UniqueFileHandle port;
  const std::int32_t status = OpenPort(index, baud_rate, port);
  if (status != kStatusOk) return status;
  if (open_ports_++ == 0) ::timeBeginPeriod(1);
  handle = reinterpret_cast<PortHandle>(port.release());
  return status;
}

void Win32PortDriver::Close(PortHandle handle) {
  UniqueFileHandle port(AsHandle(handle));
  port.reset();
  if (open_ports_ > 0 && --open_ports_ == 0) ::timeEndPeriod(1);
}

void Win32PortDriver::PurgeInput(PortHandle handle) {
  ::PurgeComm(AsHandle(handle), PURGE_RXCLEAR);
}

bool Win32PortDriver::Write(PortHandle handle, const std::uint8_t* data, std::uint32_t size,
                            std::uint32_t& written) {
  DWORD done = 0;
  const BOOL ok = ::WriteFile(AsHandle(handle), data, size, &done, /*lpOverlapped=*/nullptr);
  written = done;
  return ok != FALSE;
}

bool Win32PortDriver::Read(PortHandle handle, std::uint8_t* data, std::uint32_t capacity,
                           std::uint32_t& received) {
  // An empty input queue means the read would return nothing at once. The
  // queue length is cheap to ask for; a read costs a wineserver round trip
  // under Wine, on every pass of the wait. If the question fails, the read
  // itself reports the failure.
  DWORD errors = 0;
  COMSTAT state{};
  if (::ClearCommError(AsHandle(handle), &errors, &state) && state.cbInQue == 0) {
    received = 0;
    return true;
  }
  DWORD done = 0;
  const BOOL ok = ::ReadFile(AsHandle(handle), data, capacity, &done, /*lpOverlapped=*/nullptr);
  received = done;
  return ok != FALSE;
}

}  // namespace quorvel::bus
