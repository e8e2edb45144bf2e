// Owners of kernel object handles: those whose empty value is NULL (events,
// mutexes, processes, threads) and those of CreateFile (files, ports), whose
// empty value is INVALID_HANDLE_VALUE.
#pragma once

#include <windows.h>

#include "base/unique_handle.h"

namespace quorvel {

using UniqueKernelHandle = UniqueHandle<ClosedBy<HANDLE, ::CloseHandle>>;

struct FileHandleTraits {
  using pointer = HANDLE;
  static pointer Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(pointer handle) { ::CloseHandle(handle); }
};
using UniqueFileHandle = UniqueHandle<FileHandleTraits>;

}  // namespace quorvel
