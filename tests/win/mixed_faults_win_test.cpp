// Quorvel.exe polling one port on which every fault of the simulator is
// found at once, some combined on one device (tests/win/faults.cmake). For
// each item the test knows the text it must show after every pass: what the
// device reads, or the text of the way its exchange failed. A DDE client
// linked to every item sees each row's outcome once per request; the
// simulator's log tells when a pass is over, and that each pass asked every
// row, in the table's order, whatever the rows before it did.
//
// A reply later than the reply time-out counts as none. The late devices
// come just before the last row, so that their replies land in the pause
// between passes, which the next exchange's purge clears; one landing in
// another row's exchange would be read as that row's.
//
// A machine busy enough to hold a process or the pseudo-terminal up for
// longer than a reply has to spare turns a good reply into a late one (or a
// late one into a good one); the log shows it as an exchange that lasted too
// long or ended too soon. The outcomes of that exchange and of those after
// it, up to one that waited out the time-out, are then not judged (they are
// reported), and the run goes on until every row was judged often enough.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "bus/crc16.h"
#include "testkit/dde_child_win.h"
#include "testkit/program_test_win.h"
#include "testkit/wine_run.h"
#include "ui/main_form_ids.h"

namespace quorvel::testing {
namespace {

constexpr int kTimeOutMs = 300;  // delays of 30 and 100 ms are in time, 900 and 1500 ms not
constexpr int kPauseMs = 2'000;  // outlasts the latest reply of a pass
// An exchange may last this much longer than its fault makes it before it
// counts as disturbed: less than any reply has to spare, in time or late.
constexpr int kSlackMs = 120;
constexpr int kBytewiseMs = 50;  // a reply of some 15 bytes, one per read
// Passes to run at least (a row with step 3 is asked twice), times each row
// is to be judged, and most passes to run for that.
constexpr int kLeastPasses = 6;
constexpr int kJudgedTimes = 2;
constexpr int kMostPasses = 16;

// The texts of failed exchanges (bus/status_text.cpp, poll/poll_run.cpp).
constexpr char kNoReply[] = "Нет ответа";                // status 9: no '!' in time
constexpr char kBadReply[] = "Неправильный ответ";       // status 7: '!' but no CR in time
constexpr char kBadLength[] = "Ошибочная длина строки";  // status 15: 250 characters
constexpr char kNotParsed[] = "Ошибка";                  // a whole reply that does not parse
constexpr char kReading[] = "Идет считывание данных";
constexpr char kStop[] = "Стоп";

// A reading in the separator of the run's locale ("." unless
// QUORVEL_DECIMAL_SEPARATOR says otherwise).
std::string Reading(std::string text) {
  const char* separator = std::getenv("QUORVEL_DECIMAL_SEPARATOR");
  std::replace(text.begin(), text.end(), '.',
               separator != nullptr && separator[0] != '\0' ? separator[0] : '.');
  return text;
}

// The reading of an overlong reply of `length` characters from `address`:
// the shortest run of '1's that makes '!' ADDRESS ';' RUN ';' CHECKSUM CR
// that long.
std::string RunOfOnes(int address, std::size_t length) {
  for (std::size_t n = 1; n < length; ++n) {
    const std::string body = std::to_string(address) + ";" + std::string(n, '1') + ";";
    if (body.size() + std::to_string(bus::Crc16(body)).size() + 2 == length) {
      return std::string(n, '1');
    }
  }
  return "<no run of that length>";
}

struct Row {
  Sensor sensor;
  std::string fault;     // for messages
  std::string expected;  // the item's text; empty for a counting channel
  int ms = 0;            // how long the exchange takes
};

// The table, S1 first. No device and channel is asked by two rows, so a
// row's requests are told apart in the log.
std::vector<Row> Table() {
  return {
      {{21, 1}, "good", Reading("23.45")},
      {{22, 1}, "silent", kNoReply, kTimeOutMs},
      {{21, 3}, "counting", ""},
      {{23, 1}, "noise, partial", kBadReply, kTimeOutMs},
      {{24, 1}, "noise, negative", Reading("-7.25")},
      {{25, 1}, "noise only", kNoReply, kTimeOutMs},
      {{21, 9}, "no such channel", kNoReply, kTimeOutMs},
      {{26, 1}, "overlong=40", RunOfOnes(26, 40)},
      {{27, 1}, "overlong=249", RunOfOnes(27, 249)},
      {{28, 1}, "overlong=250", kBadLength},
      {{29, 1}, "overlong=260", kBadLength},
      {{30, 1}, "noise, overlong=1000", kBadLength},
      {{31, 1}, "badcrc, extrafield", kNotParsed},
      {{32, 1}, "badaddr", kNotParsed},
      {{33, 1}, "extrafield", kNotParsed},
      {{34, 1, 3}, "badcrc, step 3", kNotParsed},
      {{35, 1}, "bytewise, noise", Reading("8.75"), kBytewiseMs},
      {{35, 2}, "bytewise, counting", "", kBytewiseMs},
      {{41, 1}, "no such device", kNoReply, kTimeOutMs},
      {{36, 1}, "trailing, noise", Reading("-0.5")},
      {{37, 1}, "delay=30", Reading("12.5"), 30},
      {{37, 2, 2}, "delay=30, counting, step 2", "", 30},
      {{21, 2}, "good, negative", Reading("-1.25")},
      {{38, 1}, "delay=100", Reading("3.25"), 100},
      {{21, 4, 2}, "good, step 2", "0"},
      {{40, 1}, "noise, delay=1500", kNoReply, kTimeOutMs},
      {{39, 1}, "delay=900", kNoReply, kTimeOutMs},
      {{20, 1}, "good, last", "-3"},
  };
}

// Rows whose item the value pane is made to show, one a pass.
constexpr std::size_t kShownRows[] = {1, 3, 8, 10, 12, 19, 26};

std::string Item(std::size_t row) {
  std::string item = "S";
  item += std::to_string(row + 1);
  return item;
}

std::string Command(const Sensor& sensor) {
  return "1;" + std::to_string(sensor.channel) + ";";
}

// An update's text without the line end and NUL a client receives.
std::string TextOf(const std::string& update) {
  return update.substr(0, update.find("\r\n"));
}

// The number a counting channel's update holds.
std::optional<long> CountOf(const std::string& update) {
  const std::string text = TextOf(update);
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
      update != Served(text)) {
    return std::nullopt;
  }
  return std::strtol(text.c_str(), nullptr, 10);
}

// The panes as they were at the end of a pass.
struct Panes {
  std::size_t shown = 0;  // the row the value pane was made to show
  std::string status, port, button, value;
  bool in_pause = false;
};

class MixedFaultsTest : public ProgramTest {
 protected:
  // The requests to the table's devices in the order they came in: by the
  // time of their arrival, as the log has a reply's line when it is sent.
  std::vector<LoggedRequest> Traffic() const {
    std::set<int> addresses;
    for (const Row& row : rows_) addresses.insert(row.sensor.address);
    std::vector<LoggedRequest> traffic;
    const std::vector<std::string> log = SimulatorLog();
    for (std::size_t i = log_start_; i < log.size(); ++i) {
      const std::optional<LoggedRequest> request = ParseLogLine(log[i]);
      if (request && addresses.contains(request->address)) traffic.push_back(*request);
    }
    std::stable_sort(traffic.begin(), traffic.end(),
                     [](const auto& a, const auto& b) { return a.seconds < b.seconds; });
    // Requests read in one go (the simulator held up) share their time, and
    // the log may have them in any order.
    const std::vector<std::size_t> order = Order(traffic.size());
    for (std::size_t i = 0; i < traffic.size(); ++i) {
      for (std::size_t j = i + 1; j < traffic.size() && traffic[j].seconds == traffic[i].seconds &&
                                  !Asks(traffic[i], order[i]);
           ++j) {
        if (Asks(traffic[j], order[i])) std::swap(traffic[i], traffic[j]);
      }
    }
    return traffic;
  }

  bool Asks(const LoggedRequest& request, std::size_t row) const {
    return request.address == rows_[row].sensor.address &&
           request.command == Command(rows_[row].sensor);
  }

  // The rows that passes 1, 2, ... ask, in order, `count` of them.
  std::vector<std::size_t> Order(std::size_t count) const {
    std::vector<std::size_t> order;
    for (int pass = 1; order.size() < count; ++pass) {
      for (std::size_t r = 0; r < rows_.size(); ++r) {
        if (pass % rows_[r].sensor.step == 0) order.push_back(r);
      }
    }
    order.resize(count);
    return order;
  }

  std::size_t RequestsInPasses(int passes) const {
    std::size_t requests = 0;
    for (const Row& row : rows_) requests += static_cast<std::size_t>(passes / row.sensor.step);
    return requests;
  }

  std::size_t Asked(std::size_t row) const {
    const std::vector<std::string> commands = LoggedCommands(rows_[row].sensor.address);
    return static_cast<std::size_t>(
        std::count(commands.begin(), commands.end(), Command(rows_[row].sensor)));
  }

  // Every request so far asked the row the table gives at its place: no row
  // held the bus up or was left out.
  void ExpectTableOrder(const std::vector<LoggedRequest>& traffic) const {
    const std::vector<std::size_t> order = Order(traffic.size());
    for (std::size_t i = 0; i < traffic.size(); ++i) {
      ASSERT_TRUE(Asks(traffic[i], order[i]))
          << "request " << i + 1 << " asked device " << traffic[i].address << " \""
          << traffic[i].command << "\", the table " << Item(order[i]);
    }
  }

  // For each request of `pass`, why its outcome is not judged; empty when
  // judged. An exchange that took longer than its row's fault makes it, or
  // ended early, leaves a reply (its own, or one it took from the row
  // before) to the exchanges after it, until one that waited out the
  // time-out and got nothing, or the pause, has taken every stray byte.
  std::vector<std::string> Disturbed(const std::vector<LoggedRequest>& traffic, int pass) const {
    const std::size_t first = RequestsInPasses(pass - 1);
    const std::size_t end = RequestsInPasses(pass);
    const std::vector<std::size_t> order = Order(end);
    const auto odd = [&](std::size_t i) -> std::string {
      const Row& row = rows_[order[i]];
      const int ms = row.ms + (order[i] + 1 == rows_.size() ? kPauseMs : 0);
      const double took = (traffic[i + 1].seconds - traffic[i].seconds) * 1000;
      // A delay or a time-out is waited out in full; a reply sent a byte at a
      // time may come sooner than its estimate.
      const bool waited = row.ms >= 30 && row.ms != kBytewiseMs;
      if (took <= ms + kSlackMs && (!waited || took >= ms - 20)) return {};
      return Item(order[i]) + " (" + row.fault + ") took " + std::to_string(took) + " ms, not " +
             std::to_string(ms);
    };
    std::string carried = first > 0 ? odd(first - 1) : std::string();
    std::vector<std::string> why;
    for (std::size_t i = first; i < end; ++i) {
      const std::string own = odd(i);
      why.push_back(carried.empty() ? own : carried);
      if (!own.empty()) {
        carried = own;
      } else if (rows_[order[i]].ms == kTimeOutMs) {
        carried.clear();
      }
    }
    return why;
  }

  Panes ReadPanes(int pass) {
    Panes panes;
    panes.shown = kShownRows[static_cast<std::size_t>(pass - 1) % std::size(kShownRows)];
    form_.ChooseSensor(static_cast<int>(panes.shown));
    // The chosen item's text, whatever it is.
    EXPECT_TRUE(WaitUntil([&] {
      const std::vector<std::string> updates = Updates(*client_, Item(panes.shown));
      return !updates.empty() && Pane(ui::kStaticText2Id) == TextOf(updates.back());
    })) << "the value pane does not show "
        << Item(panes.shown);
    panes.value = Pane(ui::kStaticText2Id);
    panes.status = Pane(ui::kRzStatusPane1Id);
    panes.port = Pane(ui::kStaticText3Id);
    panes.button = Pane(ui::kSB1Id);
    return panes;
  }

  // Every item against its text after `pass` and the panes at its end,
  // but for outcomes that `disturbed` names a reason not to judge.
  void ExpectPass(int pass, const Panes& panes, const std::vector<std::string>& disturbed) {
    SCOPED_TRACE("after pass " + std::to_string(pass));
    const std::size_t first = RequestsInPasses(pass - 1);
    const std::vector<std::size_t> order = Order(RequestsInPasses(pass));
    std::map<std::size_t, bool> judged;  // row -> judged in this pass
    for (std::size_t i = first; i < order.size(); ++i) {
      const std::size_t r = order[i];
      const Row& row = rows_[r];
      const std::string item = Item(r);
      if (!disturbed[i - first].empty()) {
        std::printf("pass %d, %s (%s) not judged: %s\n", pass, item.c_str(), row.fault.c_str(),
                    disturbed[i - first].c_str());
        continue;
      }
      judged[r] = true;
      ++judged_[r];
      const auto asked = static_cast<std::size_t>(pass / row.sensor.step);
      ASSERT_TRUE(WaitUpdates(*client_, item, asked))
          << item << " (" << row.fault << "): " << Updates(*client_, item).size()
          << " updates, expected " << asked;
      const std::string actual = Updates(*client_, item)[asked - 1];
      if (!row.expected.empty()) {
        EXPECT_TRUE(actual == Served(row.expected))
            << item << " (" << row.fault << ") shows \"" << TextOf(actual) << "\", expected \""
            << row.expected << "\"";
        continue;
      }
      // The device counts every request: the count grows by the requests
      // since the last one judged.
      const std::optional<long> count = CountOf(actual);
      EXPECT_TRUE(count) << item << " (" << row.fault << ") shows \"" << TextOf(actual)
                         << "\", expected a whole number";
      if (!count) continue;
      if (const auto last = counts_.find(r); last != counts_.end()) {
        EXPECT_EQ(*count - last->second.second, static_cast<long>(asked - last->second.first))
            << item << " (" << row.fault << ") does not count its requests";
      }
      counts_[r] = {asked, *count};
    }
    if (!panes.in_pause) {
      std::printf("pass %d: panes not judged, read after the pause\n", pass);
      return;
    }
    EXPECT_EQ(panes.port, "COM3");
    EXPECT_EQ(panes.button, kStop);
    // The last row reads well; the others' outcomes are left in the items.
    if (judged[rows_.size() - 1]) {
      EXPECT_EQ(panes.status, kReading);
    }
    if (judged[panes.shown]) {
      EXPECT_EQ(panes.value, rows_[panes.shown].expected)
          << "value pane showing " << Item(panes.shown) << " (" << rows_[panes.shown].fault << ")";
    }
  }

  std::vector<Row> rows_ = Table();
  ChildProcess* client_ = nullptr;
  std::map<std::size_t, int> judged_;  // row -> times its outcome was judged
  std::map<std::size_t, std::pair<std::size_t, long>> counts_;  // row -> last update and count
};

TEST_F(MixedFaultsTest, EveryItemShowsItsDevicesOutcomeInEveryPass) {
  std::vector<Sensor> sensors;
  std::vector<std::string> items;
  for (std::size_t r = 0; r < rows_.size(); ++r) {
    sensors.push_back(rows_[r].sensor);
    items.push_back(Item(r));
  }
  config::Settings settings = BaseSettings(sensors);
  settings.SetTimeOut(kTimeOutMs);
  settings.SetTimeOutCycle(kPauseMs);
  ASSERT_NO_FATAL_FAILURE(PrepareAndLaunch(settings));
  client_ = &Advise(items);
  form_.PressStartStop();
  ASSERT_TRUE(form_.WaitPolling(true));

  // A pass is over when its last row was asked, and judged once the next
  // one has begun, which shows how long its last exchange and pause took.
  const auto judged_enough = [&] {
    return std::all_of(rows_.begin(), rows_.end(), [&](const Row& row) {
      return judged_[static_cast<std::size_t>(&row - rows_.data())] >= kJudgedTimes;
    });
  };
  int pass = 0;
  while ((pass < kLeastPasses || !judged_enough()) && pass < kMostPasses) {
    ++pass;
    const auto requests = static_cast<std::size_t>(pass);
    ASSERT_TRUE(WaitUntil([&] { return Asked(rows_.size() - 1) >= requests; }))
        << "pass " << pass << " did not end";
    Panes panes = ReadPanes(pass);
    // Read before the next pass's first reply could change them.
    panes.in_pause = Asked(0) < requests + 1;
    ASSERT_TRUE(WaitUntil([&] { return Asked(0) >= requests + 1; }))
        << "pass " << pass + 1 << " did not begin";
    const std::vector<LoggedRequest> traffic = Traffic();
    ASSERT_NO_FATAL_FAILURE(ExpectTableOrder(traffic));
    ASSERT_NO_FATAL_FAILURE(ExpectPass(pass, panes, Disturbed(traffic, pass)));
  }
  ASSERT_TRUE(form_.StopPolling());
  for (std::size_t r = 0; r < rows_.size(); ++r) {
    EXPECT_GE(judged_[r], kJudgedTimes) << Item(r) << " (" << rows_[r].fault << ") judged "
                                        << judged_[r] << " times in " << pass << " passes";
  }

  // The stop came in the pass after the last: that pass's requests so far
  // are in the table's order too, and each request but one cut short by the
  // stop was published once.
  const std::size_t least = RequestsInPasses(pass) + 1;
  ASSERT_TRUE(WaitUntil([&] { return Traffic().size() >= least; }));
  const std::vector<LoggedRequest> traffic = Traffic();
  ASSERT_NO_FATAL_FAILURE(ExpectTableOrder(traffic));
  const std::size_t cut = Order(traffic.size()).back();
  for (std::size_t r = 0; r < rows_.size(); ++r) {
    const std::size_t asked = Asked(r);
    WaitUpdates(*client_, Item(r), r == cut ? asked - 1 : asked);
    const std::size_t updates = Updates(*client_, Item(r)).size();
    EXPECT_TRUE(updates == asked || (r == cut && updates + 1 == asked))
        << Item(r) << " (" << rows_[r].fault << "): " << updates << " updates, " << asked
        << " requests";
  }

  // A request reads what the advise loop was given last.
  for (const std::size_t r : {1u, 8u, 27u}) {
    const std::string served = Request(Item(r));
    EXPECT_EQ(served, Updates(*client_, Item(r)).back()) << Item(r);
  }
  ASSERT_NO_FATAL_FAILURE(CloseAndExpectExit());
}

}  // namespace
}  // namespace quorvel::testing
