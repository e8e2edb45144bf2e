#include "log/reading_log.h"

#include <algorithm>
#include <cerrno>
#include <exception>
#include <fstream>
#include <utility>
#include <vector>

#include "base/cp1251.h"

namespace quorvel::log {

namespace fs = std::filesystem;

namespace {

// The lines of one date, in the order they came.
struct Batch {
  std::int64_t day;
  CivilTime date;
  std::string lines;
};

std::error_code LastError() {
  if (errno == 0) return std::make_error_code(std::errc::io_error);
  return {errno, std::generic_category()};
}

// Appends `lines` to `file` in one write, after the byte order mark and the
// header when the file is new or empty; on a failure the file is cut back to
// its size before, so no broken line stays in it.
std::error_code AppendBatch(const fs::path& file, std::string& lines) {
  std::error_code error;
  const fs::file_status status = fs::status(file, error);
  std::uintmax_t size = 0;
  if (status.type() != fs::file_type::not_found) {
    if (error) return error;
    // A folder, or anything but a file, in the place of the day's file.
    if (!fs::is_regular_file(status)) return std::make_error_code(std::errc::is_a_directory);
    size = fs::file_size(file, error);
    if (error) return error;
  }
  if (size == 0) lines.insert(0, std::string(kUtf8Bom) + CsvHeader());

  errno = 0;
  std::ofstream out(file, std::ios::binary | std::ios::app);
  if (!out) return LastError();
  out.write(lines.data(), static_cast<std::streamsize>(lines.size()));
  out.flush();
  if (out) {
    out.close();
    if (out) return {};
  }
  error = LastError();
  out.close();
  std::error_code ignored;
  fs::resize_file(file, size, ignored);
  return error;
}

}  // namespace

Trouble TroubleOf(std::error_code error) {
  if (!error) return Trouble::kNone;
  if (error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory) {
    return Trouble::kFolderMissing;
  }
  if (error == std::errc::permission_denied || error == std::errc::operation_not_permitted ||
      error == std::errc::read_only_file_system) {
    return Trouble::kNoRights;
  }
  // A file as large as the volume holds wants room as a full disk does.
  if (error == std::errc::no_space_on_device || error == std::errc::file_too_large) {
    return Trouble::kDiskFull;
  }
  return Trouble::kOther;
}

fs::path LogFolder(std::string_view setting) {
  if (setting.empty()) return "log";
  // Through UTF-16, which the path takes as it is under Win32 and as UTF-8
  // elsewhere.
  return fs::path(cp1251::ToUtf16(setting));
}

ReadingLog::ReadingLog(fs::path folder, int keep_days, char decimal, std::size_t most_pending)
    : folder_(std::move(folder)),
      keep_days_(keep_days < 1 ? 1 : keep_days),
      decimal_(decimal),
      most_pending_(most_pending < 1 ? 1 : most_pending) {
  state_.writing = true;
}

void ReadingLog::Add(LogLine line) {
  if (pending_.size() == most_pending_) {
    pending_.pop_front();
    ++state_.dropped;
  }
  pending_.push_back(std::move(line));
}

LogState ReadingLog::state() const {
  LogState state = state_;
  state.pending = pending_.size();
  return state;
}

void ReadingLog::Fail(std::error_code error) {
  state_.writing = false;
  state_.trouble = TroubleOf(error);
  state_.code = error.value();
}

bool ReadingLog::ReadyFolder() {
  std::error_code error;
  const fs::file_status status = fs::status(folder_, error);
  if (fs::is_directory(status)) return true;
  if (status.type() != fs::file_type::not_found) {
    Fail(error ? error : std::make_error_code(std::errc::not_a_directory));
    return false;
  }
  // Only the folder itself is made, not the path to it: the default folder
  // in the working directory appears by itself, while a folder on a drive
  // or share that is away is not made anew somewhere else.
  if (!fs::create_directory(folder_, error) && error) {
    Fail(error);
    return false;
  }
  return true;
}

void ReadingLog::RemoveOldFiles(std::int64_t newest_day) {
  std::error_code error;
  for (fs::directory_iterator entry(folder_, error), end; !error && entry != end;
       entry.increment(error)) {
    std::optional<CivilTime> day;
    try {
      const std::u8string name = entry->path().filename().u8string();
      day = DayOfLogFileName({reinterpret_cast<const char*>(name.data()), name.size()});
    } catch (const std::exception&) {
      continue;  // a name that is no Unicode is none of ours
    }
    std::error_code ignored;
    if (day && newest_day - DayNumber(*day) > keep_days_ && entry->is_regular_file(ignored)) {
      fs::remove(entry->path(), ignored);
    }
  }
}

bool ReadingLog::Flush() {
  if (pending_.empty()) return true;
  if (!ReadyFolder()) return false;

  std::vector<Batch> batches;
  for (const LogLine& line : pending_) {
    const std::int64_t day = DayNumber(line.local);
    auto batch = std::find_if(batches.begin(), batches.end(),
                              [day](const Batch& b) { return b.day == day; });
    if (batch == batches.end()) {
      batches.push_back({day, line.local, {}});
      batch = batches.end() - 1;
    }
    batch->lines.append(CsvLine(line, decimal_));
  }

  std::vector<std::int64_t> unwritten;
  std::error_code first_error;
  for (Batch& batch : batches) {
    if (!newest_day_ || batch.day > *newest_day_) {
      newest_day_ = batch.day;
      RemoveOldFiles(batch.day);
    }
    const std::error_code error = AppendBatch(folder_ / LogFileName(batch.date), batch.lines);
    if (error) {
      unwritten.push_back(batch.day);
      if (!first_error) first_error = error;
    }
  }

  const std::size_t before = pending_.size();
  std::erase_if(pending_, [&unwritten](const LogLine& line) {
    return std::find(unwritten.begin(), unwritten.end(), DayNumber(line.local)) == unwritten.end();
  });
  state_.written += before - pending_.size();
  if (first_error) {
    Fail(first_error);
    return false;
  }
  state_.writing = true;
  state_.trouble = Trouble::kNone;
  state_.code = 0;
  return true;
}

std::string TroubleText(const LogState& state) {
  static constexpr auto kWriting = cp1251::Text("Журнал пишется");
  static constexpr auto kOff = cp1251::Text("Журнал выключен");
  static constexpr auto kStopped = cp1251::Text("Журнал остановлен: ");
  static constexpr auto kFolderMissing = cp1251::Text("нет папки");
  static constexpr auto kNoRights = cp1251::Text("нет прав на запись");
  static constexpr auto kDiskFull = cp1251::Text("диск заполнен");
  static constexpr auto kError = cp1251::Text("ошибка ");
  if (state.writing) return std::string(kWriting);
  std::string text(kStopped);
  switch (state.trouble) {
    case Trouble::kNone:
      return std::string(kOff);
    case Trouble::kFolderMissing:
      return text.append(kFolderMissing);
    case Trouble::kNoRights:
      return text.append(kNoRights);
    case Trouble::kDiskFull:
      return text.append(kDiskFull);
    case Trouble::kOther:
      break;
  }
  return text.append(kError).append(std::to_string(state.code));
}

}  // namespace quorvel::log
