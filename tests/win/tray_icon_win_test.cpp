// The notification-area icon under Wine, in-process: a window of the test
// stands for the main window, and the shell's icon is observed as the shell
// answers about it (NIM_MODIFY of an icon that is not there fails). Wine's
// explorer.exe holds the icons of the run's desktop in its "Shell_TrayWnd".
// Everything runs on the test's thread; what the icon's window is to do on a
// posted message is done once this thread's messages have been handled.
#include "ui/tray/tray_icon_win.h"

#include <windows.h>

#include <gtest/gtest.h>
#include <shellapi.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "testkit/message_wait_win.h"
#include "ui/tray/tray_icon_ids.h"

namespace quorvel::ui {
namespace {

constexpr DWORD kWaitMs = 10'000;
constexpr wchar_t kTooltip[] = L"Quorvel v.2.1";
constexpr wchar_t kWindowClass[] = L"TrayTestWindow";

bool ShellIcon(DWORD action, HWND owner) {
  NOTIFYICONDATAW nid{};
  nid.cbSize = sizeof(nid);
  nid.hWnd = owner;
  nid.uID = kTrayIconUid;
  nid.uFlags = NIF_ICON;
  nid.hIcon = ::LoadIconW(/*hInstance=*/nullptr, IDI_APPLICATION);
  return ::Shell_NotifyIconW(action, &nid) != FALSE;
}

bool WaitFor(const std::function<bool()>& condition) {
  return remote::PumpUntil(condition, kWaitMs);
}

HWND MakeWindow(const wchar_t* title, int left) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = ::DefWindowProcW;
  window_class.hInstance = ::GetModuleHandleW(nullptr);
  window_class.lpszClassName = kWindowClass;
  ::RegisterClassExW(&window_class);
  const HWND window = ::CreateWindowExW(0, kWindowClass, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                        left, 100, 300, 200, /*hWndParent=*/nullptr,
                                        /*hMenu=*/nullptr, window_class.hInstance, nullptr);
  remote::PumpMessages();
  return window;
}

class TrayIconTest : public ::testing::Test {
 protected:
  void SetUp() override {
    main_ = MakeWindow(L"main", 100);
    other_ = MakeWindow(L"other", 500);
    ASSERT_NE(main_, nullptr);
    ASSERT_NE(other_, nullptr);
    tray_ =
        std::make_unique<TrayIcon>(::GetModuleHandleW(nullptr), main_,
                                   ::LoadIconW(/*hInstance=*/nullptr, IDI_APPLICATION), kTooltip);
    owner_ = tray_->MessageWindow();
    ASSERT_NE(owner_, nullptr);
  }
  void TearDown() override {
    tray_.reset();
    ::DestroyWindow(main_);
    ::DestroyWindow(other_);
    remote::PumpMessages();
  }

  bool Icon() const { return TrayIcon::ShellHolds(owner_); }
  void TurnOn() { ASSERT_EQ(tray_->SetActive(true), std::nullopt); }
  // The minimise button of the main window.
  void Minimise() const {
    ::SendMessageW(main_, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    remote::PumpMessages();
  }
  void Click(UINT mouse) const {
    ::PostMessageW(owner_, kTrayCallbackMessage, kTrayIconUid, mouse);
    remote::PumpMessages();
  }
  void MakeOtherForeground() const {
    ::SetForegroundWindow(other_);
    ASSERT_TRUE(WaitFor([&] { return ::GetForegroundWindow() == other_; }));
  }
  bool Hidden() const { return !::IsWindowVisible(main_) && ::IsIconic(main_); }
  bool Restored() const {
    return ::IsWindowVisible(main_) && !::IsIconic(main_) && ::GetForegroundWindow() == main_;
  }
  // The shell's broadcast after it (re)starts, as every top-level window
  // gets it; returns once every window of this thread has handled it.
  static void BroadcastTaskbarCreated() {
    ::SendMessageTimeoutW(HWND_BROADCAST, ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0,
                          SMTO_ABORTIFHUNG, kWaitMs, /*lpdwResult=*/nullptr);
    remote::PumpMessages();
  }

  HWND main_ = nullptr;
  HWND other_ = nullptr;
  HWND owner_ = nullptr;
  std::unique_ptr<TrayIcon> tray_;
};

// --- on and off ---

TEST_F(TrayIconTest, OnAddsTheIconAtOnceAndOffRemovesIt) {
  EXPECT_FALSE(tray_->Active());
  EXPECT_FALSE(Icon());
  EXPECT_EQ(tray_->SetActive(true), std::nullopt);
  EXPECT_TRUE(tray_->Active());
  EXPECT_TRUE(Icon());
  EXPECT_EQ(tray_->SetActive(false), std::nullopt);
  EXPECT_FALSE(tray_->Active());
  EXPECT_FALSE(Icon());
  // The window itself stays as it was.
  EXPECT_TRUE(::IsWindowVisible(main_));
  EXPECT_FALSE(::IsIconic(main_));
}

TEST_F(TrayIconTest, RefusedAddIsReportedAndTheIconComesWithTheNextShell) {
  // The shell refuses a second icon of the same identity.
  ASSERT_TRUE(ShellIcon(NIM_ADD, owner_));
  EXPECT_EQ(tray_->SetActive(true), "Cannot create Shell Notification Icon");
  EXPECT_TRUE(tray_->Active());
  // A new shell knows no icons; it asks for them again.
  ASSERT_TRUE(ShellIcon(NIM_DELETE, owner_));
  BroadcastTaskbarCreated();
  EXPECT_TRUE(Icon());
  EXPECT_EQ(tray_->SetActive(false), std::nullopt);
  EXPECT_FALSE(Icon());
}

TEST_F(TrayIconTest, RefusedRemoveIsReported) {
  TurnOn();
  ASSERT_TRUE(ShellIcon(NIM_DELETE, owner_));
  EXPECT_EQ(tray_->SetActive(false), "Cannot remove Shell Notification Icon");
  EXPECT_FALSE(tray_->Active());
}

TEST_F(TrayIconTest, TaskbarCreatedAddsTheIconAgainOnlyWhenOn) {
  BroadcastTaskbarCreated();
  EXPECT_FALSE(Icon());
  TurnOn();
  ASSERT_TRUE(ShellIcon(NIM_DELETE, owner_));  // the shell ended, taking the icon
  BroadcastTaskbarCreated();
  EXPECT_TRUE(Icon());
  EXPECT_EQ(tray_->SetActive(false), std::nullopt);
  BroadcastTaskbarCreated();
  EXPECT_FALSE(Icon());
}

TEST_F(TrayIconTest, TooltipIsTakenOnlyWhenShorterThan64Characters) {
  EXPECT_EQ(tray_->Tooltip(), kTooltip);
  TurnOn();
  EXPECT_FALSE(tray_->SetTooltip(std::wstring(64, L'x')));
  EXPECT_EQ(tray_->Tooltip(), kTooltip);
  const std::wstring longest(63, L'y');
  EXPECT_TRUE(tray_->SetTooltip(longest));
  EXPECT_EQ(tray_->Tooltip(), longest);
  EXPECT_TRUE(Icon());

  const TrayIcon too_long(::GetModuleHandleW(nullptr), other_, nullptr, std::wstring(64, L'z'));
  EXPECT_EQ(too_long.Tooltip(), L"");
}

// --- minimise and restore ---

TEST_F(TrayIconTest, MinimiseWhileOnLeavesTheTaskbarAndDoubleClickBringsItBack) {
  TurnOn();
  Minimise();
  EXPECT_TRUE(WaitFor([&] { return Hidden(); }))
      << "visible " << ::IsWindowVisible(main_) << ", iconic " << ::IsIconic(main_);
  MakeOtherForeground();
  Click(WM_LBUTTONDBLCLK);
  EXPECT_TRUE(WaitFor([&] { return Restored(); }))
      << "visible " << ::IsWindowVisible(main_) << ", iconic " << ::IsIconic(main_)
      << ", foreground " << (::GetForegroundWindow() == main_);
  EXPECT_FALSE(::IsZoomed(main_));
}

TEST_F(TrayIconTest, DoubleClickRestoresAMaximisedWindowMaximised) {
  TurnOn();
  ::ShowWindow(main_, SW_MAXIMIZE);
  Minimise();
  ASSERT_TRUE(WaitFor([&] { return Hidden(); }));
  Click(WM_LBUTTONDBLCLK);
  EXPECT_TRUE(WaitFor([&] { return Restored(); }));
  EXPECT_TRUE(::IsZoomed(main_));
}

TEST_F(TrayIconTest, DoubleClickOnAShownWindowOnlyBringsItToTheFront) {
  TurnOn();
  RECT before{};
  ::GetWindowRect(main_, &before);
  MakeOtherForeground();
  Click(WM_LBUTTONDBLCLK);
  EXPECT_TRUE(WaitFor([&] { return Restored(); }));
  RECT after{};
  ::GetWindowRect(main_, &after);
  EXPECT_TRUE(::EqualRect(&before, &after));
  EXPECT_FALSE(::IsZoomed(main_));
}

TEST_F(TrayIconTest, OtherClicksOnTheIconDoNothing) {
  TurnOn();
  Minimise();
  ASSERT_TRUE(WaitFor([&] { return Hidden(); }));
  for (const UINT mouse : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_RBUTTONUP,
                           WM_RBUTTONDBLCLK, WM_MBUTTONDBLCLK, WM_CONTEXTMENU}) {
    Click(mouse);
    EXPECT_TRUE(Hidden()) << "mouse message " << mouse;
  }
  // No menu either.
  EXPECT_EQ(::FindWindowW(L"#32768", nullptr), nullptr);
}

TEST_F(TrayIconTest, WhileOffMinimiseAndDoubleClickAreAsUsual) {
  TurnOn();
  ASSERT_EQ(tray_->SetActive(false), std::nullopt);
  Minimise();
  EXPECT_TRUE(::IsIconic(main_));
  EXPECT_TRUE(::IsWindowVisible(main_)) << "the taskbar button went";
  Click(WM_LBUTTONDBLCLK);
  EXPECT_TRUE(::IsIconic(main_));
}

TEST_F(TrayIconTest, DestructorRemovesTheIconAndLeavesTheMainWindowAlone) {
  TurnOn();
  tray_.reset();
  // Under Wine the end of the icon's window also clears the icon; what is
  // checked is that nothing of it is left behind.
  EXPECT_FALSE(TrayIcon::ShellHolds(owner_));
  EXPECT_FALSE(::IsWindow(owner_));
  Minimise();
  EXPECT_TRUE(::IsIconic(main_));
  EXPECT_TRUE(::IsWindowVisible(main_));
}

// The main window may go first (the program's end destroys it before the
// icon): the icon still goes with its owner object.
TEST_F(TrayIconTest, MainWindowGoingFirstIsHandled) {
  TurnOn();
  ::DestroyWindow(main_);
  main_ = nullptr;
  EXPECT_TRUE(tray_->Active());
  tray_.reset();
  EXPECT_FALSE(TrayIcon::ShellHolds(owner_));
}

}  // namespace
}  // namespace quorvel::ui
