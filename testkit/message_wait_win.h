// Waiting on the calling thread while it keeps handling its window messages.
// A thread that waits without handling them stalls what talks through them:
// its DDE conversations, every DDE broadcast of the session, the updates of
// its hot links.
#pragma once

#include <windows.h>

#include <functional>

namespace quorvel::remote {

// Dispatches every window message waiting for this thread.
void PumpMessages();

// Handles messages until `done` holds, looking at it whenever a message or
// `wake` (if given) arrives and at least every 10 ms; gives up after
// `timeout_ms`. Returns done().
bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms, HANDLE wake = nullptr);

// Handles messages for `ms` milliseconds (INFINITE: for ever), or until
// `stop` (if given) is signalled; false when it was. Wakes only for a
// message or `stop`.
bool PumpFor(DWORD ms, HANDLE stop);

}  // namespace quorvel::remote
