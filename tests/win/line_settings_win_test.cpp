#include <gtest/gtest.h>

#include <cstring>

#include "bus/serial_port_win.h"

namespace quorvel::bus {
namespace {

TEST(FillDcb, PinsEveryField) {
  DCB dcb;
  std::memset(&dcb, 0xAB, sizeof dcb);
  FillDcb(BusLineSettings(19200), dcb);
  EXPECT_EQ(dcb.DCBlength, 28u);
  EXPECT_EQ(sizeof(DCB), 28u);
  EXPECT_EQ(dcb.BaudRate, 19200u);
  // The bit-field word as the device control block stores it.
  DWORD flags;
  std::memcpy(&flags, reinterpret_cast<const char*>(&dcb) + 8, sizeof flags);
  EXPECT_EQ(flags, 0x1011u);
  EXPECT_EQ(dcb.fBinary, 1u);
  EXPECT_EQ(dcb.fParity, 0u);
  EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
  EXPECT_EQ(dcb.fOutxDsrFlow, 0u);
  EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
  EXPECT_EQ(dcb.fDsrSensitivity, 0u);
  EXPECT_EQ(dcb.fTXContinueOnXoff, 0u);
  EXPECT_EQ(dcb.fOutX, 0u);
  EXPECT_EQ(dcb.fInX, 0u);
  EXPECT_EQ(dcb.fErrorChar, 0u);
  EXPECT_EQ(dcb.fNull, 0u);
  EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
  EXPECT_EQ(dcb.fAbortOnError, 0u);
  EXPECT_EQ(dcb.fDummy2, 0u);
  EXPECT_EQ(dcb.wReserved, 0);
  EXPECT_EQ(dcb.XonLim, 0);
  EXPECT_EQ(dcb.XoffLim, 1299);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.Parity, NOPARITY);
  EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
  EXPECT_EQ(dcb.XonChar, 0);
  EXPECT_EQ(dcb.XoffChar, 0);
  EXPECT_EQ(dcb.ErrorChar, 0);
  EXPECT_EQ(dcb.EofChar, 0);
  EXPECT_EQ(dcb.EvtChar, 0);
  EXPECT_EQ(dcb.wReserved1, 0);
}

TEST(FillCommTimeouts, ReadsNeverWaitWritesGiveUp) {
  COMMTIMEOUTS t;
  FillCommTimeouts(LineTimeouts{}, t);
  EXPECT_EQ(t.ReadIntervalTimeout, MAXDWORD);
  EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 0u);
  EXPECT_EQ(t.ReadTotalTimeoutConstant, 0u);
  EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 50u);
  EXPECT_EQ(t.WriteTotalTimeoutConstant, 100u);
}

TEST(PortNames, DeviceNamespaceForEveryPort) {
  EXPECT_EQ(PortDisplayName(9), "COM10");
  EXPECT_EQ(PortDeviceName(0), "\\\\.\\COM1");
  EXPECT_EQ(PortDeviceName(31), "\\\\.\\COM32");
}

}  // namespace
}  // namespace quorvel::bus
