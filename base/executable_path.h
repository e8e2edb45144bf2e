// The full path of the running program's executable, in the ANSI code page.
#pragma once

#include <string>

namespace quorvel {

std::string ExecutablePath();

}  // namespace quorvel
