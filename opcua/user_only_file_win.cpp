#include "opcua/user_only_file_win.h"

#include <windows.h>

#include <aclapi.h>

#include <vector>

#include "base/kernel_handle_win.h"
#include "base/local_memory_win.h"

namespace quorvel::opcua {

namespace {

// The SID of the user this process runs as, in `buffer`.
PSID CurrentUser(std::vector<BYTE>& buffer) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return nullptr;
  const UniqueKernelHandle owner(token);
  DWORD size = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  buffer.resize(size);
  if (size == 0 || !::GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
    return nullptr;
  }
  return reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
}

}  // namespace

bool WriteUserOnlyFile(const std::filesystem::path& path, std::string_view bytes,
                       std::string* error) {
  std::vector<BYTE> user_buffer;
  const PSID user = CurrentUser(user_buffer);
  if (user == nullptr) return *error = "the user of the process is unknown", false;
  EXPLICIT_ACCESS_W access{};
  access.grfAccessPermissions = GENERIC_ALL;
  access.grfAccessMode = SET_ACCESS;
  access.grfInheritance = NO_INHERITANCE;
  access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  access.Trustee.TrusteeType = TRUSTEE_IS_USER;
  access.Trustee.ptstrName = static_cast<LPWSTR>(user);
  PACL acl = nullptr;
  if (::SetEntriesInAclW(1, &access, nullptr, &acl) != ERROR_SUCCESS) {
    return *error = "no access list could be made", false;
  }
  const UniqueLocalMemory acl_owner(acl);
  SECURITY_DESCRIPTOR descriptor{};
  ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  // Protected: nothing inherited from the folder widens it.
  ::SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE);
  ::SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
  const UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, &attributes, CREATE_NEW,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return *error = "cannot create the private key's file", false;
  DWORD written = 0;
  if (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
      written != bytes.size()) {
    return *error = "cannot write the private key's file", false;
  }
  return true;
}

}  // namespace quorvel::opcua
