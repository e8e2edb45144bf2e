#include "ui/main_form_rules.h"

#include <gtest/gtest.h>

#include "base/cp1251.h"

namespace quorvel::ui {
namespace {

TEST(SetupSwitch, AnyCaseAnyPosition) {
  EXPECT_TRUE(HasSetupSwitch({"/k"}));
  EXPECT_TRUE(HasSetupSwitch({"/K"}));
  EXPECT_TRUE(HasSetupSwitch({"book.xls", "-x", "/K"}));
  EXPECT_FALSE(HasSetupSwitch({}));
  EXPECT_FALSE(HasSetupSwitch({"/k ", " /k", "-k", "/kk", "k", "\\k"}));
  // Only A to Z are lowered: a Cyrillic "К" is not the switch.
  EXPECT_FALSE(HasSetupSwitch({cp1251::FromUtf8("/К")}));
}

// The stored place is where the window stood on the screen, whatever the
// taskbar takes of the monitor.
TEST(StoredPlace, WorkspaceToScreen) {
  constexpr ScreenPoint kPlaced{284, 484};
  EXPECT_EQ(ScreenFromWorkspace(kPlaced, {0, 0}, {0, 0}), (ScreenPoint{284, 484}));
  EXPECT_EQ(ScreenFromWorkspace(kPlaced, {0, 40}, {0, 0}), (ScreenPoint{284, 524})) << "top bar";
  EXPECT_EQ(ScreenFromWorkspace(kPlaced, {62, 0}, {0, 0}), (ScreenPoint{346, 484})) << "left bar";
  // A second monitor left of the primary one, with its own bar at the top.
  EXPECT_EQ(ScreenFromWorkspace({-30, 10}, {-1280, 30}, {-1280, 0}), (ScreenPoint{-30, 40}));
}

TEST(ClockPane, HourWithoutLeadingZero) {
  EXPECT_EQ(ClockText(0, 0, 0), "0:00:00");
  EXPECT_EQ(ClockText(9, 5, 7), "9:05:07");
  EXPECT_EQ(ClockText(23, 59, 59), "23:59:59");
}

TEST(HelpFile, BesideTheExecutable) {
  EXPECT_EQ(HelpFilePath("C:\\Program Files\\Q\\Quorvel.exe"), "C:\\Program Files\\Q\\Quorvel.hlp");
  EXPECT_EQ(HelpFilePath("Z:/tmp/run/Copy.v2.exe"), "Z:/tmp/run/Quorvel.hlp");
  EXPECT_EQ(HelpFilePath("Quorvel.exe"), "Quorvel.hlp");
  EXPECT_EQ(GuideFilePath("C:\\Quorvel\\Plant2.exe"), "C:\\Quorvel\\doc\\guide.html");
}

TEST(DecimalSeparator, FirstCharacterOrFullStop) {
  EXPECT_EQ(DecimalSeparatorOf(","), ',');
  EXPECT_EQ(DecimalSeparatorOf("."), '.');
  EXPECT_EQ(DecimalSeparatorOf(""), '.');
  EXPECT_EQ(DecimalSeparatorOf("::"), ':');
}

TEST(ErrorReport, FullStopAfterCharactersThatSortAfterIt) {
  EXPECT_EQ(ErrorReportText("Unable to write to C:\\Q.ini"), "Unable to write to C:\\Q.ini.");
  EXPECT_EQ(ErrorReportText("Done."), "Done.");
  EXPECT_EQ(ErrorReportText("Why?"), "Why?.");   // '?' is 0x3F
  EXPECT_EQ(ErrorReportText("Stop!"), "Stop!");  // '!' is 0x21
  EXPECT_EQ(ErrorReportText("a -"), "a -");      // '-' is 0x2D
  EXPECT_EQ(ErrorReportText("(1)"), "(1)");      // ')' is 0x29
  EXPECT_EQ(ErrorReportText(""), "");
  // Windows-1251 letters are above 0x7F and sort after it too.
  EXPECT_EQ(ErrorReportText(cp1251::FromUtf8("Ошибка")), cp1251::FromUtf8("Ошибка."));
}

}  // namespace
}  // namespace quorvel::ui
