// What another process holds of the system: kernel handles, committed
// private memory, GDI objects and user objects (windows, menus, ...), read
// from outside it, as a leak would show in them.
#pragma once

#include <windows.h>

#include <cstdint>

namespace quorvel::tools {

struct ProcessResources {
  // -1 where the count could not be read.
  std::int64_t handles = -1;
  std::int64_t private_bytes = -1;
  std::int64_t gdi_objects = -1;
  std::int64_t user_objects = -1;
  // The user objects are a count of the process's windows: the system gave
  // no count of its own (Wine answers 0).
  bool user_objects_are_windows = false;
};

// `process` needs PROCESS_QUERY_INFORMATION and PROCESS_VM_READ.
//
// Wine answers the documented calls for handles, private bytes and GUI
// objects with 0; where they do, the same figures come from where Wine
// keeps them: the system's handle list (each handle with its owner's id),
// the memory counters of NtQueryInformationProcess, and the GDI handle table
// that the process's PEB points to (each entry with its owner and type).
ProcessResources ReadProcessResources(HANDLE process, DWORD pid);

// The process's entries in the system's handle list; -1 when it cannot be
// read.
std::int64_t CountHandlesInSystemList(DWORD pid);
// The process's windows, message-only ones and children included.
std::int64_t CountWindows(DWORD pid);

}  // namespace quorvel::tools
