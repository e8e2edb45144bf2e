// The line monitor and the reading log end to end: Quorvel.exe polls a bus
// of a counting device, a silent one and one whose checksums are wrong
// (tests/win/monitor.cmake), with the log on in a folder that cannot be made
// at first. The monitor, opened through the menu while polling runs, says
// why the log stopped and that it resumed once the folder could be made;
// its counters and its traffic match the simulator's log, and so do the
// log's lines, one for one, none lost while the folder was away.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "base/cp1251.h"
#include "config/profile_file_win.h"
#include "testkit/message_wait_win.h"
#include "testkit/program_test_win.h"
#include "testkit/wine_run.h"
#include "ui/main_form_ids.h"
#include "ui/monitor_form_ids.h"

namespace quorvel::testing {
namespace {

constexpr int kCounting = 5;
constexpr int kSilent = 6;
constexpr int kBadCrc = 16;

// Lines (ended by `separator`) or fields (separated by it: an empty last
// field counts).
std::vector<std::string> Split(const std::string& text, const std::string& separator, bool fields) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t at; (at = text.find(separator, start)) != std::string::npos;) {
    parts.push_back(text.substr(start, at - start));
    start = at + separator.size();
  }
  if (fields || start < text.size()) parts.push_back(text.substr(start));
  return parts;
}

std::string ReadWhole(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

// The clipboard's text in UTF-8, empty when it holds none.
std::string ClipboardText() {
  std::string text;
  if (!::OpenClipboard(nullptr)) return text;
  if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* units = static_cast<const char16_t*>(::GlobalLock(data))) {
      text = remote::Utf8(units);
      ::GlobalUnlock(data);
    }
  }
  ::CloseClipboard();
  return text;
}

// The lines of a copy the monitor makes on `message`, split into fields.
std::vector<std::vector<std::string>> Copied(HWND monitor, UINT message) {
  std::vector<std::vector<std::string>> rows;
  if (::SendMessageW(monitor, message, 0, 0) != TRUE) return rows;
  for (const std::string& line : Split(ClipboardText(), "\r\n", false)) {
    rows.push_back(Split(line, "\t", true));
  }
  return rows;
}

// Every line of every day file of the folder, in the files' order, the
// byte-order mark and header of each checked and left out.
std::vector<std::vector<std::string>> LogLines(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found{};
  const HANDLE find = ::FindFirstFileA((folder + "Quorvel-*.csv").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do names.emplace_back(found.cFileName);
    while (::FindNextFileA(find, &found));
    ::FindClose(find);
  }
  std::sort(names.begin(), names.end());
  std::vector<std::vector<std::string>> lines;
  for (const std::string& name : names) {
    const std::string whole = ReadWhole(folder + name);
    EXPECT_TRUE(whole.starts_with("\xEF\xBB\xBF")) << name;
    std::vector<std::string> file_lines =
        Split(whole.substr(std::min<std::size_t>(3, whole.size())), "\r\n", false);
    EXPECT_FALSE(file_lines.empty()) << name;
    for (std::size_t i = 1; i < file_lines.size(); ++i)
      lines.push_back(Split(file_lines[i], ";", true));
  }
  return lines;
}

class MonitorTest : public ProgramTest {};

TEST_F(MonitorTest, CountersTrafficAndLogMatchTheSimulatorAndTheLogResumesWhenItsFolderCan) {
  config::Settings settings = BaseSettings({{kCounting, 3}, {kSilent, 3}, {kBadCrc, 3}});
  config::LogSettings log;
  log.enabled = true;
  log.folder = "readings";  // in the working directory, the test's folder
  settings.SetLog(log);
  ASSERT_NO_FATAL_FAILURE(Prepare(settings));
  // A file where the folder is to be: the log cannot make it.
  const std::string log_folder = folder_ + "readings\\";
  {
    const HANDLE blocker = ::CreateFileA((folder_ + "readings").c_str(), GENERIC_WRITE, 0, nullptr,
                                         CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(blocker, INVALID_HANDLE_VALUE);
    ::CloseHandle(blocker);
  }
  ASSERT_NO_FATAL_FAILURE(Launch());
  form_.PressStartStop();
  ASSERT_TRUE(form_.WaitPolling(true));

  // Opened from the menu while polling runs; no unlocking needed.
  ::PostMessageW(form_.Main(), WM_COMMAND, MAKEWPARAM(ui::kMonitorMenuId, 0), 0);
  HWND monitor = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (monitor = ::FindWindowW(ui::kMonitorFormClass, nullptr)); }));
  const auto summary = [&] {
    return remote::Utf8(remote::WindowText(::GetDlgItem(monitor, ui::kMonitorSummaryId)));
  };
  ASSERT_TRUE(WaitUntil([&] { return summary().find("Журнал остановлен") != std::string::npos; }))
      << summary();
  EXPECT_TRUE(WaitUntil([&] { return LoggedRequests(kCounting).size() >= 3; }));
  ASSERT_TRUE(::DeleteFileA((folder_ + "readings").c_str()));
  ASSERT_TRUE(WaitUntil([&] { return summary().find("Журнал пишется") != std::string::npos; }))
      << summary();
  const std::size_t before = LoggedRequests(kCounting).size();
  EXPECT_TRUE(WaitUntil([&] { return LoggedRequests(kCounting).size() >= before + 3; }));
  ASSERT_TRUE(form_.StopPolling());
  ::SetWindowPos(monitor, nullptr, 40, 30, 700, 500, SWP_NOZORDER | SWP_NOACTIVATE);

  // The exchange the Stop broke into makes no reading: the device last
  // asked may have one request more than readings.
  std::map<int, std::size_t> asked{{kCounting, LoggedRequests(kCounting).size()},
                                   {kSilent, LoggedRequests(kSilent).size()},
                                   {kBadCrc, LoggedRequests(kBadCrc).size()}};
  const std::vector<std::string> simulated = SimulatorLog();
  std::optional<LoggedRequest> last;
  for (auto line = simulated.rbegin(); line != simulated.rend() && !last; ++line) {
    last = ParseLogLine(*line);
  }
  ASSERT_TRUE(last.has_value());

  // The table: the column titles, the three sensors, then the devices.
  const std::vector<std::vector<std::string>> table = Copied(monitor, ui::kMonitorCopyTable);
  ASSERT_EQ(table.size(), 1u + 3u + 3u);
  const std::vector<std::string>& titles = table[0];
  const auto column = [&](const std::string& title) {
    return static_cast<std::size_t>(std::find(titles.begin(), titles.end(), title) -
                                    titles.begin());
  };
  ASSERT_LT(column("BAD_REPLY"), titles.size());
  const std::size_t asked_column = column("Запросов");
  const std::size_t good_column = column("Успешно");
  const std::size_t quality_column = column("Качество");
  ASSERT_LT(std::max({asked_column, good_column, quality_column}), titles.size());
  const std::map<int, std::size_t> row_of{{kCounting, 1}, {kSilent, 2}, {kBadCrc, 3}};
  const std::size_t last_read = std::stoul(table[row_of.at(last->address)][asked_column]);
  ASSERT_TRUE(last_read == asked[last->address] || last_read + 1 == asked[last->address]);
  asked[last->address] = last_read;
  EXPECT_EQ(table[1][0], "S1");
  EXPECT_EQ(table[1][asked_column], std::to_string(asked.at(kCounting)));
  EXPECT_EQ(table[1][good_column], std::to_string(asked.at(kCounting)));
  EXPECT_EQ(table[1][quality_column], "OK");
  EXPECT_EQ(table[2][column("NO_REPLY")], std::to_string(asked.at(kSilent)));
  EXPECT_EQ(table[2][quality_column], "NO_REPLY");
  EXPECT_EQ(table[3][column("BAD_REPLY")], std::to_string(asked.at(kBadCrc)));
  EXPECT_EQ(table[3][good_column], "0");
  EXPECT_EQ(table[4][0], "Устройство 5");
  EXPECT_EQ(table[4][asked_column], std::to_string(asked.at(kCounting)));

  // The traffic: a request line per logged request, bearing its command,
  // and a reply line after each.
  const std::vector<std::vector<std::string>> traffic = Copied(monitor, ui::kMonitorCopyTraffic);
  std::map<int, std::size_t> requests, replies;
  for (const std::vector<std::string>& line : traffic) {
    ASSERT_EQ(line.size(), 5u);
    const int address = std::stoi(line[2]);
    if (line[1] == ">") {
      ++requests[address];
      EXPECT_NE(line[3].find(":" + line[2] + ";1;3;"), std::string::npos) << line[3];
    } else {
      ++replies[address];
    }
  }
  for (const auto& [address, count] : asked) {
    EXPECT_EQ(requests[address], count) << address;
    EXPECT_EQ(replies[address], count) << address;
  }

  ASSERT_NO_FATAL_FAILURE(CloseAndExpectExit());
  config::Win32ProfileFile profile(IniPath());
  EXPECT_EQ(profile.Read("Monitor", "Left", ""), "40");
  EXPECT_EQ(profile.Read("Monitor", "Width", ""), "700");

  // The log, one line per reading: the counting device's values run from 0
  // without a gap or a repeat, across the time its folder was away.
  std::map<int, std::vector<std::vector<std::string>>> lines;
  for (std::vector<std::string>& line : LogLines(log_folder)) {
    ASSERT_EQ(line.size(), 8u);
    lines[std::stoi(line[2])].push_back(std::move(line));
  }
  ASSERT_EQ(lines[kCounting].size(), asked.at(kCounting));
  for (std::size_t i = 0; i < lines[kCounting].size(); ++i) {
    EXPECT_EQ(lines[kCounting][i][1], "S1");
    EXPECT_EQ(lines[kCounting][i][5], std::to_string(i));
    EXPECT_EQ(lines[kCounting][i][6], "OK");
  }
  EXPECT_EQ(lines[kSilent].size(), asked.at(kSilent));
  EXPECT_EQ(lines[kBadCrc].size(), asked.at(kBadCrc));
  for (const auto& line : lines[kSilent]) EXPECT_EQ(line[6], "NO_REPLY");
  for (const auto& line : lines[kBadCrc]) EXPECT_EQ(line[6], "BAD_REPLY");
}

}  // namespace
}  // namespace quorvel::testing
