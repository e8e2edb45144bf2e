// The notification-area icon and the About box of Quorvel.exe, driven from
// this program as a user drives them (testkit/setup_driver_win.h). The
// icon is found by its hidden window (ui/tray/tray_icon_ids.h) and the shell
// asked about it from here.
#include <windows.h>

#include <gtest/gtest.h>

#include "testkit/program_test_win.h"
#include "testkit/quorvel_remote_win.h"
#include "testkit/setup_driver_win.h"
#include "ui/main_form_ids.h"
#include "ui/setup_form_ids.h"
#include "ui/tray/about_form_ids.h"
#include "ui/tray/tray_icon_ids.h"
#include "ui/tray/tray_icon_win.h"

namespace quorvel::testing {
namespace {

using namespace quorvel::ui;

class TrayProgramTest : public ProgramTest {
 protected:
  void LaunchWithDisplay(int display, std::string_view arguments = {}) {
    config::Settings settings = BaseSettings({{5, 3}});
    settings.SetDisplay(display);
    ASSERT_NO_FATAL_FAILURE(PrepareAndLaunch(settings, arguments));
    tray_ = remote::FindTopLevel(form_.Pid(), kTrayWindowClass);
    ASSERT_NE(tray_, nullptr);
  }
  bool Icon() const { return TrayIcon::ShellHolds(tray_); }

  HWND tray_ = nullptr;
};

TEST_F(TrayProgramTest, TheDisplayChoiceSwitchesTheIconAtOnce) {
  ASSERT_NO_FATAL_FAILURE(LaunchWithDisplay(0, "/k"));
  EXPECT_FALSE(Icon());
  SetupDriver setup(form_);
  ASSERT_TRUE(setup.Open());
  setup.Click(kRadioTrayId);
  EXPECT_TRUE(WaitUntil([&] { return Icon(); }));
  setup.Click(kRadioTaskbarId);
  EXPECT_TRUE(WaitUntil([&] { return !Icon(); }));
  setup.CloseBox();
  ASSERT_TRUE(setup.WaitClosed());
  CloseAndExpectExit();
}

TEST_F(TrayProgramTest, StoredTrayChoiceHidesTheMinimisedWindowUntilADoubleClick) {
  ASSERT_NO_FATAL_FAILURE(LaunchWithDisplay(1));
  EXPECT_TRUE(Icon());
  const HWND main = form_.Main();
  ::PostMessageW(main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(WaitUntil([&] { return !::IsWindowVisible(main) && ::IsIconic(main); }));
  ::PostMessageW(tray_, kTrayCallbackMessage, kTrayIconUid, WM_LBUTTONDBLCLK);
  EXPECT_TRUE(WaitUntil([&] { return ::IsWindowVisible(main) && !::IsIconic(main); }));
  CloseAndExpectExit();
  EXPECT_FALSE(Icon());
}

TEST_F(TrayProgramTest, AboutBoxOpensFromTheMenuAndOkClosesIt) {
  ASSERT_NO_FATAL_FAILURE(LaunchWithDisplay(0));
  const HWND main = form_.Main();
  ::PostMessageW(main, WM_COMMAND, MAKEWPARAM(kN4Id, 0), 0);
  HWND box = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    box = remote::FindTopLevel(form_.Pid(), kAboutFormClass);
    return box != nullptr && ::IsWindowVisible(box) && !::IsWindowEnabled(main);
  }));
  EXPECT_EQ(remote::WindowText(box), u"О программе");
  EXPECT_EQ(remote::WindowText(::GetDlgItem(box, kAboutLabel1Id)), u"Quorvel v.2.1");
  ::PostMessageW(::GetDlgItem(box, kAboutButton1Id), BM_CLICK, 0, 0);
  EXPECT_TRUE(WaitUntil([&] { return !::IsWindowVisible(box) && ::IsWindowEnabled(main); }));
  CloseAndExpectExit();
}

}  // namespace
}  // namespace quorvel::testing
