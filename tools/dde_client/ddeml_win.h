// The DDEML handle owners under the tool's names, and the few helpers every
// DDEML caller of the tool needs.
#pragma once

#include <windows.h>
// After windows.h, whose types it uses.
#include <ddeml.h>

#include "base/ddeml_handles_win.h"

namespace quorvel::tools::dde {

// The owners the program's server uses too (base/ddeml_handles_win.h), under
// the names of this tool's code.
using DdeInstance = UniqueDdeInstance;
using DdeString = UniqueDdeString;
using DdeConversation = UniqueDdeConversation;
using DdeData = UniqueDdeData;

// "DMLERR_NOTPROCESSED" for 0x4009, "DMLERR_UNKNOWN" for a code not listed.
const char* DmlErrorName(UINT error);

// Whether the server is still in the conversation. Under Wine a server that
// ends it (DdeDisconnect, DdeUninitialize) brings the client no XTYP_DISCONNECT
// while no transaction is pending: the conversation only stops being
// connected. A server that died has no window left.
bool Connected(HCONV conversation);

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
