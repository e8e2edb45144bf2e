// Under Wine, a DDE message that carries data to another process takes a
// copy of the data along, but the sender's memory object is never freed,
// although the message says the receiver releases it. A process has at most
// 65,536 movable memory handles, so a DDEML server under Wine stops serving
// data after that many updates to its clients: with ten linked clients, in
// minutes. On Windows the system frees the sender's object when it posts
// the message; nothing here is active there.
//
// Under Wine, while a PostedDataRelease lives on a thread, every movable
// DDE-shared block that DDEML allocates on it (DDEML's import of GlobalAlloc
// is pointed at a function that notes them) is freed when it ends: the
// posts are made by then and each receiver holds its own copy.
#pragma once

#include <windows.h>

#include <vector>

#include "base/unique_handle.h"

namespace quorvel::poll {

// A block of DDEML's that a PostedDataRelease noted: freed at its end unless
// DDEML has freed it already.
struct NotedBlockTraits {
  using pointer = HGLOBAL;
  static pointer Invalid() { return nullptr; }
  static void Close(pointer block);
};
using NotedBlock = UniqueHandle<NotedBlockTraits>;

class PostedDataRelease {
 public:
  // Points DDEML's GlobalAlloc at the noting function, once, under Wine
  // only. Returns whether noting works in this process.
  static bool Install();
  // Answers to requests are posted by DDEML's window of the conversation
  // while it handles WM_DDE_REQUEST: from now on each one from another
  // process is handled inside a PostedDataRelease. Nothing unless installed.
  static void WatchRequests(HWND server_conversation_window);
  // Blocks freed so far in this process.
  static unsigned long long Released();

  // Notes only when `active` (no conversation of the posts has its client
  // in this process: a post to this process carries the object itself).
  explicit PostedDataRelease(bool active);
  // Frees what was noted.
  ~PostedDataRelease();
  PostedDataRelease(const PostedDataRelease&) = delete;
  PostedDataRelease& operator=(const PostedDataRelease&) = delete;

  // While one lives, noting pauses on the thread: what the server's own
  // callback allocates (its answers) is its own to free.
  class Pause {
   public:
    Pause();
    ~Pause();
    Pause(const Pause&) = delete;
    Pause& operator=(const Pause&) = delete;

   private:
    std::vector<NotedBlock>* paused_;
  };

 private:
  std::vector<NotedBlock> noted_;
  std::vector<NotedBlock>* outer_;
};

}  // namespace quorvel::poll
