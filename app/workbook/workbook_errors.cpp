#include "app/workbook/workbook_errors.h"

#include <cstdio>

namespace quorvel::workbook {

std::string TrimMessage(std::string_view text) {
  std::size_t end = text.size();
  while (end > 0) {
    const auto c = static_cast<unsigned char>(text[end - 1]);
    if (c > ' ' && c != '.') break;
    --end;
  }
  return std::string(text.substr(0, end));
}

std::string OleErrorText(std::uint32_t code) {
  char text[32];
  std::snprintf(text, sizeof text, "OLE error %.8x", static_cast<unsigned>(code));
  return text;
}

std::string CodeMessage(std::uint32_t code, std::string_view system_text) {
  std::string text = TrimMessage(system_text);
  return text.empty() ? OleErrorText(code) : text;
}

std::string CallMessage(std::string_view description, std::uint32_t code,
                        std::string_view system_text) {
  std::string text = TrimMessage(description);
  return text.empty() ? CodeMessage(code, system_text) : text;
}

}  // namespace quorvel::workbook
