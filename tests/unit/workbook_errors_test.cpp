#include "app/workbook/workbook_errors.h"

#include <gtest/gtest.h>

#include "base/cp1251.h"

namespace quorvel::workbook {
namespace {

TEST(WorkbookMessages, TrimDropsTrailingBlanksLineBreaksAndFullStops) {
  const struct {
    std::string_view in;
    std::string_view out;
  } cases[] = {
      {"Class not registered\r\n", "Class not registered"},
      {"Done. \t.\r\n. ", "Done"},
      {"v1.5 ready", "v1.5 ready"},
      {"  leading kept", "  leading kept"},
      {"...", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(TrimMessage(c.in), c.out) << c.in;
  // Windows-1251 letters (bytes above 0x80) are never taken for blanks.
  EXPECT_EQ(TrimMessage(cp1251::Text("Файл не найден.  \r\n")),
            std::string(cp1251::Text("Файл не найден")));
  EXPECT_EQ(TrimMessage(cp1251::Text("Лист1я")), std::string(cp1251::Text("Лист1я")));
}

TEST(WorkbookMessages, OleErrorShowsEightLowerCaseHexDigits) {
  EXPECT_EQ(OleErrorText(0x80040154u), "OLE error 80040154");
  EXPECT_EQ(OleErrorText(0x8002000Bu), "OLE error 8002000b");
  EXPECT_EQ(OleErrorText(0x5u), "OLE error 00000005");
  EXPECT_EQ(OleErrorText(0xFFFFFFFFu), "OLE error ffffffff");
}

TEST(WorkbookMessages, CodeMessagePrefersTheSystemText) {
  EXPECT_EQ(CodeMessage(0x80040154u, "Class not registered\r\n"), "Class not registered");
  EXPECT_EQ(CodeMessage(0x80040154u, ""), "OLE error 80040154");
  EXPECT_EQ(CodeMessage(0x80040154u, " .\r\n"), "OLE error 80040154");
}

TEST(WorkbookMessages, CallMessagePrefersTheServersDescription) {
  EXPECT_EQ(CallMessage("Bad file.\r\n", 0x800a03ecu, "System text"), "Bad file");
  EXPECT_EQ(CallMessage("", 0x800a03ecu, "System text.\r\n"), "System text");
  EXPECT_EQ(CallMessage("", 0x800a03ecu, ""), "OLE error 800a03ec");
  EXPECT_EQ(CallMessage(". \r\n", 0x800a03ecu, ""), "OLE error 800a03ec");
}

}  // namespace
}  // namespace quorvel::workbook
