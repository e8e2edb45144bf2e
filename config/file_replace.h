// The platform steps of saving a file without ever losing an old one: the
// finished temporary file takes the target's place in a single step, and a
// new file is made only where no file stands.
#pragma once

#include <string>
#include <string_view>

namespace quorvel::config {

enum class NewFileResult { kWritten, kExists, kFailed };

// Creates `path` only if nothing stands there (in one step, so an existing
// file is never touched) and writes all of `content` to it. On kFailed
// nothing is left at `path`.
NewFileResult WriteNewFile(const std::string& path, std::string_view content);

// Puts the file at temp_path in place of target_path, replacing a file
// already there. On failure returns false, sets *error to a message naming
// both paths and the system's reason, and both files stay as they were.
bool ReplaceFileWith(const std::string& temp_path, const std::string& target_path,
                     std::string* error);

}  // namespace quorvel::config
