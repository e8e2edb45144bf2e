// Quorvel.exe. For now a plain main window; the real one comes with the
// poll cycle.
#include <windows.h>

namespace {

constexpr wchar_t kWindowClass[] = L"TForm1";
constexpr wchar_t kTitle[] = L"Quorvel v.2.1";

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DESTROY) {
    ::PostQuitMessage(0);
    return 0;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*command_line*/, int show) {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance;
  window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kWindowClass;
  if (!::RegisterClassW(&window_class)) return 1;

  HWND window = ::CreateWindowExW(0, kWindowClass, kTitle, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 360, 160, /*hWndParent=*/nullptr,
                                  /*hMenu=*/nullptr, instance, /*lpParam=*/nullptr);
  if (window == nullptr) return 1;
  ::ShowWindow(window, show);

  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}
