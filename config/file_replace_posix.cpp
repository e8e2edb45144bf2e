#include "config/file_replace.h"

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

}  // namespace quorvel::config
