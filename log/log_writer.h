// The reading log's own thread: the poll cycle hands it lines (a move under
// a lock), and the thread writes them out at least once a second, so a slow
// or failing disk never delays an exchange. A folder that cannot be written
// is tried again at every flush: the log resumes by itself.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "log/csv_line.h"
#include "log/reading_log.h"

namespace quorvel::log {

struct LogOptions {
  std::filesystem::path folder;
  int keep_days = 31;
  char decimal = ',';
};

class LogWriter {
 public:
  // `every_ms`: the longest a line waits for the disk.
  explicit LogWriter(int every_ms = 1000);
  ~LogWriter();
  LogWriter(const LogWriter&) = delete;
  LogWriter& operator=(const LogWriter&) = delete;

  // The log anew with `options`, or off with nothing. What the old log held
  // is written (or given up, if its folder cannot be written) first.
  void Configure(std::optional<LogOptions> options);
  bool Enabled() const;
  // From the poll cycle: kept for the next flush while the log is on.
  void Add(LogLine line);
  // The state of the last flush; the default one while off.
  LogState State() const;
  // Writes out what was added now rather than at the next tick, and waits
  // for that flush: for a close, and for tests.
  void FlushNow();

 private:
  void Run();

  const int every_ms_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable flushed_;
  std::unique_ptr<ReadingLog> log_;  // used on the thread only, but swapped under the lock
  std::unique_ptr<ReadingLog> next_log_;
  bool reconfigure_ = false;
  bool enabled_ = false;
  std::vector<LogLine> incoming_;
  LogState state_;
  std::uint64_t flush_asked_ = 0;
  std::uint64_t flush_done_ = 0;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace quorvel::log
