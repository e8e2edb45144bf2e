// The help command of Quorvel.exe, driven from this program: with a help
// file beside the program, the help viewer is asked for its contents (the
// viewer found by its window class, which this program registers); without
// one, the shell is asked to open the user's guide (the shell's association
// of ".html" made in the run's prefix to start this program, which records
// what it was handed). Its own main: started with "--record-open" it records.
#include <windows.h>

#include <gtest/gtest.h>
#include <shellapi.h>

#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "testkit/open_recorder_win.h"
#include "testkit/program_test_win.h"
#include "testkit/quorvel_remote_win.h"
#include "ui/main_form_ids.h"

namespace quorvel::testing {
namespace {

constexpr wchar_t kLogVariable[] = L"QUORVEL_OPEN_LOG";
constexpr wchar_t kViewerClass[] = L"MS_WINHELP";

// What the help viewer is told: the command and the file, as user32 packs
// them into the copy-data message it sends the viewer's window.
struct ViewerCall {
  unsigned command = 0;
  std::string file;
};
std::vector<ViewerCall> viewer_calls;

LRESULT CALLBACK ViewerProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_COPYDATA) {
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lparam);
    const auto* bytes = static_cast<const char*>(data->lpData);
    WORD command = 0;
    WORD file_offset = 0;
    if (data->cbData >= 16) {
      std::memcpy(&command, bytes + 2, sizeof command);
      std::memcpy(&file_offset, bytes + 12, sizeof file_offset);
    }
    ViewerCall call{command, {}};
    if (file_offset != 0 && file_offset < data->cbData) call.file = bytes + file_offset;
    viewer_calls.push_back(call);
    return TRUE;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

// The texts of a window's children, one line each: a message box's text is
// one of them.
std::string TextsOf(HWND window) {
  std::string texts;
  ::EnumChildWindows(
      window,
      [](HWND child, LPARAM out) -> BOOL {
        *reinterpret_cast<std::string*>(out) += remote::Utf8(remote::WindowText(child)) + "\n";
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&texts));
  return texts;
}

void SetClassDefault(const std::wstring& key, const std::wstring& value) {
  ::RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), /*lpValueName=*/nullptr, REG_SZ, value.c_str(),
                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void WriteFile(const std::string& path, std::string_view text) {
  std::ofstream file(path, std::ios::binary);
  file << text;
}

class HelpTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring command = L"\"" + std::wstring(self) + L"\" --record-open \"%1\"";
    SetClassDefault(L".html", L"QuorvelGuideTest");
    SetClassDefault(L"QuorvelGuideTest\\shell\\open\\command", command);
    ASSERT_NO_FATAL_FAILURE(Prepare(BaseSettings({{5, 3}})));
    log_ = folder_ + "opened.log";
    ::SetEnvironmentVariableW(kLogVariable, std::wstring(log_.begin(), log_.end()).c_str());
    guide_ = folder_ + "doc\\guide.html";
  }
  void TearDown() override {
    if (viewer_ != nullptr) ::DestroyWindow(viewer_);
    ProgramTest::TearDown();
  }

  void MakeGuide() const {
    ASSERT_TRUE(::CreateDirectoryA((folder_ + "doc").c_str(), nullptr));
    WriteFile(guide_, "<html lang=\"ru\"></html>");
  }
  void MakeViewer() {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = ViewerProc;
    window_class.hInstance = ::GetModuleHandleW(nullptr);
    window_class.lpszClassName = kViewerClass;
    ::RegisterClassExW(&window_class);
    viewer_ = ::CreateWindowExW(0, kViewerClass, L"viewer", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                nullptr, window_class.hInstance, nullptr);
    ASSERT_NE(viewer_, nullptr);
    viewer_calls.clear();
  }
  void ChooseHelp() const { ::PostMessageW(form_.Main(), WM_COMMAND, MAKEWPARAM(ui::kN2Id, 0), 0); }

  std::vector<std::string> Recorded() const {
    return RecordedTargets(std::wstring(log_.begin(), log_.end()));
  }

  std::string log_;  // ASCII, as every path of the run
  std::string guide_;
  HWND viewer_ = nullptr;
};

TEST_F(HelpTest, WithoutAHelpFileTheGuideIsOpenedByTheShell) {
  ASSERT_NO_FATAL_FAILURE(MakeGuide());
  ASSERT_NO_FATAL_FAILURE(MakeViewer());  // there, but not to be asked
  ASSERT_NO_FATAL_FAILURE(Launch());
  ChooseHelp();
  ASSERT_TRUE(WaitUntil([&] { return !Recorded().empty(); })) << "the shell opened nothing";
  EXPECT_EQ(Recorded(), std::vector<std::string>{guide_});
  EXPECT_TRUE(viewer_calls.empty());
  EXPECT_EQ(form_.FindDialog(), nullptr);
  CloseAndExpectExit();
}

TEST_F(HelpTest, WithAHelpFileTheViewerIsAskedForItsContents) {
  ASSERT_NO_FATAL_FAILURE(MakeGuide());
  WriteFile(folder_ + "Quorvel.hlp", "?_\x03");
  ASSERT_NO_FATAL_FAILURE(MakeViewer());
  ASSERT_NO_FATAL_FAILURE(Launch());
  ChooseHelp();
  ASSERT_TRUE(WaitUntil([&] { return !viewer_calls.empty(); })) << "the viewer was not asked";
  ASSERT_EQ(viewer_calls.size(), 1u);
  EXPECT_EQ(viewer_calls[0].command, static_cast<unsigned>(HELP_FINDER));
  EXPECT_EQ(viewer_calls[0].file, folder_ + "Quorvel.hlp");
  CloseAndExpectExit();
  EXPECT_TRUE(Recorded().empty()) << "the guide was opened too";
}

TEST_F(HelpTest, WithNeitherTheUserIsToldWhatIsMissing) {
  ASSERT_NO_FATAL_FAILURE(Launch());
  ChooseHelp();
  const HWND dialog = form_.WaitDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_NE(TextsOf(dialog).find(guide_), std::string::npos) << TextsOf(dialog);
  EXPECT_TRUE(remote::RemoteQuorvel::AnswerDialog(dialog, IDOK));
  ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(dialog); }));
  CloseAndExpectExit();
}

}  // namespace
}  // namespace quorvel::testing

int main(int argc, char** argv) {
  if (const std::optional<int> recorded =
          quorvel::testing::RecordOpenIfAsked(L"--record-open", quorvel::testing::kLogVariable)) {
    return *recorded;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
