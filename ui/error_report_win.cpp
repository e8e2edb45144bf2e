#include "ui/error_report_win.h"

#include <string>

#include "base/cp1251.h"
#include "ui/main_form_rules.h"

namespace quorvel::ui {

void ShowErrorReport(HWND owner, std::string_view text) {
  const std::u16string wide = cp1251::ToUtf16(ErrorReportText(std::string(text)));
  ::MessageBoxW(owner, reinterpret_cast<const wchar_t*>(wide.c_str()), kApplicationTitle,
                MB_OK | MB_ICONERROR);
}

}  // namespace quorvel::ui
