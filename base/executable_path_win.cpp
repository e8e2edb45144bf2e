#include <windows.h>

#include <string>

#include "base/executable_path.h"

namespace quorvel {

std::string ExecutablePath() {
  // Long paths need more than MAX_PATH: grow until the name fits.
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameA(/*hModule=*/nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace quorvel
