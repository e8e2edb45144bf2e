#include "tools/dde_client/ddeml_win.h"

#include <dde.h>

#include "base/under_wine_win.h"

namespace quorvel::tools::dde {

const char* DmlErrorName(UINT error) {
  struct Entry {
    UINT code;
    const char* name;
  };
  static constexpr Entry kNames[] = {
      {DMLERR_NO_ERROR, "DMLERR_NO_ERROR"},
      {DMLERR_ADVACKTIMEOUT, "DMLERR_ADVACKTIMEOUT"},
      {DMLERR_BUSY, "DMLERR_BUSY"},
      {DMLERR_DATAACKTIMEOUT, "DMLERR_DATAACKTIMEOUT"},
      {DMLERR_DLL_NOT_INITIALIZED, "DMLERR_DLL_NOT_INITIALIZED"},
      {DMLERR_DLL_USAGE, "DMLERR_DLL_USAGE"},
      {DMLERR_EXECACKTIMEOUT, "DMLERR_EXECACKTIMEOUT"},
      {DMLERR_INVALIDPARAMETER, "DMLERR_INVALIDPARAMETER"},
      {DMLERR_LOW_MEMORY, "DMLERR_LOW_MEMORY"},
      {DMLERR_MEMORY_ERROR, "DMLERR_MEMORY_ERROR"},
      {DMLERR_NOTPROCESSED, "DMLERR_NOTPROCESSED"},
      {DMLERR_NO_CONV_ESTABLISHED, "DMLERR_NO_CONV_ESTABLISHED"},
      {DMLERR_POKEACKTIMEOUT, "DMLERR_POKEACKTIMEOUT"},
      {DMLERR_POSTMSG_FAILED, "DMLERR_POSTMSG_FAILED"},
      {DMLERR_REENTRANCY, "DMLERR_REENTRANCY"},
      {DMLERR_SERVER_DIED, "DMLERR_SERVER_DIED"},
      {DMLERR_SYS_ERROR, "DMLERR_SYS_ERROR"},
      {DMLERR_UNADVACKTIMEOUT, "DMLERR_UNADVACKTIMEOUT"},
      {DMLERR_UNFOUND_QUEUE_ID, "DMLERR_UNFOUND_QUEUE_ID"},
  };
  for (const Entry& entry : kNames) {
    if (entry.code == error) return entry.name;
  }
  return "DMLERR_UNKNOWN";
}

bool PumpMessages() {
  bool ack = false;
  MSG msg;
  while (::PeekMessageA(&msg, /*hWnd=*/nullptr, 0, 0, PM_REMOVE)) {
    ack = ack || msg.message == WM_DDE_ACK;
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  return ack;
}

void FinishRequest() {
  if (PumpMessages() || !UnderWine()) return;
  const ULONGLONG end = ::GetTickCount64() + kTrailingAckMs;
  for (ULONGLONG now = ::GetTickCount64(); now < end; now = ::GetTickCount64()) {
    ::MsgWaitForMultipleObjectsEx(0, /*pHandles=*/nullptr, static_cast<DWORD>(end - now),
                                  QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (PumpMessages()) return;
  }
}

bool Connected(HCONV conversation) {
  CONVINFO info{};
  info.cb = sizeof info;
  if (::DdeQueryConvInfo(conversation, QID_SYNC, &info) == 0) return false;
  return (info.wStatus & ST_CONNECTED) != 0 && ::IsWindow(info.hwndPartner);
}

}  // namespace quorvel::tools::dde
