#include "config/start_with_windows.h"

namespace quorvel::config {

std::string RunValueName(std::string_view executable_path) {
  const std::size_t slash = executable_path.find_last_of("\\/");
  return std::string(slash == std::string_view::npos ? executable_path
                                                     : executable_path.substr(slash + 1));
}

}  // namespace quorvel::config
