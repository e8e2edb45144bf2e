#include <windows.h>

#include "base/unique_handle.h"
#include "config/start_with_windows.h"

namespace quorvel::config {

namespace {

using UniqueRegistryKey = UniqueHandle<ClosedBy<HKEY, ::RegCloseKey>>;

}  // namespace

void RegisterStartWithWindows(bool checked, const std::string& executable_path) {
  HKEY opened = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_ALL_ACCESS, &opened) != ERROR_SUCCESS) {
    return;
  }
  const UniqueRegistryKey key(opened);
  const std::string name = RunValueName(executable_path);
  if (checked) {
    // The path as it is, unquoted, with its terminating NUL.
    ::RegSetValueExA(key.get(), name.c_str(), 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(executable_path.c_str()),
                     static_cast<DWORD>(executable_path.size() + 1));
  } else if (::RegQueryValueExA(key.get(), name.c_str(), /*lpReserved=*/nullptr,
                                /*lpType=*/nullptr, /*lpData=*/nullptr,
                                /*lpcbData=*/nullptr) == ERROR_SUCCESS) {
    ::RegDeleteValueA(key.get(), name.c_str());
  }
}

}  // namespace quorvel::config
