// Quorvel.exe's splash during its start-up, seen from this process: the
// program is launched without waiting for its main window, its TMark window watched from before it
// appears until it has gone, and the main window's sensor list checked meanwhile.
//
// The window's life is bracketed by the looks: it appeared after the last
// look that did not find it and went before the first look that missed it
// again, so that span is at least its life however late a busy machine lets
// this test look. A span shorter than the display time is a splash that
// went too early.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "testkit/message_wait_win.h"
#include "testkit/program_test_win.h"
#include "testkit/quorvel_remote_win.h"
#include "ui/main_form_ids.h"

namespace quorvel::testing {
namespace {

// The display time the program gives its splash: 4 units of 600 ms.
constexpr DWORD kSplashMs = 2400;

class SplashProgramTest : public ProgramTest {
 protected:
  // The number of entries of the main window's sensor list, when it shows.
  std::optional<LRESULT> ShownSensors() const {
    const HWND main = remote::FindTopLevel(form_.Pid(), ui::kMainFormClass);
    if (main == nullptr || !::IsWindowVisible(main)) return std::nullopt;
    return remote::Ask(::GetDlgItem(main, ui::kCB1Id), CB_GETCOUNT, 0, 0);
  }
};

TEST_F(SplashProgramTest, SplashStaysItsTimeBeforeTheMainWindowIsFilled) {
  ASSERT_NO_FATAL_FAILURE(Prepare(BaseSettings({{5, 3}, {7, 3}})));
  std::string error;
  ASSERT_TRUE(form_.Launch(folder_, "", &error)) << error;

  HWND splash = nullptr;
  DWORD last_missed = ::GetTickCount();
  ASSERT_TRUE(remote::PumpUntil(
      [&] {
        splash = remote::FindTopLevel(form_.Pid(), L"TMark");
        if (splash != nullptr && ::IsWindowVisible(splash)) return true;
        last_missed = ::GetTickCount();
        return !form_.Running();
      },
      remote::kProgramWaitMs, form_.Process()));
  ASSERT_NE(splash, nullptr) << "Quorvel.exe ended without a splash";
  RECT rect{};
  ::GetWindowRect(splash, &rect);
  EXPECT_EQ(rect.right - rect.left, 242);
  EXPECT_EQ(rect.bottom - rect.top, 360);

  bool filled_early = false;
  ASSERT_TRUE(remote::PumpUntil(
      [&] {
        if (!::IsWindow(splash)) return true;
        const std::optional<LRESULT> sensors = ShownSensors();
        if (sensors && *sensors > 0) filled_early = true;
        return false;
      },
      remote::kProgramWaitMs, form_.Process()));
  const DWORD first_gone = ::GetTickCount();
  EXPECT_GE(first_gone - last_missed, kSplashMs);
  EXPECT_FALSE(filled_early) << "the sensor list showed filled while the splash was up";

  std::optional<LRESULT> sensors;
  EXPECT_TRUE(remote::PumpUntil(
      [&] {
        sensors = ShownSensors();
        return (sensors && *sensors > 0) || !form_.Running();
      },
      remote::kProgramWaitMs, form_.Process()));
  EXPECT_EQ(sensors, std::optional<LRESULT>(2));
}

}  // namespace
}  // namespace quorvel::testing
