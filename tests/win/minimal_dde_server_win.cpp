// MinimalDdeServer.exe: the least a DDEML server can be, to tell what DDEML
// itself keeps per conversation from what our server keeps. Service
// MinimalDdeServer, topic ZORVIK; it accepts the connection and nothing else
// (no item, no data, no record of the conversation).
//
// "ready" on stdout once the service is registered; the end of stdin ends
// it, with exit code 0. None of our code is linked in: whatever it keeps per
// conversation is DDEML's and the system's.
#include <windows.h>
// ddeml.h needs windows.h first.
#include <ddeml.h>

namespace {

HSZ g_topic = nullptr;

HDDEDATA CALLBACK Callback(UINT type, UINT /*format*/, HCONV /*conversation*/, HSZ hsz1,
                           HSZ /*hsz2*/, HDDEDATA /*data*/, ULONG_PTR /*data1*/,
                           ULONG_PTR /*data2*/) {
  // XTYP_CONNECT: hsz1 is the topic. DDEML has matched the service already.
  if (type == XTYP_CONNECT) {
    return reinterpret_cast<HDDEDATA>(
        static_cast<ULONG_PTR>(::DdeCmpStringHandles(hsz1, g_topic) == 0 ? TRUE : FALSE));
  }
  return nullptr;
}

// Reads stdin to its end, then ends the main thread's message loop.
DWORD WINAPI WaitForEndOfInput(LPVOID main_thread) {
  char buffer[256];
  DWORD received = 0;
  const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  while (::ReadFile(input, buffer, sizeof buffer, &received, /*lpOverlapped=*/nullptr) &&
         received > 0) {
  }
  ::PostThreadMessageA(static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(main_thread)), WM_QUIT, 0, 0);
  return 0;
}

void Say(const char* line) {
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), line, ::lstrlenA(line), &written,
              /*lpOverlapped=*/nullptr);
}

}  // namespace

int main() {
  DWORD instance = 0;
  if (::DdeInitializeA(&instance, &Callback, APPCLASS_STANDARD, 0) != DMLERR_NO_ERROR) {
    Say("error: DdeInitialize failed\n");
    return 1;
  }
  const HSZ service = ::DdeCreateStringHandleA(instance, "MinimalDdeServer", CP_WINANSI);
  g_topic = ::DdeCreateStringHandleA(instance, "ZORVIK", CP_WINANSI);
  if (service == nullptr || g_topic == nullptr ||
      ::DdeNameService(instance, service, /*hsz2=*/nullptr, DNS_REGISTER) == nullptr) {
    Say("error: the service was not registered\n");
    ::DdeUninitialize(instance);
    return 1;
  }

  // The thread's message queue exists before the reader may post to it.
  MSG msg;
  ::PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  const HANDLE reader =
      ::CreateThread(/*lpThreadAttributes=*/nullptr, 0, &WaitForEndOfInput,
                     reinterpret_cast<LPVOID>(static_cast<ULONG_PTR>(::GetCurrentThreadId())), 0,
                     /*lpThreadId=*/nullptr);
  if (reader == nullptr) {
    Say("error: CreateThread failed\n");
    ::DdeUninitialize(instance);
    return 1;
  }
  Say("ready\n");

  while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }

  ::DdeNameService(instance, service, /*hsz2=*/nullptr, DNS_UNREGISTER);
  ::DdeFreeStringHandle(instance, g_topic);
  ::DdeFreeStringHandle(instance, service);
  ::DdeUninitialize(instance);
  ::WaitForSingleObject(reader, INFINITE);
  ::CloseHandle(reader);
  return 0;
}
