// The program's general error report: what escapes a handler is shown in a
// message box titled with the application title, with an error icon and OK.
#pragma once

#include <windows.h>

#include <string_view>

#include "ui/form_captions.h"

namespace quorvel::ui {

// `text` in Windows-1251; a full stop is appended when its last character
// sorts after the full stop.
void ShowErrorReport(HWND owner, std::string_view text);

}  // namespace quorvel::ui
