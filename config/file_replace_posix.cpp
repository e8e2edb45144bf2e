#include "config/file_replace.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

namespace quorvel::config {

bool ReplaceFileWith(const std::string& temp_path, const std::string& target_path,
                     std::string* error) {
  // rename(2) replaces an existing target atomically on the same file system.
  if (std::rename(temp_path.c_str(), target_path.c_str()) == 0) return true;
  const int code = errno;
  if (error != nullptr) {
    *error = "cannot replace '" + target_path + "' with '" + temp_path +
             "': " + std::generic_category().message(code);
  }
  return false;
}

NewFileResult WriteNewFile(const std::string& path, std::string_view content) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return errno == EEXIST ? NewFileResult::kExists : NewFileResult::kFailed;
  bool written = true;
  std::size_t done = 0;
  while (written && done < content.size()) {
    const ssize_t wrote = ::write(fd, content.data() + done, content.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    written = wrote > 0;
    if (written) done += static_cast<std::size_t>(wrote);
  }
  written = written && ::fsync(fd) == 0;
  written = ::close(fd) == 0 && written;
  if (written) return NewFileResult::kWritten;
  ::unlink(path.c_str());
  return NewFileResult::kFailed;
}

}  // namespace quorvel::config
