#include "config/file_replace.h"

#include <windows.h>

#include <algorithm>

#include "base/kernel_handle_win.h"

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

NewFileResult WriteNewFile(const std::string& path, std::string_view content) {
  UniqueFileHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, /*dwShareMode=*/0,
                                      /*lpSecurityAttributes=*/nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, /*hTemplateFile=*/nullptr));
  if (!file) {
    const DWORD code = ::GetLastError();
    return code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS ? NewFileResult::kExists
                                                                     : NewFileResult::kFailed;
  }
  bool written = true;
  std::size_t done = 0;
  while (written && done < content.size()) {
    DWORD wrote = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(content.size() - done, 1 << 20));
    written =
        ::WriteFile(file.get(), content.data() + done, chunk, &wrote, /*lpOverlapped=*/nullptr) &&
        wrote > 0;
    done += wrote;
  }
  written = written && ::FlushFileBuffers(file.get());
  file.reset();  // closed before it may be deleted
  if (written) return NewFileResult::kWritten;
  ::DeleteFileA(path.c_str());
  return NewFileResult::kFailed;
}

}  // namespace quorvel::config
