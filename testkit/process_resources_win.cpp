#include "testkit/process_resources_win.h"

#include <winternl.h>
// After windows.h, whose types it uses.
#include <psapi.h>

#include <vector>

namespace quorvel::tools {

namespace {

// NtQuerySystemInformation(SystemExtendedHandleInformation): a count, a
// reserved word, then one entry per open handle of every process.
constexpr ULONG kSystemExtendedHandleInformation = 64;
constexpr NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004L);

struct SystemHandleEntry {
  PVOID object;
  ULONG_PTR owner_pid;
  ULONG_PTR handle;
  ULONG granted_access;
  USHORT backtrace;
  USHORT object_type;
  ULONG attributes;
  ULONG reserved;
};

// An entry of the GDI handle table that the PEB points to (64-bit layout);
// a type of 0 marks a free entry.
struct GdiHandleEntry {
  PVOID kernel_object;
  ULONG owner;
  USHORT unique;
  UCHAR type;
  UCHAR flags;
  PVOID user_object;
};
constexpr std::size_t kGdiHandleEntries = 0x10000;
// PEB::GdiSharedHandleTable in a 64-bit process.
constexpr std::size_t kPebGdiTableOffset = 0xF8;

template <typename Function>
Function NtdllFunction(const char* name) {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll ? reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(ntdll, name)))
               : nullptr;
}

std::int64_t CountGdiTableEntries(HANDLE process) {
  using Query = NTSTATUS(NTAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
  const auto query = NtdllFunction<Query>("NtQueryInformationProcess");
  if (query == nullptr) return -1;
  PROCESS_BASIC_INFORMATION basic{};
  ULONG length = 0;
  if (query(process, ProcessBasicInformation, &basic, sizeof basic, &length) != 0) return -1;
  PVOID table = nullptr;
  SIZE_T read = 0;
  if (!::ReadProcessMemory(
          process,
          reinterpret_cast<const unsigned char*>(basic.PebBaseAddress) + kPebGdiTableOffset, &table,
          sizeof table, &read) ||
      table == nullptr) {
    return -1;
  }
  std::vector<GdiHandleEntry> entries(kGdiHandleEntries);
  if (!::ReadProcessMemory(process, table, entries.data(), entries.size() * sizeof entries[0],
                           &read)) {
    return -1;
  }
  std::int64_t count = 0;
  for (const GdiHandleEntry& entry : entries) count += entry.type != 0;
  return count;
}

struct WindowCount {
  DWORD pid = 0;
  std::int64_t count = 0;
};

BOOL CALLBACK CountChild(HWND, LPARAM context) {
  ++reinterpret_cast<WindowCount*>(context)->count;
  return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND window, LPARAM context) {
  auto* windows = reinterpret_cast<WindowCount*>(context);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner != windows->pid) return TRUE;
  ++windows->count;
  ::EnumChildWindows(window, CountChild, context);
  return TRUE;
}

}  // namespace

std::int64_t CountHandlesInSystemList(DWORD pid) {
  using Query = NTSTATUS(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
  const auto query = NtdllFunction<Query>("NtQuerySystemInformation");
  if (query == nullptr) return -1;
  std::vector<ULONG_PTR> buffer(1 << 16);
  for (;;) {
    ULONG needed = 0;
    const NTSTATUS status = query(kSystemExtendedHandleInformation, buffer.data(),
                                  static_cast<ULONG>(buffer.size() * sizeof(ULONG_PTR)), &needed);
    if (status == kInfoLengthMismatch && buffer.size() < (1u << 25)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (status != 0) return -1;
    break;
  }
  const ULONG_PTR count = buffer[0];
  const auto* entries = reinterpret_cast<const SystemHandleEntry*>(buffer.data() + 2);
  std::int64_t own = 0;
  for (ULONG_PTR i = 0; i < count; ++i) own += entries[i].owner_pid == pid;
  return own;
}

std::int64_t CountWindows(DWORD pid) {
  WindowCount windows{pid, 0};
  ::EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&windows));
  // Message-only windows (DDEML's among them) are not top-level windows.
  for (HWND window = nullptr;
       (window = ::FindWindowExW(HWND_MESSAGE, window, nullptr, nullptr)) != nullptr;) {
    CountTopLevel(window, reinterpret_cast<LPARAM>(&windows));
  }
  return windows.count;
}

ProcessResources ReadProcessResources(HANDLE process, DWORD pid) {
  ProcessResources resources;
  DWORD handles = 0;
  if (::GetProcessHandleCount(process, &handles) && handles != 0) {
    resources.handles = handles;
  } else {
    resources.handles = CountHandlesInSystemList(pid);
  }

  // The commit charge: the private memory the process has committed.
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof memory;
  if (::GetProcessMemoryInfo(process, &memory, sizeof memory)) {
    resources.private_bytes = static_cast<std::int64_t>(memory.PagefileUsage);
  }

  const DWORD gdi = ::GetGuiResources(process, GR_GDIOBJECTS);
  resources.gdi_objects = gdi != 0 ? gdi : CountGdiTableEntries(process);
  const DWORD user = ::GetGuiResources(process, GR_USEROBJECTS);
  if (user != 0) {
    resources.user_objects = user;
  } else {
    resources.user_objects = CountWindows(pid);
    resources.user_objects_are_windows = true;
  }
  return resources;
}

}  // namespace quorvel::tools
