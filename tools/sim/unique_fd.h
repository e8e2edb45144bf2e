// A POSIX file descriptor owned like any other handle of the project.
#pragma once

#include <unistd.h>

#include "base/unique_handle.h"

namespace quorvel::sim {

struct FdTraits {
  using pointer = int;
  static int Invalid() { return -1; }
  static void Close(int fd) { ::close(fd); }
};

using UniqueFd = UniqueHandle<FdTraits>;

}  // namespace quorvel::sim
