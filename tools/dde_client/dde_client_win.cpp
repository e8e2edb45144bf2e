// DdeClient: a console DDE client (ANSI DDEML) for users and for tests.
//
//   DdeClient.exe [OPTION...] COMMAND [COMMAND-OPTION...] ARG...
//     request [--repeat N] SERVICE TOPIC ITEM
//     advise [--seconds S] [--count K] SERVICE TOPIC ITEM...
//     poke [--no-nul] SERVICE TOPIC ITEM TEXT
//     execute [--no-nul] SERVICE TOPIC COMMAND
//     connect-cycles N SERVICE TOPIC
//   OPTION: --format N (default 1, CF_TEXT), --timeout MS (default 5000), --raw
//
// Output (stdout, lines ending in LF alone, flushed one by one); tests parse it:
//   request:         ITEM = "DATA"                 one line per answer
//   advise:          linked ITEM                   when the loop on ITEM started
//                    hh:mm:ss.mmm ITEM = "DATA"    every update, local time
//                    hh:mm:ss.mmm ITEM (no data)   an update without data
//                    unlinked ITEM                 when the loop stopped at the end
//                    disconnected                  the server ended the conversation
//                    updates: N                    last line, updates printed
//   poke:            poke: ok | poke: not processed
//   execute:         execute: ok | execute: not processed
//   connect-cycles:  cycles: N                     cycles completed
// DATA is the data's bytes escaped by Escape() (command_line.h): printable
// ASCII as is, \r \n \0 \\, and \xHH for any other byte; unless --raw, a run of
// trailing NULs shows as one \0. Failures go to stderr as
//   error: WHAT failed: DMLERR_NAME (0xHHHH)
// where WHAT is the call, e.g. DdeConnect(Srv, T) or XTYP_REQUEST(S1).
// Exit codes: 0 done, 1 DDEML setup failed (instance or string handle), 2 bad
// command line, 3 no
// conversation, 4 refused by the server, 5 no answer in time (or advise ended
// short of --count), 6 any other failure.
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tools/clock_text.h"
#include "tools/dde_client/command_line.h"
#include "tools/dde_client/ddeml_win.h"

namespace {

using namespace quorvel::tools::dde;

constexpr int kExitOk = 0;
constexpr int kExitSetup = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNoConversation = 3;
constexpr int kExitRefused = 4;
constexpr int kExitTimedOut = 5;
constexpr int kExitFailed = 6;

void PrintLine(std::FILE* stream, std::string_view line) {
  std::fwrite(line.data(), 1, line.size(), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
}

void ReportError(std::string_view what, UINT error) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%04X", error);
  PrintLine(stderr,
            "error: " + std::string(what) + " failed: " + DmlErrorName(error) + " (" + code + ")");
}

// The exit code of a failed transaction, by what the error says of the server.
int ExitCodeFor(UINT error) {
  switch (error) {
    case DMLERR_NOTPROCESSED:
    case DMLERR_BUSY:
      return kExitRefused;
    case DMLERR_ADVACKTIMEOUT:
    case DMLERR_DATAACKTIMEOUT:
    case DMLERR_EXECACKTIMEOUT:
    case DMLERR_POKEACKTIMEOUT:
    case DMLERR_UNADVACKTIMEOUT:
      return kExitTimedOut;
    default:
      return kExitFailed;
  }
}

std::string Call(std::string_view call, std::string_view argument) {
  return std::string(call) + "(" + Escape(argument) + ")";
}

// Copies the whole of a data handle, its size as DDEML reports it.
bool ReadData(DWORD instance, HDDEDATA data, std::string& bytes) {
  const DWORD size = ::DdeGetData(data, /*pDst=*/nullptr, 0, /*cbOff=*/0);
  bytes.assign(size, '\0');
  if (size == 0) return true;
  if (::DdeGetData(data, reinterpret_cast<LPBYTE>(bytes.data()), size, /*cbOff=*/0) == size)
    return true;
  ReportError("DdeGetData", ::DdeGetLastError(instance));
  return false;
}

std::string DataLine(std::string_view item, std::string_view bytes, bool raw) {
  return Escape(item) + " = \"" + Escape(raw ? bytes : TrimNulPadding(bytes)) + "\"";
}

// What the DDEML callback works on while advise runs. The callback has no
// context argument, hence one instance at file scope.
struct AdviseState {
  DWORD instance = 0;
  HCONV conversation = nullptr;
  std::vector<std::pair<std::string, HSZ>> items;
  bool raw = false;
  int count = -1;
  int updates = 0;
  bool printing = false;
  bool disconnected = false;
};
AdviseState* g_advise = nullptr;

// Ctrl-C and Ctrl-Break arrive on a thread of their own: they set the flag
// and wake the main thread's wait with a thread message.
std::atomic<bool> g_stop_requested{false};
DWORD g_main_thread = 0;

BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  g_stop_requested = true;
  ::PostThreadMessageA(g_main_thread, WM_NULL, 0, 0);
  return TRUE;
}

std::string ItemName(const AdviseState& state, HSZ hsz) {
  // The name as the user gave it: the server may know it in other letter case.
  for (const auto& [name, item] : state.items) {
    if (::DdeCmpStringHandles(item, hsz) == 0) return name;
  }
  char name[256] = {};
  ::DdeQueryStringA(state.instance, hsz, name, sizeof name, CP_WINANSI);
  return name;
}

HDDEDATA OnAdviseData(AdviseState& state, HCONV conversation, HSZ item, HDDEDATA data) {
  if (conversation != state.conversation) return reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED);
  // Past the end of the run an update is taken but not shown.
  if (!state.printing || (state.count > 0 && state.updates >= state.count))
    return reinterpret_cast<HDDEDATA>(DDE_FACK);
  const std::string stamp = quorvel::tools::ClockText();
  const std::string name = ItemName(state, item);
  std::string bytes;
  if (data == nullptr) {
    PrintLine(stdout, stamp + " " + Escape(name) + " (no data)");
  } else if (ReadData(state.instance, data, bytes)) {
    PrintLine(stdout, stamp + " " + DataLine(name, bytes, state.raw));
  } else {
    return reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED);
  }
  ++state.updates;
  return reinterpret_cast<HDDEDATA>(DDE_FACK);
}

HDDEDATA CALLBACK OnDdeEvent(UINT type, UINT /*format*/, HCONV conversation, HSZ /*hsz1*/, HSZ hsz2,
                             HDDEDATA data, ULONG_PTR /*data1*/, ULONG_PTR /*data2*/) noexcept {
  // DDEML's frames lie between here and the tool's code: nothing may unwind
  // through them, so a failure ends as "not processed".
  try {
    AdviseState* const state = g_advise;
    if (state == nullptr) return nullptr;
    if (type == XTYP_ADVDATA) return OnAdviseData(*state, conversation, hsz2, data);
    if (type == XTYP_DISCONNECT && conversation == state->conversation) state->disconnected = true;
    return nullptr;
  } catch (...) {
    return type == XTYP_ADVDATA ? reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED) : nullptr;
  }
}

bool MakeString(DWORD instance, const std::string& text, DdeString& out) {
  const HSZ hsz = ::DdeCreateStringHandleA(instance, text.c_str(), CP_WINANSI);
  if (hsz == nullptr) {
    const UINT error = ::DdeGetLastError(instance);
    ReportError(Call("DdeCreateStringHandleA", text), error);
    return false;
  }
  out.reset({instance, hsz});
  return true;
}

// The service and topic names, and a conversation on them.
struct Session {
  DdeString service;
  DdeString topic;
  DdeConversation conversation;
};

// Returns kExitOk, or the exit code after reporting the failure.
int Connect(DWORD instance, const Options& options, Session& session) {
  if (!session.service && !MakeString(instance, options.service, session.service))
    return kExitSetup;
  if (!session.topic && !MakeString(instance, options.topic, session.topic)) return kExitSetup;
  const HCONV conversation =
      ::DdeConnect(instance, session.service.get().hsz, session.topic.get().hsz, /*pCC=*/nullptr);
  const UINT error = conversation ? DMLERR_NO_ERROR : ::DdeGetLastError(instance);
  session.conversation.reset(conversation);
  PumpMessages();
  if (!conversation) {
    ReportError("DdeConnect(" + Escape(options.service) + ", " + Escape(options.topic) + ")",
                error);
    return kExitNoConversation;
  }
  return kExitOk;
}

int RunRequest(DWORD instance, const Options& options) {
  Session session;
  DdeString item;
  if (!MakeString(instance, options.items[0], item)) return kExitSetup;
  if (const int rc = Connect(instance, options, session); rc != kExitOk) return rc;
  for (int i = 0; i < options.repeat; ++i) {
    DWORD result = 0;
    const HDDEDATA answer = ::DdeClientTransaction(
        /*pData=*/nullptr, /*cbData=*/0, session.conversation.get(), item.get().hsz, options.format,
        XTYP_REQUEST, options.timeout_ms, &result);
    const UINT error = answer ? DMLERR_NO_ERROR : ::DdeGetLastError(instance);
    const DdeData owned(answer);
    if (!answer) {
      PumpMessages();
      ReportError(Call("XTYP_REQUEST", options.items[0]), error);
      return ExitCodeFor(error);
    }
    FinishRequest();
    std::string bytes;
    if (!ReadData(instance, answer, bytes)) return kExitFailed;
    PrintLine(stdout, DataLine(options.items[0], bytes, options.raw));
  }
  return kExitOk;
}

// Poke and execute: data sent, and an acknowledgement back.
int RunSend(DWORD instance, const Options& options) {
  const bool poke = options.command == Command::kPoke;
  const std::string_view name = poke ? "poke" : "execute";
  const std::string what = poke ? Call("XTYP_POKE", options.items[0]) : std::string("XTYP_EXECUTE");
  Session session;
  DdeString item;
  if (poke && !MakeString(instance, options.items[0], item)) return kExitSetup;
  if (const int rc = Connect(instance, options, session); rc != kExitOk) return rc;

  std::string bytes = options.data;
  if (options.nul) bytes.push_back('\0');
  DWORD result = 0;
  // A poke or execute answers TRUE, not a data handle: nothing to free.
  const HDDEDATA answer = ::DdeClientTransaction(
      reinterpret_cast<LPBYTE>(bytes.data()), static_cast<DWORD>(bytes.size()),
      session.conversation.get(), poke ? item.get().hsz : /*hszItem=*/nullptr,
      poke ? options.format : /*wFmt=*/0, poke ? XTYP_POKE : XTYP_EXECUTE, options.timeout_ms,
      &result);
  const UINT error = answer ? DMLERR_NO_ERROR : ::DdeGetLastError(instance);
  PumpMessages();
  if (answer && (LOWORD(result) & DDE_FACK) != 0) {
    PrintLine(stdout, std::string(name) + ": ok");
    return kExitOk;
  }
  if (answer) {
    char flags[16];
    std::snprintf(flags, sizeof flags, "0x%04X", LOWORD(result));
    PrintLine(stderr,
              "error: " + what + " failed: answered without DDE_FACK (flags " + flags + ")");
  } else {
    ReportError(what, error);
  }
  if (answer || error == DMLERR_NOTPROCESSED) {
    PrintLine(stdout, std::string(name) + ": not processed");
    return kExitRefused;
  }
  return ExitCodeFor(error);
}

// Stops the loops linked so far; returns the exit code of the first failure.
int StopLinks(DWORD instance, const Options& options, Session& session,
              const std::vector<DdeString>& items, std::size_t linked) {
  int rc = kExitOk;
  for (std::size_t i = 0; i < linked; ++i) {
    DWORD result = 0;
    // The format names the link: one item may be linked in several formats.
    const HDDEDATA answer = ::DdeClientTransaction(
        /*pData=*/nullptr, /*cbData=*/0, session.conversation.get(), items[i].get().hsz,
        options.format, XTYP_ADVSTOP, options.timeout_ms, &result);
    const UINT error = answer ? DMLERR_NO_ERROR : ::DdeGetLastError(instance);
    PumpMessages();
    if (answer) {
      PrintLine(stdout, "unlinked " + Escape(options.items[i]));
    } else {
      ReportError(Call("XTYP_ADVSTOP", options.items[i]), error);
      if (rc == kExitOk) rc = ExitCodeFor(error);
    }
  }
  return rc;
}


// Messages are handled (and with them the updates) until the run ends.
void WaitForUpdates(const Options& options, AdviseState& state) {
  // How often the conversation is looked at when no message comes.
  constexpr DWORD kCheckMs = 250;
  const bool timed = options.seconds > 0;
  const ULONGLONG deadline =
      timed ? ::GetTickCount64() + static_cast<ULONGLONG>(std::llround(options.seconds * 1000)) : 0;
  for (;;) {
    PumpMessages();
    if (g_stop_requested || state.disconnected) return;
    if (options.count > 0 && state.updates >= options.count) return;
    if (!Connected(state.conversation)) {
      state.disconnected = true;
      return;
    }
    DWORD wait = kCheckMs;
    if (timed) {
      const ULONGLONG now = ::GetTickCount64();
      if (now >= deadline) return;
      wait = static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, kCheckMs));
    }
    ::MsgWaitForMultipleObjectsEx(0, /*pHandles=*/nullptr, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

int RunAdvise(DWORD instance, const Options& options) {
  Session session;
  std::vector<DdeString> items(options.items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (!MakeString(instance, options.items[i], items[i])) return kExitSetup;
  }
  if (const int rc = Connect(instance, options, session); rc != kExitOk) return rc;

  AdviseState state;
  state.instance = instance;
  state.conversation = session.conversation.get();
  state.raw = options.raw;
  state.count = options.count;
  for (std::size_t i = 0; i < items.size(); ++i)
    state.items.emplace_back(options.items[i], items[i].get().hsz);
  g_advise = &state;
  struct Unhook {
    ~Unhook() { g_advise = nullptr; }
  } unhook;
  g_main_thread = ::GetCurrentThreadId();
  ::SetConsoleCtrlHandler(&OnConsoleControl, TRUE);

  // Updates are printed from the first link on, also while the later links
  // are being made.
  state.printing = true;
  int rc = kExitOk;
  std::size_t linked = 0;
  for (; linked < items.size(); ++linked) {
    DWORD result = 0;
    const HDDEDATA answer = ::DdeClientTransaction(
        /*pData=*/nullptr, /*cbData=*/0, session.conversation.get(), items[linked].get().hsz,
        options.format, XTYP_ADVSTART, options.timeout_ms, &result);
    const UINT error = answer ? DMLERR_NO_ERROR : ::DdeGetLastError(instance);
    // "linked" comes before any update of the item, which the pump may print.
    if (answer) PrintLine(stdout, "linked " + Escape(options.items[linked]));
    PumpMessages();
    if (!answer) {
      ReportError(Call("XTYP_ADVSTART", options.items[linked]), error);
      rc = ExitCodeFor(error);
      break;
    }
  }
  if (rc == kExitOk) WaitForUpdates(options, state);
  state.printing = false;

  if (state.disconnected) {
    // The links went with the conversation. Its handle is left to the owner,
    // whose DdeDisconnect frees what DDEML still holds (or fails harmlessly).
    PrintLine(stdout, "disconnected");
    PrintLine(stderr, "error: the server ended the conversation");
    if (rc == kExitOk) rc = kExitFailed;
  } else {
    const int stopped = StopLinks(instance, options, session, items, linked);
    if (rc == kExitOk) rc = stopped;
    if (!::DdeDisconnect(session.conversation.release())) {
      ReportError("DdeDisconnect", ::DdeGetLastError(instance));
      if (rc == kExitOk) rc = kExitFailed;
    }
    PumpMessages();
  }
  PrintLine(stdout, "updates: " + std::to_string(state.updates));
  if (rc == kExitOk && options.count > 0 && state.updates < options.count) {
    PrintLine(stderr, "error: advise ended after " + std::to_string(state.updates) + " of " +
                          std::to_string(options.count) + " updates");
    rc = kExitTimedOut;
  }
  return rc;
}

int RunConnectCycles(DWORD instance, const Options& options) {
  Session session;
  int done = 0;
  int rc = kExitOk;
  for (; done < options.cycles; ++done) {
    rc = Connect(instance, options, session);
    if (rc != kExitOk) break;
    if (!::DdeDisconnect(session.conversation.release())) {
      ReportError("DdeDisconnect", ::DdeGetLastError(instance));
      rc = kExitFailed;
      break;
    }
    PumpMessages();
  }
  PrintLine(stdout, "cycles: " + std::to_string(done));
  return rc;
}

}  // namespace

int main(int argc, char** argv) {
  // Lines end in LF alone, so that tests read the same bytes on every system.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);

  if (argc < 2) {
    std::fwrite(UsageText().data(), 1, UsageText().size(), stderr);
    return kExitUsage;
  }
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  const Parsed parsed = ParseCommandLine(args);
  if (!parsed.ok) {
    PrintLine(stderr, parsed.error);
    return kExitUsage;
  }
  const Options& options = parsed.options;
  if (options.command == Command::kHelp) {
    std::fwrite(UsageText().data(), 1, UsageText().size(), stdout);
    return kExitOk;
  }

  DWORD id = 0;
  const UINT started = ::DdeInitializeA(
      &id, &OnDdeEvent, APPCMD_CLIENTONLY | CBF_SKIP_REGISTRATIONS | CBF_SKIP_UNREGISTRATIONS,
      /*ulRes=*/0);
  if (started != DMLERR_NO_ERROR) {
    ReportError("DdeInitializeA", started);
    return kExitSetup;
  }
  const DdeInstance instance(id);
  switch (options.command) {
    case Command::kRequest:
      return RunRequest(instance.get(), options);
    case Command::kAdvise:
      return RunAdvise(instance.get(), options);
    case Command::kPoke:
    case Command::kExecute:
      return RunSend(instance.get(), options);
    case Command::kConnectCycles:
      return RunConnectCycles(instance.get(), options);
    case Command::kHelp:
      break;
  }
  return kExitOk;
}
