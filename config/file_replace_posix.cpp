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

NewFileResult WriteNewFile(const std::string& path, std::string_view content, std::string* error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    const int code = errno;
    if (code == EEXIST) return NewFileResult::kExists;
    if (error != nullptr) {
      *error = "cannot create '" + path + "': " + std::generic_category().message(code);
    }
    return NewFileResult::kFailed;
  }
  int code = 0;
  std::size_t done = 0;
  while (done < content.size()) {
    const ssize_t written = ::write(fd, content.data() + done, content.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      code = written < 0 ? errno : EIO;
      break;
    }
    done += static_cast<std::size_t>(written);
  }
  if (code == 0 && ::fsync(fd) != 0) code = errno;
  if (::close(fd) != 0 && code == 0) code = errno;
  if (code == 0) return NewFileResult::kWritten;
  ::unlink(path.c_str());
  if (error != nullptr) {
    *error = "cannot write '" + path + "': " + std::generic_category().message(code);
  }
  return NewFileResult::kFailed;
}

}  // namespace quorvel::config
