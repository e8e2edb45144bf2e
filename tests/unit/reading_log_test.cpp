// The reading log: its lines as a Russian Excel reads them, and its day
// files through midnight, a clock set back, old days and folders that
// cannot be written.
#include "log/reading_log.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "base/cp1251.h"
#include "log/csv_line.h"

namespace quorvel::log {
namespace {

namespace fs = std::filesystem;

constexpr CivilTime kLastOfYear{2026, 12, 31, 23, 59, 59, 999};
constexpr CivilTime kNewYear{2027, 1, 1, 0, 0, 0, 0};

LogLine Line(const CivilTime& local, std::string value) {
  LogLine line;
  line.local = local;
  line.item = "T1";
  line.device = 5;
  line.channel = 3;
  line.text = value;
  line.value = std::move(value);
  line.quality = "OK";
  line.response_us = 12'345;
  return line;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

// A day file as the log begins it, with these lines.
std::string DayFile(const std::vector<LogLine>& lines) {
  std::string file = std::string(kUtf8Bom) + CsvHeader();
  for (const LogLine& line : lines) file += CsvLine(line, ',');
  return file;
}

TEST(CsvLine, FieldsAsARussianExcelReadsThem) {
  EXPECT_EQ(CsvHeader(),
            "Дата и время;Элемент;Устройство;Канал;Текст;Значение;Качество;Ответ, мс\r\n");

  LogLine line = Line({2026, 3, 7, 8, 5, 9, 45}, "-12.5");
  line.text = "-12,5";
  line.response_us = 1'234'567;
  EXPECT_EQ(CsvLine(line, ','), "07.03.2026 08:05:09,045;T1;5;3;-12,5;-12,5;OK;1234,567\r\n");
  EXPECT_EQ(CsvLine(line, '.'), "07.03.2026 08:05:09.045;T1;5;3;-12,5;-12.5;OK;1234.567\r\n");

  // Russian Windows-1251 texts become UTF-8; a field with the separator,
  // a quote or a line break is quoted with its quotes doubled.
  line.item = cp1251::FromUtf8("Давление; цех \"2\"");
  line.text = cp1251::FromUtf8("Нет ответа\r\nот датчика");
  line.value = "a;b";
  line.quality = "NO_REPLY";
  line.response_us = 7;
  line.device = 250;
  line.channel = 12;
  EXPECT_EQ(CsvLine(line, ','),
            "07.03.2026 08:05:09,045;\"Давление; цех \"\"2\"\"\";250;12;"
            "\"Нет ответа\r\nот датчика\";\"a;b\";NO_REPLY;0,007\r\n");
}

TEST(CsvLine, OnlyADecimalNumberGetsTheUsersSeparator) {
  const std::pair<const char*, const char*> values[] = {
      {"23.45", "23,45"}, {"7", "7"},         {"-0.5", "-0,5"},   {"+1.", "+1,"},
      {" 3.25 ", "3,25"}, {"1.2.3", "1.2.3"}, {"1e5", "1e5"},     {"-", "-"},
      {".", "."},         {"", ""},           {"12:30", "12:30"}, {"1 2", "1 2"},
  };
  for (const auto& [value, field] : values) {
    const std::string line = CsvLine(Line(kNewYear, value), ',');
    const std::size_t end = line.rfind(";OK;");
    const std::size_t begin = line.rfind(';', end - 1) + 1;
    EXPECT_EQ(line.substr(begin, end - begin), field) << value;
  }
}

TEST(LogFileName, EveryDateAndNoOtherName) {
  EXPECT_EQ(LogFileName(kLastOfYear), "Quorvel-2026-12-31.csv");
  EXPECT_EQ(LogFileName({2027, 2, 3, 4, 5, 6, 7}), "Quorvel-2027-02-03.csv");
  const std::optional<CivilTime> leap = DayOfLogFileName("Quorvel-2028-02-29.csv");
  ASSERT_TRUE(leap);
  EXPECT_EQ(LogFileName(*leap), "Quorvel-2028-02-29.csv");
  EXPECT_EQ(leap->hour + leap->minute + leap->second + leap->millisecond, 0);
  EXPECT_TRUE(DayOfLogFileName("Quorvel-2000-02-29.csv"));
  for (const char* name :
       {"Quorvel-2027-02-29.csv", "Quorvel-2100-02-29.csv", "Quorvel-2026-13-01.csv",
        "Quorvel-2026-04-31.csv", "Quorvel-2026-00-10.csv", "Quorvel-2026-01-00.csv",
        "Quorvel-2026-1-01.csv", "Quorvel-2026-01-01.txt", "quorvel-2026-01-01.csv",
        "Quorvel-2026-01-01.csv.bak", "Other-2026-01-01.csv", "Quorvel-2026+01-01.csv",
        "Quorvel-20x6-01-01.csv"}) {
    EXPECT_FALSE(DayOfLogFileName(name)) << name;
  }
}

// The days between dates, by which old day files go.
TEST(DayNumber, OneADayThroughFourCenturies) {
  EXPECT_EQ(DayNumber({1970, 1, 1}), 0);
  EXPECT_EQ(DayNumber({1969, 12, 31}), -1);
  EXPECT_EQ(DayNumber({2000, 3, 1}), 11'017);
  EXPECT_EQ(DayNumber({2024, 2, 29}), 19'782);
  EXPECT_EQ(DayNumber({2027, 1, 1, 23, 59, 59, 999}), 20'819);
  std::int64_t previous = DayNumber({1600, 3, 1}) - 1;
  EXPECT_EQ(previous + 1, -135'080);
  for (int year = 1600; year <= 2400; ++year) {
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int lengths[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    for (int month = year == 1600 ? 3 : 1; month <= 12; ++month) {
      for (int day = 1; day <= lengths[month - 1]; ++day) {
        const std::int64_t number = DayNumber({year, month, day});
        ASSERT_EQ(number, previous + 1) << year << "-" << month << "-" << day;
        previous = number;
      }
    }
  }
}

TEST(LogState, TroublesAndTheirTexts) {
  EXPECT_EQ(TroubleOf({}), Trouble::kNone);
  EXPECT_EQ(TroubleOf(std::make_error_code(std::errc::no_such_file_or_directory)),
            Trouble::kFolderMissing);
  EXPECT_EQ(TroubleOf(std::make_error_code(std::errc::not_a_directory)), Trouble::kFolderMissing);
  EXPECT_EQ(TroubleOf(std::make_error_code(std::errc::permission_denied)), Trouble::kNoRights);
  EXPECT_EQ(TroubleOf(std::make_error_code(std::errc::read_only_file_system)), Trouble::kNoRights);
  EXPECT_EQ(TroubleOf(std::make_error_code(std::errc::no_space_on_device)), Trouble::kDiskFull);
  EXPECT_EQ(TroubleOf(std::make_error_code(std::errc::file_too_large)), Trouble::kDiskFull);
  EXPECT_EQ(TroubleOf(std::make_error_code(std::errc::is_a_directory)), Trouble::kOther);

  EXPECT_EQ(TroubleText({}), cp1251::FromUtf8("Журнал выключен"));
  EXPECT_EQ(TroubleText({true, Trouble::kNone, 0, 5, 0, 0}), cp1251::FromUtf8("Журнал пишется"));
  EXPECT_EQ(TroubleText({false, Trouble::kFolderMissing, 2, 0, 0, 1}),
            cp1251::FromUtf8("Журнал остановлен: нет папки"));
  EXPECT_EQ(TroubleText({false, Trouble::kNoRights, 13, 0, 0, 1}),
            cp1251::FromUtf8("Журнал остановлен: нет прав на запись"));
  EXPECT_EQ(TroubleText({false, Trouble::kDiskFull, 28, 0, 0, 1}),
            cp1251::FromUtf8("Журнал остановлен: диск заполнен"));
  EXPECT_EQ(TroubleText({false, Trouble::kOther, 21, 0, 0, 1}),
            cp1251::FromUtf8("Журнал остановлен: ошибка 21"));

  EXPECT_EQ(LogFolder(""), fs::path("log"));
  EXPECT_EQ(LogFolder(cp1251::FromUtf8("D:\\Журнал")).string(), "D:\\Журнал");  // native UTF-8
}

// Every test works in a folder of its own.
class ReadingLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(::testing::TempDir()) /
           ("quorvel-log-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    folder = dir_ / "log";
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path File(const CivilTime& day) const { return folder / LogFileName(day); }
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  fs::path dir_;
  fs::path folder;
};

// Midnight between two flushes and within one: each line once, in the file
// of its own date, the mark and the header once at the top of each file.
TEST_F(ReadingLogTest, EachLineGoesToTheFileOfItsDate) {
  ReadingLog log(folder, 31, ',');
  EXPECT_EQ(log.state(), (LogState{true, Trouble::kNone, 0, 0, 0, 0}));
  EXPECT_TRUE(log.Flush()) << "nothing to write";
  EXPECT_FALSE(fs::exists(folder));

  const LogLine a = Line({2026, 12, 31, 23, 59, 58, 0}, "1.5");
  const LogLine b = Line(kLastOfYear, "2.5");
  const LogLine c = Line(kNewYear, "3.5");
  const LogLine d = Line({2027, 1, 1, 0, 0, 1, 0}, "4.5");
  log.Add(a);
  ASSERT_TRUE(log.Flush());  // the folder is made: the one it belongs in is there
  log.Add(b);
  log.Add(c);
  EXPECT_EQ(log.state().pending, 2u);
  ASSERT_TRUE(log.Flush());
  log.Add(d);
  ASSERT_TRUE(log.Flush());
  EXPECT_EQ(log.state(), (LogState{true, Trouble::kNone, 0, 4, 0, 0}));

  EXPECT_EQ(Names(), (std::set<std::string>{"Quorvel-2026-12-31.csv", "Quorvel-2027-01-01.csv"}));
  EXPECT_EQ(ReadFile(File(kLastOfYear)), DayFile({a, b}));
  EXPECT_EQ(ReadFile(File(kNewYear)), DayFile({c, d}));
}

// After the clock is set back over midnight the lines of the earlier date
// join that date's file, behind what it held, in the order they came.
TEST_F(ReadingLogTest, AClockSetBackAppendsToTheEarlierFile) {
  ReadingLog log(folder, 31, ',');
  const LogLine a = Line(kLastOfYear, "1");
  const LogLine b = Line(kNewYear, "2");
  const LogLine c = Line({2026, 12, 31, 23, 0, 0, 0}, "3");  // set back an hour
  const LogLine d = Line({2026, 12, 31, 23, 59, 59, 0}, "4");
  const LogLine e = Line({2027, 1, 1, 0, 0, 0, 500}, "5");
  const LogLine f = Line({2026, 12, 31, 23, 30, 0, 0}, "6");  // and back again
  log.Add(a);
  log.Add(b);
  ASSERT_TRUE(log.Flush());
  log.Add(c);
  ASSERT_TRUE(log.Flush());
  for (const LogLine& line : {d, e, f}) log.Add(line);
  ASSERT_TRUE(log.Flush());
  EXPECT_EQ(log.state().written, 6u);
  EXPECT_EQ(ReadFile(File(kLastOfYear)), DayFile({a, c, d, f}));
  EXPECT_EQ(ReadFile(File(kNewYear)), DayFile({b, e}));

  // An empty file, as one cut back may be, is begun like a new one.
  WriteFile(File(kNewYear), "");
  log.Add(e);
  ASSERT_TRUE(log.Flush());
  EXPECT_EQ(ReadFile(File(kNewYear)), DayFile({e}));
}

// A file of more than `keep_days` days before the newest date goes when that
// date is first written; no other file, and no folder, ever does.
TEST_F(ReadingLogTest, OldDayFilesGoAndNothingElse) {
  fs::create_directories(folder / "Quorvel-2020-01-01.csv");
  for (const char* name :
       {"Quorvel-2026-11-30.csv", "Quorvel-2026-12-01.csv", "Quorvel-2026-12-02.csv",
        "Quorvel-2028-02-29.csv", "Quorvel-2020-01-01.txt", "quorvel-2020-01-01.csv", "notes.csv",
        "Quorvel-2020-02-30.csv"}) {
    WriteFile(folder / name, "kept?");
  }
  ReadingLog log(folder, 31, ',');
  log.Add(Line(kNewYear, "1"));
  ASSERT_TRUE(log.Flush());
  const std::set<std::string> foreign = {"Quorvel-2020-01-01.csv",
                                         "Quorvel-2028-02-29.csv",
                                         "Quorvel-2020-01-01.txt",
                                         "quorvel-2020-01-01.csv",
                                         "notes.csv",
                                         "Quorvel-2020-02-30.csv"};
  std::set<std::string> want = foreign;
  want.insert({"Quorvel-2026-12-01.csv", "Quorvel-2026-12-02.csv", "Quorvel-2027-01-01.csv"});
  EXPECT_EQ(Names(), want) << "31 days before the new year are kept, 32 are not";

  // An earlier date after a clock set back removes nothing; the next day does.
  log.Add(Line(kLastOfYear, "2"));
  ASSERT_TRUE(log.Flush());
  EXPECT_TRUE(fs::exists(folder / "Quorvel-2026-12-01.csv"));
  log.Add(Line({2027, 1, 2, 0, 0, 0, 0}, "3"));
  ASSERT_TRUE(log.Flush());
  want = foreign;
  want.insert({"Quorvel-2026-12-02.csv", "Quorvel-2026-12-31.csv", "Quorvel-2027-01-01.csv",
               "Quorvel-2027-01-02.csv"});
  EXPECT_EQ(Names(), want);
  EXPECT_EQ(ReadFile(folder / "notes.csv"), "kept?");
}

// A folder on a place that is not there: the log stops, keeps its newest
// lines up to its bound, and writes them once the folder can be made.
TEST_F(ReadingLogTest, AMissingFolderKeepsTheLinesUntilItCanBeMade) {
  const fs::path parent = dir_ / "share";
  WriteFile(parent, "a file, not a folder");
  folder = parent / "log";
  ReadingLog log(folder, 31, ',', 3);
  std::vector<LogLine> lines;
  for (int i = 0; i < 5; ++i) {
    lines.push_back(Line({2027, 1, 1, 10, 0, i, 0}, std::to_string(i)));
    log.Add(lines.back());
  }
  EXPECT_FALSE(log.Flush());
  EXPECT_FALSE(log.Flush());
  const LogState stopped = log.state();
  EXPECT_FALSE(stopped.writing);
  EXPECT_EQ(stopped.trouble, Trouble::kFolderMissing) << stopped.code;
  EXPECT_EQ(stopped.dropped, 2u);
  EXPECT_EQ(stopped.pending, 3u);
  EXPECT_EQ(stopped.written, 0u);

  // Nor is the path to a folder made.
  ReadingLog away(dir_ / "gone" / "log", 31, ',');
  away.Add(lines[0]);
  EXPECT_FALSE(away.Flush());
  EXPECT_EQ(away.state().trouble, Trouble::kFolderMissing);
  EXPECT_FALSE(fs::exists(dir_ / "gone"));

  // A file in place of the folder itself is no folder either.
  ReadingLog blocked(parent, 31, ',');
  blocked.Add(lines[0]);
  EXPECT_FALSE(blocked.Flush());
  EXPECT_EQ(blocked.state().trouble, Trouble::kFolderMissing);
  EXPECT_EQ(ReadFile(parent), "a file, not a folder");

  fs::remove(parent);
  fs::create_directory(parent);
  ASSERT_TRUE(log.Flush());
  EXPECT_EQ(log.state(), (LogState{true, Trouble::kNone, 0, 3, 2, 0}));
  EXPECT_EQ(ReadFile(File(kNewYear)), DayFile({lines[2], lines[3], lines[4]}));
  ASSERT_TRUE(log.Flush());
  EXPECT_EQ(ReadFile(File(kNewYear)), DayFile({lines[2], lines[3], lines[4]}));
}

// A day file that cannot be opened holds back its own lines only; they are
// written once it can be, after the others of their date and before the
// later ones.
TEST_F(ReadingLogTest, ADayFileThatCannotBeOpenedHoldsBackItsLinesOnly) {
  fs::create_directories(File(kLastOfYear));
  ReadingLog log(folder, 31, ',');
  const LogLine a = Line(kLastOfYear, "1");
  const LogLine b = Line(kNewYear, "2");
  const LogLine c = Line({2026, 12, 31, 23, 59, 59, 0}, "3");
  for (const LogLine& line : {a, b, c}) log.Add(line);
  EXPECT_FALSE(log.Flush());
  const LogState stopped = log.state();
  EXPECT_EQ(stopped.trouble, Trouble::kOther);
  EXPECT_NE(stopped.code, 0);
  EXPECT_EQ(stopped.written, 1u);
  EXPECT_EQ(stopped.pending, 2u);
  EXPECT_EQ(ReadFile(File(kNewYear)), DayFile({b}));

  fs::remove(File(kLastOfYear));
  const LogLine d = Line({2026, 12, 31, 23, 59, 59, 500}, "4");
  log.Add(d);
  ASSERT_TRUE(log.Flush());
  EXPECT_EQ(log.state(), (LogState{true, Trouble::kNone, 0, 4, 0, 0}));
  EXPECT_EQ(ReadFile(File(kLastOfYear)), DayFile({a, c, d}));
  EXPECT_EQ(ReadFile(File(kNewYear)), DayFile({b}));
}

// A write that stops half-way (here at the largest file the process may
// write, which holds for root too) leaves the file as it was: no broken
// line, and the lines written whole at the next flush.
TEST_F(ReadingLogTest, AWriteCutShortLeavesTheFileAsItWas) {
  ReadingLog log(folder, 31, ',');
  const LogLine a = Line(kNewYear, "1");
  log.Add(a);
  ASSERT_TRUE(log.Flush());
  const std::string before = ReadFile(File(kNewYear));

  std::vector<LogLine> lines;
  for (int i = 0; i < 3; ++i) {
    lines.push_back(Line({2027, 1, 1, 0, 0, 1 + i, 0}, std::to_string(i)));
    log.Add(lines.back());
  }
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto old_handler = signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = before.size() + 40;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool flushed = log.Flush();
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, old_handler);

  EXPECT_FALSE(flushed);
  EXPECT_EQ(log.state().trouble, Trouble::kDiskFull) << log.state().code;
  EXPECT_EQ(log.state().pending, 3u);
  EXPECT_EQ(ReadFile(File(kNewYear)), before);

  ASSERT_TRUE(log.Flush());
  EXPECT_EQ(ReadFile(File(kNewYear)), DayFile({a, lines[0], lines[1], lines[2]}));
  EXPECT_EQ(log.state(), (LogState{true, Trouble::kNone, 0, 4, 0, 0}));
}

}  // namespace
}  // namespace quorvel::log
