// The About box under Wine. The box runs modally on the test's main thread
// over a window of the test standing for the main window; a second thread
// waits for it to show (with an upper bound), looks at it and closes it as a
// user would. The links are opened through associations this run registers
// to this very program: started with "--record-link TARGET" it records the
// target (testkit/open_recorder_win.h) in the file named by QUORVEL_LINK_LOG
// and ends, so each call of the shell leaves one line.
#include "ui/tray/about_form_win.h"

#include <windows.h>

#include <gtest/gtest.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "testkit/message_wait_win.h"
#include "testkit/open_recorder_win.h"
#include "testkit/quorvel_remote_win.h"
#include "ui/gdi_object_win.h"
#include "ui/tray/about_form_ids.h"

namespace quorvel::ui {
namespace {

using testing::RecordedTargets;

constexpr DWORD kWaitMs = 10'000;
constexpr wchar_t kOwnerClass[] = L"AboutTestOwner";
constexpr wchar_t kLogVariable[] = L"QUORVEL_LINK_LOG";
constexpr COLORREF kVisited = RGB(128, 0, 128);

bool WaitFor(const std::function<bool()>& condition) {
  return remote::PumpUntil(condition, kWaitMs);
}

std::wstring TextOf(HWND window) {
  wchar_t text[256] = {};
  ::GetWindowTextW(window, text, static_cast<int>(std::size(text)));
  return text;
}

// A child's rectangle in the client coordinates of its parent.
RECT ClientRectOf(HWND parent, HWND child) {
  RECT rect{};
  ::GetWindowRect(child, &rect);
  ::MapWindowPoints(/*hWndFrom=*/nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// Whether the control, drawn as it draws itself now, shows the colour.
bool Shows(HWND control, COLORREF colour) {
  RECT client{};
  ::GetClientRect(control, &client);
  const TopDownBitmap canvas = MakeTopDownBitmap(client.right, client.bottom);
  const UniqueMemoryDc dc(::CreateCompatibleDC(/*hdc=*/nullptr));
  if (!canvas.bitmap || !dc) return false;
  const HGDIOBJ old = ::SelectObject(dc.get(), canvas.bitmap.get());
  ::SendMessageTimeoutW(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.get()), PRF_CLIENT,
                        SMTO_ABORTIFHUNG, kWaitMs, nullptr);
  ::GdiFlush();
  const DWORD wanted = (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
  bool found = false;
  for (LONG i = 0; i < client.right * client.bottom; ++i) {
    if ((canvas.pixels[i] & 0xFFFFFF) == wanted) found = true;
  }
  ::SelectObject(dc.get(), old);
  return found;
}

// A click of the left button on a control, handled when this returns.
void Click(HWND control) {
  for (const UINT message : {WM_LBUTTONDOWN, WM_LBUTTONUP}) {
    ::SendMessageTimeoutW(control, message, message == WM_LBUTTONDOWN ? MK_LBUTTON : 0,
                          MAKELPARAM(2, 2), SMTO_ABORTIFHUNG, kWaitMs, nullptr);
  }
}

// Processes this program started that still run (the recorders).
int ChildrenRunning() {
  const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  int count = 0;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot, &entry); more;
       more = ::Process32NextW(snapshot, &entry)) {
    if (entry.th32ParentProcessID == ::GetCurrentProcessId()) ++count;
  }
  ::CloseHandle(snapshot);
  return count;
}

// Whether what the shell handed over opens `target`: the target itself, or
// for a file, its path in the working directory.
bool Opens(const std::string& recorded, const std::string& target) {
  return recorded == target || (recorded.size() > target.size() &&
                                recorded.compare(recorded.size() - target.size() - 1,
                                                 std::string::npos, "\\" + target) == 0);
}

void SetDefaultValue(const std::wstring& key, const std::wstring& value) {
  ::RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), /*lpValueName=*/nullptr, REG_SZ, value.c_str(),
                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

class AboutFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = ::DefWindowProcW;
    window_class.hInstance = ::GetModuleHandleW(nullptr);
    window_class.lpszClassName = kOwnerClass;
    ::RegisterClassExW(&window_class);
    owner_ = ::CreateWindowExW(0, kOwnerClass, L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 150, 120,
                               520, 340, nullptr, nullptr, window_class.hInstance, nullptr);
    ASSERT_NE(owner_, nullptr);
    form_ = std::make_unique<TAboutForm>(::GetModuleHandleW(nullptr), owner_);
    ASSERT_TRUE(form_->Create());
    box_ = form_->Handle();
    ASSERT_NE(box_, nullptr);
    EXPECT_FALSE(::IsWindowVisible(box_));
  }
  void TearDown() override {
    form_.reset();
    ::DestroyWindow(owner_);
  }

  // Shows the box; `user` runs on a second thread once it shows, and the box
  // is closed from there if it still shows after.
  void ShowModal(const std::function<void()>& user) {
    std::thread thread([&] {
      const bool shown = WaitFor([&] { return ::IsWindowVisible(box_) != FALSE; });
      EXPECT_TRUE(shown) << "the box did not show";
      if (shown) user();
      if (::IsWindowVisible(box_)) ::SendMessageW(box_, WM_CLOSE, 0, 0);
    });
    form_->ShowModal();
    thread.join();
    EXPECT_FALSE(::IsWindowVisible(box_));
    EXPECT_TRUE(::IsWindowEnabled(owner_));
    EXPECT_TRUE(::IsWindow(box_)) << "the box is made once";
  }
  bool WaitClosed() const {
    return WaitFor([&] { return !::IsWindowVisible(box_) && ::IsWindowEnabled(owner_); });
  }
  HWND Control(int id) const { return ::GetDlgItem(box_, id); }

  HWND owner_ = nullptr;
  HWND box_ = nullptr;
  std::unique_ptr<TAboutForm> form_;
};

// --- the window ---

TEST_F(AboutFormTest, OpensCentredOverItsOwnerWithItsLayoutAndOkClosesIt) {
  ShowModal([&] {
    EXPECT_FALSE(::IsWindowEnabled(owner_));
    wchar_t name[32] = {};
    ::GetClassNameW(box_, name, static_cast<int>(std::size(name)));
    EXPECT_STREQ(name, L"TAboutForm");
    EXPECT_EQ(TextOf(box_), L"О программе");
    const auto style = static_cast<DWORD>(::GetWindowLongPtrW(box_, GWL_STYLE));
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU), static_cast<DWORD>(WS_CAPTION | WS_SYSMENU));
    EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0u);
    EXPECT_NE(::SendMessageW(box_, WM_GETICON, ICON_BIG, 0), 0);

    RECT client{};
    ::GetClientRect(box_, &client);
    EXPECT_EQ(client.right, 318);
    EXPECT_EQ(client.bottom, 111);
    RECT box{};
    RECT owner{};
    ::GetWindowRect(box_, &box);
    ::GetWindowRect(owner_, &owner);
    EXPECT_LE(std::abs((box.left + box.right) - (owner.left + owner.right)), 1);
    EXPECT_LE(std::abs((box.top + box.bottom) - (owner.top + owner.bottom)), 1);

    struct Expected {
      int id;
      const wchar_t* text;
      int left, top, width, height;  // 0: any
    };
    const Expected controls[] = {
        {kAboutImage1Id, L"", 2, 0, 90, 70},
        {kAboutLabel1Id, L"Quorvel v.2.1", 102, 1, 0, 0},
        {kAboutLabel2Id, L"© 2026 Quorvel Instruments", 102, 17, 0, 0},
        {kAboutLabel3Id, L"Автор:", 102, 33, 0, 0},
        {kAboutAuthorMailId, L"author@quorvel.example", 192, 32, 0, 0},
        {kAboutLabel4Id, L"Web Page: ", 102, 49, 0, 0},
        {kAboutWebId, L"http://www.quorvel.example/", 192, 48, 0, 0},
        {kAboutLabel5Id, L"E-mail:", 126, 65, 0, 0},
        {kAboutMailId, L"support@quorvel.example", 192, 64, 0, 0},
        {kAboutBevel1Id, L"", 102, 81, 211, 0},
        {kAboutButton1Id, L"&Ok", 247, 86, 63, 21},
    };
    for (const Expected& c : controls) {
      const HWND control = Control(c.id);
      ASSERT_NE(control, nullptr) << c.id;
      EXPECT_EQ(TextOf(control), c.text) << c.id;
      const RECT rect = ClientRectOf(box_, control);
      EXPECT_EQ(rect.left, c.left) << c.id;
      EXPECT_EQ(rect.top, c.top) << c.id;
      if (c.width != 0) {
        EXPECT_EQ(rect.right - rect.left, c.width) << c.id;
      }
      if (c.height != 0) {
        EXPECT_EQ(rect.bottom - rect.top, c.height) << c.id;
      }
    }

    // "&Ok" has the focus, and nothing else can take it.
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    ::GetGUIThreadInfo(::GetWindowThreadProcessId(box_, nullptr), &gui);
    EXPECT_EQ(gui.hwndFocus, Control(kAboutButton1Id));
    for (HWND child = ::GetWindow(box_, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
      const bool tab_stop = (::GetWindowLongPtrW(child, GWL_STYLE) & WS_TABSTOP) != 0;
      EXPECT_EQ(tab_stop, child == Control(kAboutButton1Id)) << TextOf(child).size();
    }

    ::PostMessageW(Control(kAboutButton1Id), BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitClosed());
  });
}

TEST_F(AboutFormTest, CloseBoxAndACloseFromAnotherThreadCloseIt) {
  ShowModal([&] {
    ::PostMessageW(box_, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(WaitClosed());
  });
  // Sent, not posted: handled inside the box's wait for messages.
  ShowModal([&] {
    ::SendMessageW(box_, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitClosed());
  });
}

// --- the links ---

class AboutLinksTest : public AboutFormTest {
 protected:
  void SetUp() override {
    AboutFormTest::SetUp();
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"about_links_" + std::to_wstring(::GetCurrentProcessId()) +
              L"_" + std::to_wstring(++runs_) + L"\\";
    ASSERT_TRUE(::CreateDirectoryW(folder_.c_str(), nullptr));
    log_ = folder_ + L"links.log";
    ::SetEnvironmentVariableW(kLogVariable, log_.c_str());
    ::GetCurrentDirectoryW(MAX_PATH, previous_directory_);
    ::SetCurrentDirectoryW(folder_.c_str());

    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring command = L"\"" + std::wstring(self) + L"\" --record-link \"%1\"";
    SetDefaultValue(L"http\\shell\\open\\command", command);
    SetDefaultValue(L".example", L"QuorvelLinkTest");
    SetDefaultValue(L"QuorvelLinkTest\\shell\\open\\command", command);
  }
  void TearDown() override {
    ::SetCurrentDirectoryW(previous_directory_);
    AboutFormTest::TearDown();
  }

  // The e-mail links open files of their text in the working directory.
  void MakeMailFiles() const {
    for (const wchar_t* name : {L"author@quorvel.example", L"support@quorvel.example"}) {
      const HANDLE file = ::CreateFileW((folder_ + name).c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      ASSERT_NE(file, INVALID_HANDLE_VALUE);
      ::CloseHandle(file);
    }
  }
  // The targets opened so far, once every recorder has ended.
  std::vector<std::string> Opened(std::size_t expected) const {
    WaitFor([&] { return ChildrenRunning() == 0 && RecordedTargets(log_).size() >= expected; });
    return RecordedTargets(log_);
  }

  static inline int runs_ = 0;
  std::wstring folder_;
  std::wstring log_;
  wchar_t previous_directory_[MAX_PATH] = {};
};

TEST_F(AboutLinksTest, EachLinkOpensItsTargetOnceAndTurnsPurple) {
  ASSERT_NO_FATAL_FAILURE(MakeMailFiles());
  struct Case {
    int id;
    const char* target;
  };
  const Case links[] = {
      {kAboutAuthorMailId, "author@quorvel.example"},
      {kAboutWebId, "http://www.quorvel.example/"},
      {kAboutMailId, "support@quorvel.example"},
  };
  ShowModal([&] {
    const COLORREF fresh = ::GetSysColor(COLOR_HIGHLIGHT);
    for (std::size_t i = 0; i < std::size(links); ++i) {
      const HWND link = Control(links[i].id);
      EXPECT_TRUE(Shows(link, fresh)) << links[i].target;
      EXPECT_FALSE(Shows(link, kVisited)) << links[i].target;
      Click(link);
      const std::vector<std::string> opened = Opened(i + 1);
      ASSERT_EQ(opened.size(), i + 1) << links[i].target;
      EXPECT_TRUE(Opens(opened.back(), links[i].target)) << opened.back();
      EXPECT_TRUE(Shows(link, kVisited)) << links[i].target;
      EXPECT_FALSE(Shows(link, fresh)) << links[i].target;
    }
  });
  // Visited for the rest of the run.
  ShowModal([&] {
    for (const Case& link : links) EXPECT_TRUE(Shows(Control(link.id), kVisited)) << link.target;
  });
}

TEST_F(AboutLinksTest, FailedOpenShowsNothingAndLeavesTheLinkAsItWas) {
  // No file of the e-mail text: the shell cannot open it.
  ShowModal([&] {
    const HWND link = Control(kAboutMailId);
    Click(link);
    EXPECT_TRUE(Opened(0).empty());
    EXPECT_FALSE(Shows(link, kVisited));
    EXPECT_TRUE(Shows(link, ::GetSysColor(COLOR_HIGHLIGHT)));
    // Nothing shows but the owner and the box.
    std::vector<HWND> shown;
    ::EnumWindows(
        [](HWND window, LPARAM out) -> BOOL {
          DWORD pid = 0;
          ::GetWindowThreadProcessId(window, &pid);
          if (pid == ::GetCurrentProcessId() && ::IsWindowVisible(window)) {
            reinterpret_cast<std::vector<HWND>*>(out)->push_back(window);
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&shown));
    EXPECT_EQ(shown.size(), 2u);
  });
}

TEST_F(AboutFormTest, LinksShowTheHandCursor) {
  const HCURSOR hand = ::LoadCursorW(nullptr, IDC_HAND);
  for (const int id : {kAboutAuthorMailId, kAboutWebId, kAboutMailId}) {
    ::SetCursor(nullptr);
    ::SendMessageW(Control(id), WM_SETCURSOR, reinterpret_cast<WPARAM>(Control(id)),
                   MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(::GetCursor(), hand) << id;
  }
  ::SetCursor(nullptr);
  ::SendMessageW(Control(kAboutLabel4Id), WM_SETCURSOR,
                 reinterpret_cast<WPARAM>(Control(kAboutLabel4Id)),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_NE(::GetCursor(), hand);
}

}  // namespace
}  // namespace quorvel::ui

int main(int argc, char** argv) {
  if (const std::optional<int> recorded =
          quorvel::testing::RecordOpenIfAsked(L"--record-link", quorvel::ui::kLogVariable)) {
    return *recorded;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
