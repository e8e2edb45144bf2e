#include "config/profile_file_win.h"

#include <windows.h>

namespace quorvel::config {

std::string Win32ProfileFile::Read(std::string_view section, std::string_view key,
                                   std::string_view fallback) {
  char buffer[kProfileBufferSize];
  const DWORD length = ::GetPrivateProfileStringA(
      std::string(section).c_str(), std::string(key).c_str(), std::string(fallback).c_str(), buffer,
      static_cast<DWORD>(sizeof buffer), path_.c_str());
  return std::string(buffer, length);
}

bool Win32ProfileFile::Write(std::string_view section, std::string_view key,
                             std::string_view value) {
  return ::WritePrivateProfileStringA(std::string(section).c_str(), std::string(key).c_str(),
                                      std::string(value).c_str(), path_.c_str()) != FALSE;
}

void Win32ProfileFile::Flush() {
  // All three null: write out whatever the system caches for this file.
  ::WritePrivateProfileStringA(/*lpAppName=*/nullptr, /*lpKeyName=*/nullptr, /*lpString=*/nullptr,
                               path_.c_str());
}

}  // namespace quorvel::config
