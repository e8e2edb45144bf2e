#include "ui/splash/splash_win.h"

#include <cstddef>
#include <cstring>
#include <stdexcept>

#include "base/unique_handle.h"
#include "ui/gdi_object_win.h"
#include "ui/resource_ids.h"
#include "ui/splash/jpeg_picture.h"
#include "ui/splash/splash_wait.h"

namespace quorvel::ui {

namespace {

constexpr wchar_t kClassName[] = L"TMark";

using UniqueWindow = UniqueHandle<ClosedBy<HWND, ::DestroyWindow>>;

std::runtime_error Failure(const char* call, DWORD error) {
  return std::runtime_error(std::string("Splash: ") + call + " failed, error " +
                            std::to_string(error));
}

LRESULT CALLBACK MarkProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  // No background: where the picture does not cover the window, what was on
  // the screen beneath stays visible.
  if (message == WM_ERASEBKGND) return 1;
  return ::DefWindowProcW(window, message, wparam, lparam);
}

void RegisterMarkClass(HINSTANCE instance) {
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = MarkProc;
  window_class.hInstance = instance;
  window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = nullptr;
  window_class.lpszClassName = kClassName;
  if (::RegisterClassExW(&window_class) == 0) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_CLASS_ALREADY_EXISTS) throw Failure("RegisterClassEx", error);
  }
}

// A 24-bit top-down DIB section holding the pixels.
UniqueBitmap MakeBitmap(const splash::JpegPixels& pixels) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = pixels.width;
  info.bmiHeader.biHeight = -pixels.height;  // negative: rows top to bottom
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  UniqueBitmap bitmap(::CreateDIBSection(/*hdc=*/nullptr, &info, DIB_RGB_COLORS, &bits,
                                         /*hSection=*/nullptr, /*offset=*/0));
  if (!bitmap) throw Failure("CreateDIBSection", ::GetLastError());
  // DIB rows are padded to whole 32-bit words.
  const std::size_t row_bytes = static_cast<std::size_t>(pixels.width) * 3;
  const std::size_t stride = (row_bytes + 3) / 4 * 4;
  for (int y = 0; y < pixels.height; ++y) {
    std::memcpy(static_cast<std::uint8_t*>(bits) + y * stride, pixels.bgr.data() + y * row_bytes,
                row_bytes);
  }
  return bitmap;
}

// Handles this thread's messages for the display time. A WM_QUIT ends it and
// is posted again, for the program's own loop.
void WaitHandlingMessages(std::int32_t show_time) {
  const splash::SplashWait wait(show_time, ::GetTickCount());
  while (!wait.Over(::GetTickCount())) {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        ::PostQuitMessage(static_cast<int>(message.wParam));
        return;
      }
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    ::MsgWaitForMultipleObjectsEx(0, /*pHandles=*/nullptr, wait.SleepMs(::GetTickCount()),
                                  QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

}  // namespace

TStartMark::TStartMark(HINSTANCE instance) : instance_(instance) {}

TStartMark::~TStartMark() = default;

void TStartMark::SetActive(bool active) {
  active_ = active;
  if (!active) return;

  // Decoded first: a picture that cannot be shown shows no window at all.
  UniqueBitmap bitmap;
  int width = 0;
  int height = 0;
  if (!picture_.empty()) {
    const splash::JpegDecoding decoded = splash::DecodeJpeg(picture_);
    if (!decoded.error.empty()) throw std::runtime_error(decoded.error);
    bitmap = MakeBitmap(decoded.pixels);
    width = decoded.pixels.width;
    height = decoded.pixels.height;
  }

  RegisterMarkClass(instance_);
  // Destroyed before the bitmap, which the picture control only borrows.
  const UniqueWindow mark(::CreateWindowExW(/*dwExStyle=*/0, kClassName, /*lpWindowName=*/nullptr,
                                            WS_POPUP, 0, 0, 0, 0, /*hWndParent=*/nullptr,
                                            /*hMenu=*/nullptr, instance_, /*lpParam=*/nullptr));
  if (!mark) throw Failure("CreateWindowEx", ::GetLastError());
  const HWND logo = ::CreateWindowExW(
      /*dwExStyle=*/0, L"STATIC", /*lpWindowName=*/nullptr, WS_CHILD | WS_VISIBLE | SS_BITMAP, 0, 0,
      width, height, mark.get(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(kLogoId)), instance_,
      /*lpParam=*/nullptr);
  if (logo == nullptr) throw Failure("CreateWindowEx", ::GetLastError());
  if (bitmap) {
    ::SendMessageW(logo, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap.get()));
  }
  // The static control sizes itself to its image; the picture's size is
  // what counts, also when there is none.
  ::SetWindowPos(logo, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  ::SetWindowPos(mark.get(), nullptr, 0, 0, 0, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ::SetWindowPos(mark.get(), nullptr, 0, 0, width, height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  const LONG_PTR ex_style = ::GetWindowLongPtrW(logo, GWL_EXSTYLE);
  ::SetWindowLongPtrW(logo, GWL_EXSTYLE,
                      transparent_ ? ex_style | WS_EX_TRANSPARENT : ex_style & ~WS_EX_TRANSPARENT);

  const int left = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int top = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  ::SetWindowPos(mark.get(), nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ::ShowWindow(mark.get(), SW_SHOW);
  ::UpdateWindow(mark.get());

  WaitHandlingMessages(show_time_);
}

std::string SplashPicture(HINSTANCE instance) {
  const HRSRC found = ::FindResourceW(instance, MAKEINTRESOURCEW(QUORVEL_SPLASH_ID), RT_RCDATA);
  if (found == nullptr) return {};
  const HGLOBAL loaded = ::LoadResource(instance, found);
  const void* data = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  if (data == nullptr) return {};
  return std::string(static_cast<const char*>(data), ::SizeofResource(instance, found));
}

}  // namespace quorvel::ui
