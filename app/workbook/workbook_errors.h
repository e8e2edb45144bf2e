// The texts of the workbook launch's error dialog, built from what the
// automation calls report. Portable: the Win32 side hands in the system's
// text and the server's description, already in Windows-1251.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel::workbook {

// An object that refuses the interface asked of it.
inline constexpr char kInterfaceNotSupported[] = "Interface not supported";

// `text` without its trailing blanks, control characters (line breaks) and
// full stops: "Файл не найден.  \r\n" becomes "Файл не найден".
std::string TrimMessage(std::string_view text);

// "OLE error 80040154": the code as 8 lower-case hex digits, for a code the
// system has no text for.
std::string OleErrorText(std::uint32_t code);

// The message for a failing COM function: the system's text for its code
// (trimmed), or OleErrorText when there is none.
std::string CodeMessage(std::uint32_t code, std::string_view system_text);

// The message for a failing member call: the server's description (trimmed)
// when it gave one, else CodeMessage.
std::string CallMessage(std::string_view description, std::uint32_t code,
                        std::string_view system_text);

}  // namespace quorvel::workbook
