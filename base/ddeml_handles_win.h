// Owners of DDEML handles, for the program's DDE server and the DDE client
// tool alike: the instance, string handles, conversations and
// application-owned data.
#pragma once

#include <windows.h>
// after windows.h, which it needs
#include <ddeml.h>

#include "base/unique_handle.h"

namespace quorvel {

// The thread's DDEML instance; every handle below belongs to one and must
// go before it.
using UniqueDdeInstance = UniqueHandle<ClosedBy<DWORD, ::DdeUninitialize>>;

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
using UniqueDdeString = UniqueHandle<DdeStringTraits>;

// A client's conversation, ended by disconnecting it.
using UniqueDdeConversation = UniqueHandle<ClosedBy<HCONV, ::DdeDisconnect>>;

// Only data the application owns (HDATA_APPOWNED, or the answer of a
// synchronous request); data handed to a callback is DDEML's.
using UniqueDdeData = UniqueHandle<ClosedBy<HDDEDATA, ::DdeFreeDataHandle>>;

}  // namespace quorvel
