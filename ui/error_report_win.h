// The program's general error report: what escapes a handler is shown in a
// message box titled with the application title, with an error icon and OK.
#pragma once

#include <windows.h>

#include <string_view>

namespace quorvel::ui {

inline constexpr wchar_t kApplicationTitle[] = L"Quorvel v.2.1";

// `text` in Windows-1251; a full stop is appended when its last character
// sorts after the full stop.
void ShowErrorReport(HWND owner, std::string_view text);

}  // namespace quorvel::ui
