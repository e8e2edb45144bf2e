// Owners of the DDEML handles, on the one traits-based owner of the project,
// and the few helpers every DDEML caller of the tool needs.
#pragma once

#include <windows.h>
// After windows.h, whose types it uses.
#include <ddeml.h>

#include "base/unique_handle.h"

namespace quorvel::tools::dde {

// The DDEML instance of the thread; everything else belongs to it and must be
// released before it.
struct DdeInstanceTraits {
  using pointer = DWORD;
  static pointer Invalid() { return 0; }
  static void Close(pointer instance) { ::DdeUninitialize(instance); }
};
using DdeInstance = UniqueHandle<DdeInstanceTraits>;

// A string handle is freed through its instance, so the owner holds both.
struct DdeStringTraits {
  struct pointer {
    DWORD instance = 0;
    HSZ hsz = nullptr;
    bool operator==(const pointer&) const = default;
  };
  static pointer Invalid() { return {}; }
  static void Close(pointer string) { ::DdeFreeStringHandle(string.instance, string.hsz); }
};
using DdeString = UniqueHandle<DdeStringTraits>;

struct DdeConversationTraits {
  using pointer = HCONV;
  static pointer Invalid() { return nullptr; }
  static void Close(pointer conversation) { ::DdeDisconnect(conversation); }
};
using DdeConversation = UniqueHandle<DdeConversationTraits>;

// Only for data the application owns: the answer of a synchronous request.
// Data handed to the callback belongs to DDEML.
struct DdeDataTraits {
  using pointer = HDDEDATA;
  static pointer Invalid() { return nullptr; }
  static void Close(pointer data) { ::DdeFreeDataHandle(data); }
};
using DdeData = UniqueHandle<DdeDataTraits>;

// "DMLERR_NOTPROCESSED" for 0x4009, "DMLERR_UNKNOWN" for a code not listed.
const char* DmlErrorName(UINT error);

// Dispatches every message waiting for the thread. DDEML talks through
// window messages, which must not stay queued from one transaction to the
// next (see FinishRequest), so this runs after every transaction. Returns
// whether a WM_DDE_ACK was among the messages.
bool PumpMessages();

// Ends a successful XTYP_REQUEST. Under Wine the server's DDEML posts a
// positive WM_DDE_ACK after the data that answers a request, and it may come
// a moment after the data: left in the queue, the next transaction would take
// it for its own answer and fail with DMLERR_NOTPROCESSED. So under Wine this
// waits (briefly, at most kTrailingAckMs) until that ACK has been handled;
// elsewhere it only pumps.
void FinishRequest();
inline constexpr DWORD kTrailingAckMs = 250;

}  // namespace quorvel::tools::dde
