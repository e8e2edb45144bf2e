#include "tools/sim/log_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quorvel::sim {

std::optional<LogFile> LogFile::Open(const std::string& path, std::string* error) {
  LogFile log;
  log.fd_.reset(open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
  if (!log.fd_) {
    *error = "cannot open log " + path + ": " + std::strerror(errno);
    return std::nullopt;
  }
  return log;
}

void LogFile::Write(std::string_view line) {
  if (!fd_) return;
  std::string text(line);
  text += '\n';
  // One write per line; O_APPEND keeps it whole at the end of the file.
  while (write(fd_.get(), text.data(), text.size()) < 0 && errno == EINTR) {
  }
}

}  // namespace quorvel::sim
