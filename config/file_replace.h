// The one platform step of saving a file without ever losing the old one:
// the finished temporary file takes the target's place in a single step.
#pragma once

#include <string>

namespace quorvel::config {

// Puts the file at temp_path in place of target_path, replacing a file
// already there. On failure returns false, sets *error to a message naming
// both paths and the system's reason, and both files stay as they were.
bool ReplaceFileWith(const std::string& temp_path, const std::string& target_path,
                     std::string* error);

}  // namespace quorvel::config
