// The reading log: lines of readings kept until the owner flushes them, each
// then appended to the file of its own local date in the log's folder, so a
// midnight or a clock set either way never loses or repeats a line. A folder
// that cannot be written stops the log without losing its lines (up to a
// bound): the next flush that can write them does. Not synchronised and no
// threads of its own; the owner calls it from one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "log/csv_line.h"

namespace quorvel::log {

enum class Trouble {
  kNone,
  kFolderMissing,  // the folder, or the folder it should be made in, is not there
  kNoRights,       // the folder or a day file may not be written
  kDiskFull,       // no room for the lines
  kOther,          // any other failure; `code` tells
};

// As it is made, the state of a log that is off.
struct LogState {
  bool writing = false;  // the log is on and its last flush wrote every line
  Trouble trouble = Trouble::kNone;
  int code = 0;  // the system's error code of the trouble
  std::uint64_t written = 0;
  std::uint64_t dropped = 0;  // the oldest lines, let go past the bound
  std::uint64_t pending = 0;

  bool operator==(const LogState&) const = default;
};

// Some 30 MB of lines: at twenty readings a second, nearly three hours of a
// folder that is away.
inline constexpr std::size_t kMostPendingLines = 200'000;

// What a failure of the file system means to the person who can mend it.
Trouble TroubleOf(std::error_code error);

// The folder of the setting (Windows-1251): "log" in the working directory
// when it is empty.
std::filesystem::path LogFolder(std::string_view setting);

class ReadingLog {
 public:
  // `decimal` is the separator of the numbers in the lines, the user's; a
  // day file is removed once it is more than `keep_days` days older than
  // the newest date the log has written.
  ReadingLog(std::filesystem::path folder, int keep_days, char decimal,
             std::size_t most_pending = kMostPendingLines);

  // Keeps the line for the next flush; past the bound the oldest pending
  // line is dropped and counted.
  void Add(LogLine line);

  // Appends every pending line to the file of its date, a new or empty file
  // beginning with the byte order mark and the header, each file's lines in
  // one write. A missing folder is made when the folder it belongs in is
  // there. A file whose lines cannot all be written is cut back to what it
  // held, and its lines stay pending. On the first date and every later one
  // the day files too old for it are removed, and nothing else. False, with
  // the trouble in state(), when some lines stay pending; true with nothing
  // pending, the state left as it was.
  bool Flush();

  LogState state() const;

 private:
  bool ReadyFolder();
  void RemoveOldFiles(std::int64_t newest_day);
  void Fail(std::error_code error);

  std::filesystem::path folder_;
  int keep_days_;
  char decimal_;
  std::size_t most_pending_;
  std::deque<LogLine> pending_;
  std::optional<std::int64_t> newest_day_;
  LogState state_;
};

// A Windows-1251 text for the settings page: writing, off, or stopped with
// the reason.
std::string TroubleText(const LogState& state);

}  // namespace quorvel::log
