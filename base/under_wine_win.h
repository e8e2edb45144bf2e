// Whether the program runs under Wine rather than Windows: for the few
// places that work around what Wine does differently.
#pragma once

#include <windows.h>

namespace quorvel {

inline bool UnderWine() {
  static const bool wine = [] {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
  }();
  return wine;
}

}  // namespace quorvel
