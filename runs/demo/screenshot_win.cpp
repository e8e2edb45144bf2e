#include "runs/demo/screenshot_win.h"

#include <vector>

#include "testkit/message_wait_win.h"
#include "ui/gdi_object_win.h"

namespace quorvel::tools {

namespace {

// Upper bound of a message round trip to the window's thread.
constexpr UINT kAnswerMs = 5'000;

bool HasUpdateRegion(HWND window) {
  return ::GetUpdateRect(window, /*lpRect=*/nullptr, /*bErase=*/FALSE) != FALSE;
}

// Whether the window or a child still has something to paint.
bool PaintPending(HWND window) {
  if (HasUpdateRegion(window)) return true;
  bool pending = false;
  ::EnumChildWindows(
      window,
      [](HWND child, LPARAM context) -> BOOL {
        if (!HasUpdateRegion(child)) return TRUE;
        *reinterpret_cast<bool*>(context) = true;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&pending));
  return pending;
}

// A message the window's thread answers only between handlers, so once it
// returns, a paint that had begun has ended.
bool RoundTrip(HWND window) {
  DWORD_PTR result = 0;
  return ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kAnswerMs, &result) != 0;
}

bool Copy(HWND window, RgbImage* image, std::string* error) {
  RECT rect{};
  if (!::GetWindowRect(window, &rect) || rect.right <= rect.left || rect.bottom <= rect.top) {
    *error = "the window has no rectangle";
    return false;
  }
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  const ui::UniqueScreenDc screen(::GetDC(/*hWnd=*/nullptr));
  const ui::UniqueMemoryDc memory(::CreateCompatibleDC(screen.get()));
  const ui::TopDownBitmap section = ui::MakeTopDownBitmap(width, height, memory.get());
  if (!section.bitmap) {
    *error = "CreateDIBSection failed: " + std::to_string(::GetLastError());
    return false;
  }
  const HGDIOBJ old = ::SelectObject(memory.get(), section.bitmap.get());
  const bool copied =
      ::BitBlt(memory.get(), 0, 0, width, height, screen.get(), rect.left, rect.top, SRCCOPY) != 0;
  ::GdiFlush();
  if (copied) {
    image->width = static_cast<std::uint32_t>(width);
    image->height = static_cast<std::uint32_t>(height);
    image->rgb.resize(static_cast<std::size_t>(width) * height * 3);
    // The section's pixels are 32-bit blue, green, red, unused.
    const auto* bgrx = reinterpret_cast<const std::uint8_t*>(section.pixels);
    for (std::size_t i = 0, n = static_cast<std::size_t>(width) * height; i < n; ++i) {
      image->rgb[i * 3] = static_cast<char>(bgrx[i * 4 + 2]);
      image->rgb[i * 3 + 1] = static_cast<char>(bgrx[i * 4 + 1]);
      image->rgb[i * 3 + 2] = static_cast<char>(bgrx[i * 4]);
    }
  } else {
    *error = "BitBlt from the screen failed: " + std::to_string(::GetLastError());
  }
  ::SelectObject(memory.get(), old);
  return copied;
}

}  // namespace

bool CaptureWindow(HWND window, DWORD timeout_ms, RgbImage* image, std::string* error) {
  const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;
  const auto left = [&] {
    const ULONGLONG now = ::GetTickCount64();
    return static_cast<DWORD>(now < deadline ? deadline - now : 0);
  };
  ::RedrawWindow(window, /*lprcUpdate=*/nullptr, /*hrgnUpdate=*/nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
  if (!remote::PumpUntil([&] { return !PaintPending(window); }, left()) || !RoundTrip(window)) {
    *error = "the window did not repaint";
    return false;
  }
  RgbImage previous;
  if (!Copy(window, &previous, error)) return false;
  for (;;) {
    // What the thread drew reaches the screen between its messages.
    if (!RoundTrip(window)) {
      *error = "the window's thread stopped answering";
      return false;
    }
    if (!Copy(window, image, error)) return false;
    if (image->rgb == previous.rgb && image->width == previous.width) return true;
    if (left() == 0) {
      *error = "the window kept changing";
      return false;
    }
    previous = std::move(*image);
  }
}

}  // namespace quorvel::tools
