// The user's guide, docs/guide.html, against the program. It is installed as
// a folder of its own beside Quorvel.exe and read offline, so every link and
// picture must be a file beside it and every #anchor an id of it. And every
// text the program can show must be explained in it: the texts are asked of
// the program's own functions and constants, not copied here, so a text the
// program changes or gains fails this test until the guide follows.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/workbook/workbook_errors.h"
#include "base/cp1251.h"
#include "bus/status_text.h"
#include "config/profile.h"
#include "config/settings.h"
#include "config/settings_file.h"
#include "log/csv_line.h"
#include "log/reading_log.h"
#include "monitor/counters.h"
#include "monitor/monitor_table.h"
#include "mqtt/link_status.h"
#include "opcua/server_state_text.h"
#include "poll/component_names.h"
#include "poll/dde_components.h"
#include "poll/dde_quality_items.h"
#include "poll/dde_server.h"
#include "poll/poll_run.h"
#include "poll/reading.h"
#include "tests/unit/guide_html.h"
#include "ui/main_form_rules.h"
#include "ui/message_texts.h"
#include "ui/setup_form_rules.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;
using testing::FixedParts;

const fs::path kDocs = fs::path(QUORVEL_SOURCE_DIR) / "docs";

std::string Guide() {
  return testing::ReadWholeFile((kDocs / "guide.html").string());
}

// Where a shown text stands in for a name the program puts in it.
constexpr char kName[] = "\x01";

// Status codes a byte holds: the bus's codes are among them, and those
// without a text of their own show what any unknown code shows.
std::vector<std::int32_t> StatusCodes() {
  std::vector<std::int32_t> codes;
  for (std::int32_t code = 0; code <= 255; ++code) codes.push_back(code);
  return codes;
}

std::vector<poll::Outcome> Outcomes() {
  std::vector<poll::Outcome> outcomes;
  for (int o = 0; o < monitor::kOutcomeCount; ++o)
    outcomes.push_back(static_cast<poll::Outcome>(o));
  return outcomes;
}

// Texts of the program, in UTF-8, against the guide's text: the fixed parts
// of each that the guide lacks, with the text they belong to.
class Explained {
 public:
  explicit Explained(std::string guide) : text_(testing::PageText(guide)) {}

  void Windows1251(const std::string& shown) { Utf8(cp1251::ToUtf8(shown)); }
  void Utf8(const std::string& shown) {
    ++checked_;
    for (const std::string& part : FixedParts(shown)) {
      if (text_.find(part) == std::string::npos) missing_[part] = shown;
    }
  }

  std::string Missing() const {
    std::string list;
    for (const auto& [part, shown] : missing_) list += "  \"" + part + "\" of \"" + shown + "\"\n";
    return list;
  }
  int checked() const { return checked_; }

 private:
  std::string text_;
  std::map<std::string, std::string> missing_;
  int checked_ = 0;
};

// Some texts were checked, and the guide has every fixed part of each.
::testing::AssertionResult AllExplained(const Explained& explained) {
  if (explained.checked() == 0) return ::testing::AssertionFailure() << "no text checked";
  if (explained.Missing().empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "parts of the program's texts the guide lacks:\n"
                                       << explained.Missing();
}

TEST(GuideTest, IsRussianUtf8AndLinksOnlyFilesBesideIt) {
  const std::string html = Guide();
  ASSERT_FALSE(html.empty()) << "cannot read " << (kDocs / "guide.html");
  EXPECT_NE(html.find("<html lang=\"ru\">"), std::string::npos);
  EXPECT_NE(html.find("<meta charset=\"utf-8\">"), std::string::npos);
  for (std::size_t pos = 0; pos < html.size();) {
    ASSERT_NE(cp1251::NextUtf8(html, pos), U'\uFFFD') << "not UTF-8 before byte " << pos;
  }

  std::vector<std::string> links = testing::AttributeValues(html, "href");
  for (const std::string& src : testing::AttributeValues(html, "src")) links.push_back(src);
  for (const std::string& url :
       testing::StyleUrls(testing::ReadWholeFile((kDocs / "guide.css").string()))) {
    links.push_back(url);
  }
  int files = 0;
  for (const std::string& link : links) {
    if (link.starts_with("#")) continue;  // the anchors' test
    const std::string file = link.substr(0, link.find('#'));
    ++files;
    // No scheme, drive, folder, or way up: only a sibling's name.
    EXPECT_FALSE(file.empty()) << link;
    EXPECT_EQ(file.find_first_of(":/\\"), std::string::npos) << link;
    EXPECT_NE(file, "..") << link;
    EXPECT_NE(file, ".") << link;
    EXPECT_TRUE(fs::is_regular_file(kDocs / file)) << link << " is no file in docs/";
  }
  EXPECT_GT(files, 0);
}

TEST(GuideTest, AnchorsNameItsIds) {
  const std::string html = Guide();
  std::set<std::string> ids;
  for (const std::string& id : testing::AttributeValues(html, "id")) {
    EXPECT_TRUE(ids.insert(id).second) << "id \"" << id << "\" twice";
  }
  int anchors = 0;
  for (const std::string& link : testing::AttributeValues(html, "href")) {
    const std::size_t hash = link.find('#');
    if (hash == std::string::npos) continue;
    const std::string file = link.substr(0, hash);
    if (!file.empty() && file != "guide.html") continue;
    ++anchors;
    EXPECT_TRUE(ids.contains(link.substr(hash + 1))) << link << " names no id";
  }
  EXPECT_GT(anchors, 0);
}

TEST(GuideTest, ExplainsEveryTextOfTheBusLink) {
  Explained guide(Guide());
  for (const std::int32_t code : StatusCodes()) guide.Windows1251(bus::StatusText(code));
  EXPECT_TRUE(AllExplained(guide));
}

TEST(GuideTest, ExplainsEveryTextOfAReading) {
  Explained guide(Guide());
  // The status pane.
  guide.Windows1251(std::string(ui::kReadyText));
  guide.Windows1251(std::string(poll::kStoppedText));
  for (const poll::Outcome outcome : Outcomes()) {
    for (const std::int32_t code : StatusCodes()) {
      // A port that cannot be opened shows its own status; any other outcome
      // comes with whatever code.
      const bool port = poll::OutcomeOfStatus(code) == poll::Outcome::kPortUnavailable;
      if (outcome == poll::Outcome::kPortUnavailable && !port) continue;
      poll::Reading reading;
      reading.outcome = outcome;
      reading.status = code;
      guide.Windows1251(poll::ReadingStatusText(reading));
    }
  }
  // What a value item shows instead of a value; the bus link's texts are
  // the test above's.
  guide.Windows1251(std::string(poll::kNoValueText));
  guide.Windows1251(std::string(poll::kBadReplyText));
  for (const std::int32_t code : StatusCodes()) {
    if (poll::OutcomeOfStatus(code) == poll::Outcome::kPortUnavailable) {
      guide.Windows1251(poll::OpenFailedText(code));
    }
  }
  // The quality items.
  guide.Utf8(std::string(poll::kNoQualityText));
  guide.Utf8(std::string(poll::kDemotedWord));
  for (const poll::Outcome outcome : Outcomes())
    guide.Utf8(std::string(poll::QualityWord(outcome)));
  EXPECT_TRUE(AllExplained(guide));
}

// A settings file that takes nothing: a folder the user may not write.
class RefusingProfile final : public config::Profile {
 public:
  std::string Read(std::string_view, std::string_view, std::string_view fallback) override {
    return std::string(fallback);
  }
  bool Write(std::string_view, std::string_view, std::string_view) override { return false; }
  void Flush() override {}
};

TEST(GuideTest, ExplainsEveryMessageBox) {
  Explained guide(Guide());
  guide.Windows1251(ui::SetupWarningText(ui::SetupWarning::kTableNotNumeric));
  guide.Windows1251(ui::SetupWarningText(ui::SetupWarning::kNoWorkbookFile));
  guide.Windows1251(std::string(ui::kPollingNowText));
  guide.Windows1251(std::string(ui::kTwoCopiesText));
  // The general error report, which ends a text with a full stop.
  guide.Windows1251(ui::ErrorReportText(std::string(ui::kPasswordNotSealedText)));
  guide.Windows1251(ui::ErrorReportText(std::string(ui::kGuideNotOpenedText) + kName));
  guide.Windows1251(ui::ErrorReportText(poll::InvalidNameMessage(kName)));
  guide.Windows1251(ui::ErrorReportText(poll::DuplicateNameMessage(kName)));
  RefusingProfile profile;
  const config::Settings settings;
  // A table path no save can reach, should the refusal ever be missed.
  const std::optional<std::string> unsaved =
      config::WriteIni(profile, settings, kName, 0, "/nonexistent-folder/DDEConf.dde");
  ASSERT_TRUE(unsaved.has_value());
  guide.Windows1251(ui::ErrorReportText(*unsaved));
  // The DDE server that does not start: the system's codes of its library.
  for (std::uint32_t code = 0x4000; code <= 0x4011; ++code) {
    guide.Windows1251(poll::DdeStartupErrorMessage(code));
  }
  // The workbook that does not open.
  guide.Windows1251(workbook::OleErrorText(0x80040154));
  guide.Windows1251(workbook::kInterfaceNotSupported);
  EXPECT_TRUE(AllExplained(guide));
}

TEST(GuideTest, ExplainsTheStatesOfTheBrokerTheLogAndTheMonitor) {
  Explained guide(Guide());
  guide.Windows1251(std::string(ui::kStatePrefix));
  guide.Windows1251(std::string(ui::kMqttSummaryPrefix));
  for (const auto phase : {mqtt::LinkPhase::kOff, mqtt::LinkPhase::kConnecting,
                           mqtt::LinkPhase::kConnected, mqtt::LinkPhase::kRefused}) {
    for (int r = 0; r <= static_cast<int>(mqtt::Refusal::kOther); ++r) {
      mqtt::LinkStatus status;
      status.phase = phase;
      status.refusal = static_cast<mqtt::Refusal>(r);
      status.code = 5;
      status.queued = 12;
      status.dropped = 3;
      guide.Windows1251(mqtt::LinkStatusText(status));
    }
  }
  // The log's troubles are what the file system's failures come to.
  std::set<log::Trouble> troubles{log::Trouble::kNone};
  for (int error = 1; error < 200; ++error) {
    troubles.insert(log::TroubleOf(std::error_code(error, std::generic_category())));
  }
  EXPECT_GT(troubles.size(), 2u);
  for (const bool writing : {true, false}) {
    for (const log::Trouble trouble : troubles) {
      log::LogState state;
      state.writing = writing;
      state.trouble = trouble;
      state.code = 28;
      guide.Windows1251(log::TroubleText(state));
    }
  }
  guide.Windows1251(std::string(ui::kOpcUaSummaryPrefix));
  guide.Windows1251(std::string(ui::kThumbprintPrefix));
  for (const auto state :
       {opcua::ServerState::kOff, opcua::ServerState::kRunning, opcua::ServerState::kFailed}) {
    guide.Windows1251(opcua::ServerStateText({state, kName, "0123"}, kName));
  }
  guide.Utf8(log::CsvHeader());
  guide.Utf8(log::LogFileName(CivilTime{2026, 12, 10, 0, 0, 0, 0}));
  for (int column = 0; column < monitor::kColumnCount; ++column) {
    guide.Windows1251(monitor::ColumnTitle(column));
  }
  EXPECT_TRUE(AllExplained(guide));
}

}  // namespace
}  // namespace quorvel
