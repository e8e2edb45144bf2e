// A block of another process's memory, for the messages whose argument is a
// structure the receiving control fills (a tab's item, a tooltip's tool):
// the control writes into its own process only, so the structure and the
// buffers it points to must be there.
#pragma once

#include <windows.h>

namespace quorvel::testing {

template <typename Block>
class RemoteBlock {
 public:
  explicit RemoteBlock(HANDLE process)
      : process_(process),
        remote_(static_cast<Block*>(::VirtualAllocEx(process, /*lpAddress=*/nullptr, sizeof(Block),
                                                     MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE))) {}
  ~RemoteBlock() {
    if (remote_ != nullptr) ::VirtualFreeEx(process_, remote_, 0, MEM_RELEASE);
  }
  RemoteBlock(const RemoteBlock&) = delete;
  RemoteBlock& operator=(const RemoteBlock&) = delete;

  // Null when the block could not be had.
  Block* Remote() const { return remote_; }
  LPARAM Argument() const { return reinterpret_cast<LPARAM>(remote_); }

  bool Write(const Block& local) const {
    return remote_ != nullptr &&
           ::WriteProcessMemory(process_, remote_, &local, sizeof local, nullptr) != FALSE;
  }
  bool Read(Block& local) const {
    return remote_ != nullptr &&
           ::ReadProcessMemory(process_, remote_, &local, sizeof local, nullptr) != FALSE;
  }

 private:
  HANDLE process_;
  Block* remote_;
};

}  // namespace quorvel::testing
