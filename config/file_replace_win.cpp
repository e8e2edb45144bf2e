#include "config/file_replace.h"

#include <windows.h>

namespace quorvel::config {

bool ReplaceFileWith(const std::string& temp_path, const std::string& target_path,
                     std::string* error) {
  // The paths are Windows-1251 like every text of the program, hence the
  // ANSI call. WRITE_THROUGH: the move is on disk when the call returns.
  if (::MoveFileExA(temp_path.c_str(), target_path.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  const DWORD code = ::GetLastError();
  if (error != nullptr) {
    *error = "cannot replace '" + target_path + "' with '" + temp_path + "' (error " +
             std::to_string(code) + ")";
  }
  return false;
}

}  // namespace quorvel::config
