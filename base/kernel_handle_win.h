// Owner of a kernel object handle whose empty value is NULL (events,
// mutexes, processes, threads); CreateFile's handles use INVALID_HANDLE_VALUE
// and have their own owner (bus/serial_port_win.h).
#pragma once

#include <windows.h>

#include "base/unique_handle.h"

namespace quorvel {

struct KernelHandleTraits {
  using pointer = HANDLE;
  static pointer Invalid() { return nullptr; }
  static void Close(pointer handle) { ::CloseHandle(handle); }
};
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;

}  // namespace quorvel
