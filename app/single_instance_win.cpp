#include "app/single_instance_win.h"

#include "base/cp1251.h"
#include "base/file_name.h"

namespace quorvel::app {

namespace {

// Mutex names compare with case, atom names without: the owner is named
// after the lower-cased file name.
std::string OwnerName(std::string_view name) {
  std::string owner = "Quorvel.instance.";
  for (const char c : name) owner += cp1251::ToLower(c);
  return owner;
}

}  // namespace

std::string RegistrationName(std::string_view executable_path) {
  return std::string(FileNameOf(executable_path));
}

SingleInstance::SingleInstance(std::string name) : name_(std::move(name)) {}

bool SingleInstance::AlreadyRunning() {
  // Made or opened in one step, so two copies started at the same instant
  // cannot both find the name free.
  UniqueKernelHandle owner(::CreateMutexA(/*lpMutexAttributes=*/nullptr, /*bInitialOwner=*/FALSE,
                                          OwnerName(name_).c_str()));
  const DWORD error = ::GetLastError();
  if (owner && error == ERROR_ALREADY_EXISTS) return true;
  if (!owner && ::GlobalFindAtomA(name_.c_str()) != 0)
    return true;  // no owner to ask: the sign holds
  // The atom is the published sign; one left by a copy that ended without
  // releasing it is taken over as it is.
  if (::GlobalFindAtomA(name_.c_str()) == 0) ::GlobalAddAtomA(name_.c_str());
  owner_ = std::move(owner);
  return false;
}

void SingleInstance::Release() {
  if (!owner_) return;
  ::GlobalDeleteAtom(::GlobalFindAtomA(name_.c_str()));
  owner_.reset();
}

}  // namespace quorvel::app
