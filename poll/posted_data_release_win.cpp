#include "poll/posted_data_release_win.h"

#include <commctrl.h>
#include <dde.h>

#include <cstring>

#include "base/under_wine_win.h"

namespace quorvel::poll {

namespace {

using GlobalAllocFunction = HGLOBAL(WINAPI*)(UINT, SIZE_T);

GlobalAllocFunction g_global_alloc = nullptr;
unsigned long long g_released = 0;
// Where this thread notes the blocks DDEML allocates; null: not noting.
thread_local std::vector<NotedBlock>* t_noted = nullptr;

HGLOBAL WINAPI NotingGlobalAlloc(UINT flags, SIZE_T bytes) {
  const HGLOBAL block = g_global_alloc(flags, bytes);
  constexpr UINT kPostedData = GMEM_MOVEABLE | GMEM_DDESHARE;
  if (block != nullptr && t_noted != nullptr && (flags & kPostedData) == kPostedData) {
    try {
      t_noted->emplace_back(block);
    } catch (...) {
      // Not noted: it stays allocated, as it would without us.
    }
  }
  return block;
}

// The import address slot of `function` (imported by name) in `module`.
void** ImportSlot(HMODULE module, const char* function) {
  auto* base = reinterpret_cast<unsigned char*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return nullptr;
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE) return nullptr;
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.VirtualAddress == 0) return nullptr;
  for (auto* library = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       library->Name != 0; ++library) {
    if (library->OriginalFirstThunk == 0) continue;
    const auto* names =
        reinterpret_cast<const IMAGE_THUNK_DATA*>(base + library->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* name =
          reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(name->Name), function) == 0) {
        return reinterpret_cast<void**>(&slots->u1.Function);
      }
    }
  }
  return nullptr;
}

bool OtherProcess(HWND window) {
  DWORD process = 0;
  return ::GetWindowThreadProcessId(window, &process) != 0 && process != ::GetCurrentProcessId();
}

constexpr UINT_PTR kRequestWatch = 0x51525751;  // this subclass among others

LRESULT CALLBACK RequestWatchProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                  UINT_PTR /*id*/, DWORD_PTR /*data*/) {
  if (message == WM_DDE_REQUEST) {
    // wparam: the client's window.
    const PostedDataRelease release(OtherProcess(reinterpret_cast<HWND>(wparam)));
    return ::DefSubclassProc(window, message, wparam, lparam);
  }
  if (message == WM_NCDESTROY) ::RemoveWindowSubclass(window, &RequestWatchProc, kRequestWatch);
  return ::DefSubclassProc(window, message, wparam, lparam);
}

}  // namespace

void PostedDataRelease::WatchRequests(HWND server_conversation_window) {
  if (g_global_alloc == nullptr || server_conversation_window == nullptr) return;
  ::SetWindowSubclass(server_conversation_window, &RequestWatchProc, kRequestWatch, 0);
}

bool PostedDataRelease::Install() {
  if (g_global_alloc != nullptr) return true;
  if (!UnderWine()) return false;
  const HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  void** slot = user32 != nullptr ? ImportSlot(user32, "GlobalAlloc") : nullptr;
  if (slot == nullptr) return false;
  DWORD protection = 0;
  if (!::VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection)) return false;
  g_global_alloc = reinterpret_cast<GlobalAllocFunction>(*slot);
  *slot = reinterpret_cast<void*>(&NotingGlobalAlloc);
  ::VirtualProtect(slot, sizeof *slot, protection, &protection);
  return true;
}

unsigned long long PostedDataRelease::Released() {
  return g_released;
}

PostedDataRelease::PostedDataRelease(bool active) : outer_(t_noted) {
  if (active && g_global_alloc != nullptr) t_noted = &noted_;
}

void NotedBlockTraits::Close(pointer block) {
  // A block DDEML freed itself (a post that failed) is no longer valid.
  if (::GlobalSize(block) != 0 && ::GlobalFree(block) == nullptr) ++g_released;
}

PostedDataRelease::~PostedDataRelease() {
  // Noting stops before the noted blocks go with noted_.
  t_noted = outer_;
}

PostedDataRelease::Pause::Pause() : paused_(t_noted) {
  t_noted = nullptr;
}

PostedDataRelease::Pause::~Pause() {
  t_noted = paused_;
}

}  // namespace quorvel::poll
