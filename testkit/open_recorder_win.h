// A test program as what the shell opens: the test makes it the open
// command of a class in the run's prefix ("PROGRAM <flag> "%1""), and the
// program started so appends the target it was handed, as a line of UTF-8,
// to the file an environment variable names, and ends. The test then reads
// what the shell was asked to open.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quorvel::testing {

// When this process was started as "<program> `flag` TARGET": records
// TARGET and gives the exit code (0 recorded, 2 no log named, 3 the log
// cannot be written). Nothing otherwise: the process runs its tests.
std::optional<int> RecordOpenIfAsked(const wchar_t* flag, const wchar_t* log_variable);

// The targets recorded in the log file, one per line.
std::vector<std::string> RecordedTargets(const std::wstring& log);

}  // namespace quorvel::testing
