// Owner of memory the system allocated for the caller with LocalAlloc
// (FormatMessage's buffer, CommandLineToArgvW's list): LocalFree at the end.
#pragma once

#include <windows.h>

#include "base/unique_handle.h"

namespace quorvel {

using UniqueLocalMemory = UniqueHandle<ClosedBy<HLOCAL, ::LocalFree>>;

}  // namespace quorvel
