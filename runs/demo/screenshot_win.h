// A window of any process as the screen shows it, for the demo's picture.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace quorvel::tools {

struct RgbImage {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::string rgb;  // row by row, top row first, 3 bytes (R, G, B) a pixel
};

// Has the window and its children painted afresh, then copies the window's
// rectangle, frame and caption included, from the screen. The window must
// not be covered. Repeats until two copies in a row agree (a clock pane may
// change between them), for at most `timeout_ms`. False with `error` set
// when the window did not repaint or nothing could be copied.
bool CaptureWindow(HWND window, DWORD timeout_ms, RgbImage* image, std::string* error);

}  // namespace quorvel::tools
