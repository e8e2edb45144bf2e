// Quorvel.exe. For now: the DDE server with its topic and 500 items, and a
// plain main window; the real window comes with the poll cycle.
#include <windows.h>

#include <memory>
#include <string>

#include "base/cp1251.h"
#include "base/executable_path.h"
#include "poll/dde_components.h"
#include "poll/dde_server_win.h"

namespace {

constexpr wchar_t kWindowClass[] = L"TForm1";
constexpr char kTitle[] = "Quorvel v.2.1";

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DESTROY) {
    ::PostQuitMessage(0);
    return 0;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

void ShowError(const std::string& text) {
  const std::u16string wide = quorvel::cp1251::ToUtf16(text);
  ::MessageBoxW(/*hWnd=*/nullptr, reinterpret_cast<const wchar_t*>(wide.c_str()), L"Error",
                MB_OK | MB_ICONERROR);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*command_line*/, int show) {
  using namespace quorvel::poll;

  // The DDE manager comes before any window and goes last.
  std::uint32_t dde_error = 0;
  const std::unique_ptr<DdemlServer> dde =
      DdemlServer::Start(ServiceName(quorvel::ExecutablePath()), &dde_error);
  if (!dde) {
    ShowError(DdeStartupErrorMessage(dde_error));
    return 1;
  }

  DdeForm main_form{kTitle, {}};
  dde->Manager().AddForm(&main_form);
  DdeComponents components(dde->Manager(), main_form);
  components.NameItems("S");

  WNDCLASSW window_class{};
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance;
  window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kWindowClass;
  if (!::RegisterClassW(&window_class)) return 1;

  HWND window =
      ::CreateWindowExW(0, kWindowClass, L"Quorvel v.2.1", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                        CW_USEDEFAULT, CW_USEDEFAULT, 360, 160, /*hWndParent=*/nullptr,
                        /*hMenu=*/nullptr, instance, /*lpParam=*/nullptr);
  if (window == nullptr) return 1;
  ::ShowWindow(window, show);

  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  components.ReleaseItems();
  dde->Manager().RemoveForm(&main_form);
  return static_cast<int>(msg.wParam);
}
