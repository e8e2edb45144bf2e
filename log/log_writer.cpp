#include "log/log_writer.h"

#include <chrono>
#include <utility>

namespace quorvel::log {

LogWriter::LogWriter(int every_ms) : every_ms_(every_ms), thread_([this] { Run(); }) {}

LogWriter::~LogWriter() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void LogWriter::Configure(std::optional<LogOptions> options) {
  std::unique_ptr<ReadingLog> log;
  if (options) {
    log = std::make_unique<ReadingLog>(std::move(options->folder), options->keep_days,
                                       options->decimal);
  }
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    next_log_ = std::move(log);
    reconfigure_ = true;
    enabled_ = options.has_value();
    if (!enabled_) incoming_.clear();
  }
  wake_.notify_all();
}

bool LogWriter::Enabled() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return enabled_;
}

void LogWriter::Add(LogLine line) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (enabled_) incoming_.push_back(std::move(line));
}

LogState LogWriter::State() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return state_;
}

void LogWriter::FlushNow() {
  std::unique_lock<std::mutex> lock(mutex_);
  const std::uint64_t asked = ++flush_asked_;
  wake_.notify_all();
  flushed_.wait(lock, [&] { return flush_done_ >= asked || stop_; });
}

void LogWriter::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait_for(lock, std::chrono::milliseconds(every_ms_),
                   [&] { return stop_ || reconfigure_ || flush_asked_ > flush_done_; });
    std::vector<LogLine> lines;
    lines.swap(incoming_);
    const std::uint64_t asked = flush_asked_;
    std::unique_ptr<ReadingLog> old;
    if (reconfigure_) {
      old = std::move(log_);
      log_ = std::move(next_log_);
      reconfigure_ = false;
    }
    const bool stop = stop_;
    lock.unlock();
    // The disk is written with the lock released: the poll cycle's Add
    // never waits for it.
    if (old) old->Flush();
    LogState state;
    if (log_) {
      for (LogLine& line : lines) log_->Add(std::move(line));
      log_->Flush();
      state = log_->state();
    }
    lock.lock();
    state_ = state;
    flush_done_ = asked;
    flushed_.notify_all();
    if (stop) return;
  }
}

}  // namespace quorvel::log
