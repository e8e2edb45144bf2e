#include "ui/setup_form_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/cp1251.h"
#include "fake_dde.h"

namespace quorvel::ui {
namespace {

using Events = std::vector<std::string>;

// The world outside the dialog, as a list of what happened to it.
class RecordingHost final : public SetupFormHost {
 public:
  void ShowPortName(std::string_view name) override {
    events.push_back("port " + std::string(name));
  }
  void FillSensorList() override { events.emplace_back("list"); }
  void Warn(SetupWarning warning) override {
    events.push_back(warning == SetupWarning::kTableNotNumeric ? "warn table" : "warn workbook");
  }
  void ReportError(const std::string& text) override { events.push_back("error " + text); }
  Events events;
};

class SetupFormTest : public ::testing::Test {
 protected:
  SetupFormTest() {
    manager.AddForm(&form);
    settings.SetSensorCount(3);
  }
  ~SetupFormTest() override {
    dde.reset();
    manager.RemoveForm(&form);
  }

  poll::testing::FakePlatform platform;
  poll::TDdeMgr manager{platform};
  poll::DdeForm form{"Quorvel v.2.1", {}};
  std::unique_ptr<poll::DdeComponents> dde =
      std::make_unique<poll::DdeComponents>(manager, form, 20);
  config::Settings settings;
  RecordingHost host;
};

TEST_F(SetupFormTest, OkAppliesNamesAndResetsEveryValue) {
  ASSERT_EQ(NameDdeComponents(settings, *dde, host), true);
  dde->Item(0).SetText("23,45");
  settings.SetComPort(2);
  settings.SetItemPrefix("T");  // the table follows at once, the items on OK
  EXPECT_EQ(settings.table().Cell(0, 2), "T2");
  EXPECT_EQ(dde->Item(1).Name(), "S2");
  settings.SetTopic("PLANT");

  EXPECT_TRUE(OkB1Click(settings, *dde, host));
  EXPECT_EQ(host.events, (Events{"port COM3"}));
  EXPECT_EQ(dde->Item(0).Name(), "T1");
  EXPECT_EQ(dde->Item(19).Name(), "T20");
  EXPECT_EQ(dde->Item(0).Text(), " --.-");
  EXPECT_EQ(dde->Topic().Name(), "PLANT");
}

TEST_F(SetupFormTest, InvalidTableWarnsAndChangesNothing) {
  settings.table().SetCell(2, 1, "");
  settings.SetItemPrefix("T");
  settings.SetTopic("PLANT");
  EXPECT_FALSE(OkB1Click(settings, *dde, host));
  EXPECT_EQ(host.events, (Events{"warn table"}));
  EXPECT_EQ(dde->Topic().Name(), "ZORVIK");

  // The close box: the main window's list is rebuilt first, then the warning.
  host.events.clear();
  EXPECT_FALSE(FormClose(settings, host));
  EXPECT_EQ(host.events, (Events{"list", "warn table"}));
  settings.table().SetCell(2, 1, "0");
  EXPECT_TRUE(FormClose(settings, host));
}

TEST_F(SetupFormTest, WorkbookWithoutAFileWarnsAfterTheNamesWereApplied) {
  settings.SetOpenWorkbook(true);
  settings.SetItemPrefix("T");
  EXPECT_FALSE(OkB1Click(settings, *dde, host));
  EXPECT_EQ(host.events, (Events{"port COM1", "warn workbook"}));
  EXPECT_EQ(dde->Item(0).Name(), "T1");
  settings.SetWorkbookPath("C:\\Plant\\Readings.xls");
  EXPECT_TRUE(OkB1Click(settings, *dde, host));
}

// A refused name ends OK at its step: one report, nothing after it.
TEST_F(SetupFormTest, RefusedNameOnOkSkipsEveryLaterStep) {
  ASSERT_TRUE(NameDdeComponents(settings, *dde, host));
  dde->Item(0).SetText("1,5");
  settings.SetItemPrefix("1A");
  settings.table().SetCell(0, 1, "X1");
  settings.SetTopic("PLANT");
  settings.SetComPort(4);
  settings.SetOpenWorkbook(true);  // with no file: its warning would follow
  EXPECT_FALSE(OkB1Click(settings, *dde, host));
  ASSERT_EQ(host.events.size(), 2u);
  EXPECT_EQ(host.events[0], "port COM5");
  EXPECT_EQ(host.events[1].rfind("error ", 0), 0u);
  EXPECT_EQ(dde->Item(0).Name(), "S1") << "a refused prefix changes no item";
  EXPECT_EQ(dde->Item(0).Text(), "1,5");
  EXPECT_EQ(dde->Topic().Name(), poll::kDesignedTopic);
  EXPECT_EQ(settings.table().Cell(0, 1), "X1");

  host.events.clear();
  settings.SetItemPrefix("T");
  settings.SetTopic("1st");
  EXPECT_FALSE(OkB1Click(settings, *dde, host));
  ASSERT_EQ(host.events.size(), 2u);
  EXPECT_EQ(host.events[1].rfind("error ", 0), 0u) << "no workbook warning after it";
  EXPECT_EQ(dde->Item(0).Name(), "T1");
  EXPECT_EQ(dde->Item(0).Text(), " --.-");
  EXPECT_EQ(settings.table().Cell(0, 1), "T1");
  EXPECT_EQ(dde->Topic().Name(), poll::kDesignedTopic);
}

TEST_F(SetupFormTest, StoredSettingsAtStartEvenWithARefusedTopic) {
  settings.SetTopic("1st");
  settings.SetSpeed(6);
  settings.SetComPort(9);
  ApplyStoredSettings(settings, *dde, host);
  ASSERT_EQ(host.events.size(), 2u);
  EXPECT_EQ(host.events[0].rfind("error ", 0), 0u);
  EXPECT_EQ(host.events[1], "port COM10");
  EXPECT_EQ(dde->Item(2).Name(), "S3");
}

TEST(SetupGrid, HeaderHints) {
  EXPECT_EQ(SG1GridHint(0, 1), cp1251::FromUtf8("Сетевой адрес прибора"));
  EXPECT_EQ(SG1GridHint(0, 2), cp1251::FromUtf8("Физический номер канала "));
  EXPECT_EQ(SG1GridHint(0, 0), "");
  EXPECT_EQ(SG1GridHint(0, 3), "");
  EXPECT_EQ(SG1GridHint(1, 1), "");
}

TEST(SetupNumberBoxes, LeavingTheBoxHoldsItsValueInRange) {
  struct Case {
    const char* text;
    config::Range range;
    const char* held;
  };
  const Case cases[] = {
      {"250", config::kSensorCountRange, "250"},
      {"0", config::kSensorCountRange, "1"},
      {"900", config::kSensorCountRange, "500"},
      {"", config::kSensorCountRange, "1"},
      {"12a", config::kTimeOutRange, "100"},
      {"50", config::kTimeOutRange, "100"},
      {"$10", config::kCycleRange, "16"},
      {"4000000", config::kCycleRange, "3600000"},
      {"99999999999", config::kTimeOutRange, "100"},  // beyond 32 bits: unreadable
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SpinHeldText(c.text, c.range), c.held) << c.text;
  }
}

TEST(SetupNumberBoxes, SpinButtonsStepWithinRange) {
  EXPECT_EQ(SpinSteppedText("3", 1, config::kSensorCountRange), "4");
  EXPECT_EQ(SpinSteppedText("3", -1, config::kSensorCountRange), "2");
  EXPECT_EQ(SpinSteppedText("500", 1, config::kSensorCountRange), "500");
  EXPECT_EQ(SpinSteppedText("1", -1, config::kSensorCountRange), "1");
  // Unreadable text steps from the minimum; a value beyond the range comes back into it.
  EXPECT_EQ(SpinSteppedText("x", 1, config::kTimeOutRange), "101");
  EXPECT_EQ(SpinSteppedText("2147483647", 1, config::kCycleRange), "3600000");
  EXPECT_EQ(SpinSteppedText("-2147483648", -1, config::kCycleRange), "0");
}

TEST(SetupWarnings, Texts) {
  EXPECT_EQ(SetupWarningText(SetupWarning::kTableNotNumeric),
            cp1251::FromUtf8("Все параметры должны быть численными!"));
  EXPECT_EQ(SetupWarningText(SetupWarning::kNoWorkbookFile),
            cp1251::FromUtf8("Небыл указан файл Excel для запуска!\rУберите галочку или укажите "
                             "путь и имя файла."));
}

}  // namespace
}  // namespace quorvel::ui
