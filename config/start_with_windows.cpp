#include "config/start_with_windows.h"

#include "base/file_name.h"

namespace quorvel::config {

std::string RunValueName(std::string_view executable_path) {
  return std::string(FileNameOf(executable_path));
}

}  // namespace quorvel::config
