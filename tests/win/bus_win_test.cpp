// The bus link through the real Win32 serial API, against the instrument
// simulator, in the run that tests/win/bus.cmake sets up:
//   COM2, COM7  a directory           (cannot be opened: 5)
//   COM8        a regular file        (not a character device: 21)
//   COM11       a path that is absent (21)
//   COM9        /dev/null             (refuses the line settings: 6)
//   COM3        simulator, devices 5..18 and 254, one fault each (see kDevice*)
//   COM4, COM5, COM10  simulator, device 5 channel 3 answering 4.5, 5.5, 10.5
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include <bit>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "bus/crc16.h"
#include "bus/message_pump_win.h"
#include "bus/more_com.h"
#include "bus/serial_port_win.h"
#include "bus/status_text.h"
#include "testkit/wine_run.h"

namespace quorvel::bus {
namespace {

constexpr int kCom2 = 1, kCom3 = 2, kCom4 = 3, kCom5 = 4, kCom7 = 6, kCom8 = 7, kCom9 = 8,
              kCom10 = 9, kCom11 = 10;
// Devices on COM3, all asked for channel 3.
constexpr int kDeviceGood = 5;  // 23.45
constexpr int kDeviceSilent = 6;
constexpr int kDevicePartial = 7;    // the reply without its CR
constexpr int kDeviceNoiseOnly = 8;  // 200 bytes, no '!'
constexpr int kDeviceOverlong = 9;   // 260 characters
constexpr int kDeviceAt250 = 10;     // 250 characters, the 250th the CR
constexpr int kDeviceTrailing = 11;  // bytes after the CR
constexpr int kDeviceBytewise = 12;  // one byte per read
constexpr int kDeviceNoise = 13;     // noise, then the reply
constexpr int kDeviceAt249 = 14;     // 249 characters
constexpr int kDeviceBadCrc = 16;
constexpr int kDeviceBadAddr = 17;
constexpr int kDeviceExtraField = 18;
constexpr int kDeviceHighest = 254;  // -1.5

constexpr double kTimeOut400 = 0.4 * 1.15e-5;  // 400 ms with the program's day factor

std::string Reply(const std::string& body) {
  return "!" + body + std::to_string(Crc16(body)) + "\r";
}

// Counts the reads that brought data, to show a reply came a byte at a time.
class CountingDriver final : public PortDriver {
 public:
  std::int32_t Open(int index, std::int32_t baud, bool watch_input, PortHandle& handle) override {
    return real.Open(index, baud, watch_input, handle);
  }
  void StopWatching(PortHandle handle) override { real.StopWatching(handle); }
  WakeSignal WatchInput(PortHandle handle, std::uint32_t bytes) override {
    const WakeSignal signal = real.WatchInput(handle, bytes);
    if (signal == 0) ++unwatchable;
    return signal;
  }
  void Close(PortHandle handle) override { real.Close(handle); }
  void PurgeInput(PortHandle handle) override { real.PurgeInput(handle); }
  bool Write(PortHandle handle, const std::uint8_t* data, std::uint32_t size,
             std::uint32_t& written) override {
    return real.Write(handle, data, size, written);
  }
  bool Read(PortHandle handle, std::uint8_t* data, std::uint32_t capacity,
            std::uint32_t& received) override {
    const bool ok = real.Read(handle, data, capacity, received);
    if (ok && received > 0) ++reads_with_data;
    return ok;
  }
  Win32PortDriver real;
  int reads_with_data = 0;
  int unwatchable = 0;  // waits the arrival of bytes could not end
};

// Every test runs with each way of waiting for a reply that has its own
// port calls: the clock's ticks and the arrival of the bytes.
class WinBusTest : public ::testing::TestWithParam<ReplyWait> {
 protected:
  WinBusTest() { bus->Wait = GetParam(); }
  CountingDriver driver;
  SteadyClock clock;
  Win32MessagePump pump;
  std::unique_ptr<MoreCOM> bus = std::make_unique<MoreCOM>(driver, clock, pump);

  void Open(PortMask mask) {
    bus->SelectedMask = mask;
    ASSERT_TRUE(bus->OpenPorts()) << "status " << bus->Slots[std::countr_zero(mask)].Status;
  }
  std::int32_t OpenStatus(int index) {
    bus->SelectedMask = PortBit[index];
    EXPECT_FALSE(bus->OpenPorts());
    EXPECT_EQ(bus->OpenMask(), 0u);
    return bus->Slots[index].Status;
  }
  TPortSlot& com3() { return bus->Slots[kCom3]; }
  bool Ask(int device) { return bus->Transact("1;3;", device, kTimeOut400); }
};

TEST_P(WinBusTest, PortsThatAreNotSerialPortsFail) {
  EXPECT_EQ(OpenStatus(kCom7), kStatusCannotOpen);
  EXPECT_EQ(OpenStatus(kCom8), kStatusNotCharDevice);
  EXPECT_EQ(OpenStatus(kCom11), kStatusNotCharDevice);
  EXPECT_EQ(OpenStatus(kCom9), kStatusBadSettings);
}

TEST_P(WinBusTest, GoodOpenAppliesTheLineSettings) {
  UniqueFileHandle port;
  ASSERT_EQ(OpenPort(kCom3, 19200, /*overlapped=*/false, port), kStatusOk);
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  ASSERT_TRUE(::GetCommState(port.get(), &dcb));
  EXPECT_EQ(dcb.BaudRate, 19200u);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.Parity, NOPARITY);
  EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
  EXPECT_EQ(dcb.fBinary, 1u);
  EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
  EXPECT_EQ(dcb.fOutX, 0u);
  EXPECT_EQ(dcb.fInX, 0u);
  COMMTIMEOUTS timeouts{};
  ASSERT_TRUE(::GetCommTimeouts(port.get(), &timeouts));
  EXPECT_EQ(timeouts.ReadIntervalTimeout, MAXDWORD);
  EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, 0u);
  EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 0u);
  EXPECT_EQ(timeouts.WriteTotalTimeoutMultiplier, 50u);
  EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 100u);
}

TEST_P(WinBusTest, AlreadyOpenPortIsSkipped) {
  Open(PortBit[kCom3]);
  const PortHandle handle = com3().Handle;
  com3().Status = 77;
  Open(PortBit[kCom3] | PortBit[kCom4]);
  EXPECT_EQ(com3().Handle, handle);
  EXPECT_EQ(com3().Status, 77);
  EXPECT_EQ(bus->OpenMask(), PortBit[kCom3] | PortBit[kCom4]);
}

TEST_P(WinBusTest, FailingCom2MeansCom5IsNotTried) {
  bus->Slots[kCom5].Status = 1234;
  bus->SelectedMask = PortBit[kCom2] | PortBit[kCom5];
  EXPECT_FALSE(bus->OpenPorts());
  EXPECT_EQ(bus->Slots[kCom2].Status, kStatusCannotOpen);
  EXPECT_EQ(bus->Slots[kCom5].Status, 1234);
  EXPECT_EQ(bus->OpenMask(), 0u);
}

TEST_P(WinBusTest, Com10OpensThroughTheDeviceNamespace) {
  Open(PortBit[kCom10]);
  ASSERT_TRUE(Ask(kDeviceGood));
  EXPECT_EQ(bus->Slots[kCom10].RxText, Reply("5;10.5;"));
}

TEST_P(WinBusTest, GoodExchange) {
  Open(PortBit[kCom3]);
  ASSERT_TRUE(Ask(kDeviceGood));
  EXPECT_EQ(com3().Status, kStatusOk);
  EXPECT_EQ(com3().RxText, "!5;23.45;36887\r");
  ASSERT_TRUE(ParseReply(com3().RxText.view(), kDeviceGood, com3().Values, 1));
  EXPECT_EQ(com3().Values[0], "23.45");
  EXPECT_EQ(driver.unwatchable, 0) << "the port fell back to the clock";
  // The simulator checked the request's start bytes and checksum.
  const auto log = testing::SimulatorLog();
  ASSERT_FALSE(log.empty());
  EXPECT_NE(log.back().find("COM3 check=ok addr=5 cmd=1;3; answer=reply"), std::string::npos)
      << log.back();
}

TEST_P(WinBusTest, SilenceGivesNineAfterTheDeadline) {
  Open(PortBit[kCom3]);
  const std::int64_t start = clock.NowNs();
  EXPECT_FALSE(Ask(kDeviceSilent));
  EXPECT_EQ(com3().Status, kStatusNoReply);
  EXPECT_GE(clock.NowNs() - start, 397'440'000);
}

TEST_P(WinBusTest, PartialReplyGivesSeven) {
  Open(PortBit[kCom3]);
  EXPECT_FALSE(Ask(kDevicePartial));
  EXPECT_EQ(com3().Status, kStatusBadReply);
  const std::string full = Reply("7;23.45;");
  EXPECT_EQ(com3().RxText, full.substr(0, full.size() - 1));
}

TEST_P(WinBusTest, NoiseOnlyGivesNine) {
  Open(PortBit[kCom3]);
  EXPECT_FALSE(Ask(kDeviceNoiseOnly));
  EXPECT_EQ(com3().Status, kStatusNoReply);
  EXPECT_EQ(com3().RxText, "");
}

TEST_P(WinBusTest, NoiseBeforeTheReplyIsSkipped) {
  Open(PortBit[kCom3]);
  ASSERT_TRUE(Ask(kDeviceNoise));
  EXPECT_EQ(com3().RxText, Reply("13;23.45;"));
}

TEST_P(WinBusTest, ReplyLengthLimit) {
  Open(PortBit[kCom3]);
  EXPECT_FALSE(Ask(kDeviceOverlong));
  EXPECT_EQ(com3().Status, kStatusBadLength);
  EXPECT_EQ(com3().RxText.size(), 250u);

  EXPECT_FALSE(Ask(kDeviceAt250));
  EXPECT_EQ(com3().Status, kStatusBadLength);
  EXPECT_TRUE(com3().EndSeen);

  ASSERT_TRUE(Ask(kDeviceAt249));
  EXPECT_EQ(com3().RxText.size(), 249u);
  EXPECT_TRUE(ParseReply(com3().RxText.view(), kDeviceAt249, com3().Values, 1));
}

TEST_P(WinBusTest, BytesAfterTheEndAreDropped) {
  Open(PortBit[kCom3]);
  ASSERT_TRUE(Ask(kDeviceTrailing));
  EXPECT_EQ(com3().RxText, Reply("11;23.45;"));
}

TEST_P(WinBusTest, OneBytePerReadAssemblesTheReply) {
  Open(PortBit[kCom3]);
  driver.reads_with_data = 0;
  ASSERT_TRUE(Ask(kDeviceBytewise));
  const std::string reply = Reply("12;23.45;");
  EXPECT_EQ(com3().RxText, reply);
  // A watch takes the bytes as they come, however many it waits for.
  if (GetParam() == ReplyWait::kTick) {
    EXPECT_EQ(driver.reads_with_data, static_cast<int>(reply.size()));
  }
}

TEST_P(WinBusTest, WellFramedButWrongRepliesAreLeftToTheParser) {
  Open(PortBit[kCom3]);
  for (int device : {kDeviceBadCrc, kDeviceBadAddr, kDeviceExtraField}) {
    ASSERT_TRUE(Ask(device)) << device;
    EXPECT_FALSE(ParseReply(com3().RxText.view(), device, com3().Values, 1)) << device;
  }
}

TEST_P(WinBusTest, ArgumentLimits) {
  const std::size_t logged_before = testing::SimulatorLog().size();
  Open(PortBit[kCom3]);
  ASSERT_TRUE(Ask(kDeviceHighest));
  EXPECT_EQ(com3().RxText, Reply("254;-1.5;"));
  Open(PortBit[kCom3] | PortBit[kCom4]);

  // 230 characters go out (the devices do not know the command and stay silent).
  const std::string longest(230, '7');
  EXPECT_FALSE(bus->Transact(longest, kDeviceGood, kTimeOut400));
  const auto log = testing::SimulatorLog();
  int seen = 0;
  for (std::size_t i = logged_before; i < log.size(); ++i)
    seen += log[i].find("check=ok addr=5 cmd=" + longest) != std::string::npos;
  EXPECT_EQ(seen, 2);  // on COM3 and on COM4

  const std::size_t requests = log.size();
  for (auto [cmd, addr] : {std::pair{std::string(231, '7'), 5},
                           {std::string("1;3;"), 255},
                           {std::string("1;3;"), -1}}) {
    com3().Status = bus->Slots[kCom4].Status = 0;
    EXPECT_FALSE(bus->Transact(cmd, addr, kTimeOut400));
    EXPECT_EQ(com3().Status, kStatusBadArgument);
    EXPECT_EQ(bus->Slots[kCom4].Status, kStatusBadArgument);
  }
  // Nothing was sent: a good exchange after them is the next request logged.
  ASSERT_TRUE(Ask(kDeviceGood));
  EXPECT_EQ(testing::SimulatorLog().size(), requests + 2);
}

// The Stop press arrives as a window message during the wait.
class StopTest : public WinBusTest {
 public:
  static constexpr UINT kStopMessage = WM_APP + 1;

 protected:
  static LRESULT CALLBACK StopProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == kStopMessage) {
      reinterpret_cast<MoreCOM*>(::GetWindowLongPtrW(window, GWLP_USERDATA))->StopRequested = 1;
      return 0;
    }
    return ::DefWindowProcW(window, message, wparam, lparam);
  }
  void SetUp() override {
    WNDCLASSW wc{};
    wc.lpfnWndProc = StopProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"QuorvelStopTest";
    ::RegisterClassW(&wc);
    window = ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               wc.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(bus.get()));
  }
  void TearDown() override { ::DestroyWindow(window); }
  HWND window = nullptr;
};

// Posts the Stop message once `ready` holds.
class PostStopWhen final : public MessagePump {
 public:
  PostStopWhen(MessagePump& real, HWND window, std::function<bool()> ready)
      : real_(real), window_(window), ready_(std::move(ready)) {}
  void ProcessMessages() override {
    if (!posted_ && ready_()) {
      ::PostMessageW(window_, StopTest::kStopMessage, 0, 0);
      posted_ = true;
    }
    real_.ProcessMessages();
  }
  void Idle(std::int64_t max_ns) override { real_.Idle(max_ns); }
  // Until the stop is posted, the wait comes back often, so `ready` is
  // looked at again: a silent device wakes nothing, and what `ready` awaits
  // (the simulator's log line) may come after the wait began.
  void IdleUntil(std::int64_t max_ns, std::span<const WakeSignal> signals) override {
    constexpr std::int64_t kLookNs = 2'000'000;
    real_.IdleUntil(posted_ ? max_ns : std::min(max_ns, kLookNs), signals);
  }

 private:
  MessagePump& real_;
  HWND window_;
  std::function<bool()> ready_;
  bool posted_ = false;
};

// With ticks the stop comes once the partial reply is in the slot, which
// keeps it; a watch holds what it took until the exchange ends, so there the
// stop comes while a silent device is waited for.
TEST_P(StopTest, StopDuringTheWaitKeepsWhatArrived) {
  const bool ticks = GetParam() == ReplyWait::kTick;
  const std::string full = Reply("7;23.45;");
  const std::string partial = ticks ? full.substr(0, full.size() - 1) : "";
  const int device = ticks ? kDevicePartial : kDeviceSilent;
  MoreCOM* watched = nullptr;
  const std::size_t requests = testing::SimulatorLog().size();
  PostStopWhen stopping_pump(pump, window, [&] {
    if (ticks) return watched != nullptr && watched->Slots[kCom3].RxText == partial;
    return testing::SimulatorLog().size() > requests;
  });
  MoreCOM stopping_bus(driver, clock, stopping_pump);
  stopping_bus.Wait = GetParam();
  watched = &stopping_bus;
  ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&stopping_bus));
  stopping_bus.SelectedMask = PortBit[kCom3];
  ASSERT_TRUE(stopping_bus.OpenPorts());

  // A deadline far away: only the stop can end this exchange early.
  const std::int64_t start = clock.NowNs();
  EXPECT_FALSE(stopping_bus.Transact("1;3;", device, 100 * kTimeOut400));
  EXPECT_LT(clock.NowNs() - start, 39'000'000'000);
  EXPECT_EQ(stopping_bus.StopRequested, 1);
  EXPECT_EQ(stopping_bus.Slots[kCom3].Status, 0);
  EXPECT_EQ(stopping_bus.Slots[kCom3].RxText, partial);
}

std::string WaitName(const ::testing::TestParamInfo<ReplyWait>& info) {
  return info.param == ReplyWait::kArrival ? "Arrival" : "Ticks";
}

INSTANTIATE_TEST_SUITE_P(Waits, WinBusTest,
                         ::testing::Values(ReplyWait::kTick, ReplyWait::kArrival), WaitName);
INSTANTIATE_TEST_SUITE_P(Waits, StopTest, ::testing::Values(ReplyWait::kTick, ReplyWait::kArrival),
                         WaitName);

}  // namespace
}  // namespace quorvel::bus
