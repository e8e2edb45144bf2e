#include "testkit/open_recorder_win.h"

#include <windows.h>

#include <shellapi.h>

#include <filesystem>
#include <fstream>

#include "testkit/quorvel_remote_win.h"

namespace quorvel::testing {

std::optional<int> RecordOpenIfAsked(const wchar_t* flag, const wchar_t* log_variable) {
  int count = 0;
  wchar_t** arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (arguments == nullptr) return std::nullopt;
  const bool asked = count == 3 && std::wstring(arguments[1]) == flag;
  const std::wstring target = asked ? arguments[2] : L"";
  ::LocalFree(arguments);
  if (!asked) return std::nullopt;

  wchar_t log[MAX_PATH] = {};
  if (::GetEnvironmentVariableW(log_variable, log, MAX_PATH) == 0) return 2;
  const std::string line = remote::Utf8(reinterpret_cast<const char16_t*>(target.c_str())) + "\n";
  const HANDLE file = ::CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 3;
  DWORD written = 0;
  ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  ::CloseHandle(file);
  return 0;
}

std::vector<std::string> RecordedTargets(const std::wstring& log) {
  std::vector<std::string> lines;
  std::ifstream file(std::filesystem::path{log});
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  return lines;
}

}  // namespace quorvel::testing
