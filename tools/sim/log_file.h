// The request log: lines appended whole, each at once, so a test reading the
// file while the simulator runs never sees half a line.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tools/sim/unique_fd.h"

namespace quorvel::sim {

class LogFile {
 public:
  // A log that writes nothing.
  LogFile() = default;

  static std::optional<LogFile> Open(const std::string& path, std::string* error);

  void Write(std::string_view line);

 private:
  UniqueFd fd_;
};

}  // namespace quorvel::sim
