#include "testkit/stand_in_win.h"

// after windows.h, which they need
#include <oleauto.h>

#include <string_view>
#include "testkit/process_start_win.h"

namespace quorvel::sheet {

namespace {

constexpr wchar_t kClassKey[] = L"Software\\Classes\\CLSID\\{00024500-0000-0000-C000-000000000046}";

// The library that describes the spreadsheet's three interfaces to the
// marshaller, as dispatch interfaces.
constexpr GUID kLibraryId = {
    0x6c1e2f10, 0x5a3b, 0x4b7c, {0x9a, 0x11, 0x52, 0x83, 0x44, 0x15, 0x66, 0x07}};
struct Described {
  const wchar_t* name;
  GUID iid;
};
constexpr Described kInterfaces[] = {
    {L"_Application", {0x000208D5, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}}},
    {L"_Workbook", {0x000208DA, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}}},
    {L"_Worksheet", {0x000208D8, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}}},
};

std::string Failed(const char* what, HRESULT hr) {
  char code[16];
  ::wsprintfA(code, "%08lx", static_cast<unsigned long>(hr));
  return std::string(what) + " failed: " + code;
}

template <typename T>
struct Released {
  T* p = nullptr;
  ~Released() {
    if (p != nullptr) p->Release();
  }
};

bool RegisterInterfaces(std::string* error) {
  static bool done = false;
  if (done) return true;
  wchar_t folder[MAX_PATH];
  ::GetTempPathW(MAX_PATH, folder);
  const std::wstring file = std::wstring(folder) + L"SheetStandIn.tlb";
  Released<ICreateTypeLib2> library;
  HRESULT hr = ::CreateTypeLib2(SYS_WIN64, file.c_str(), &library.p);
  if (FAILED(hr)) return *error = Failed("CreateTypeLib2", hr), false;
  library.p->SetGuid(kLibraryId);
  library.p->SetVersion(1, 0);
  library.p->SetName(const_cast<LPOLESTR>(L"SheetStandIn"));
  library.p->SetLcid(0);
  Released<ITypeLib> standard;
  hr = ::LoadRegTypeLib(IID_StdOle, 2, 0, 0, &standard.p);
  if (FAILED(hr)) return *error = Failed("LoadRegTypeLib(stdole)", hr), false;
  Released<ITypeInfo> dispatch;
  hr = standard.p->GetTypeInfoOfGuid(IID_IDispatch, &dispatch.p);
  if (FAILED(hr)) return *error = Failed("GetTypeInfoOfGuid(IDispatch)", hr), false;
  for (const Described& described : kInterfaces) {
    Released<ICreateTypeInfo> info;
    hr = library.p->CreateTypeInfo(const_cast<LPOLESTR>(described.name), TKIND_DISPATCH, &info.p);
    if (FAILED(hr)) return *error = Failed("CreateTypeInfo", hr), false;
    info.p->SetGuid(described.iid);
    info.p->SetTypeFlags(TYPEFLAG_FDISPATCHABLE);
    HREFTYPE base = 0;
    hr = info.p->AddRefTypeInfo(dispatch.p, &base);
    if (SUCCEEDED(hr)) hr = info.p->AddImplType(0, base);
    if (SUCCEEDED(hr)) hr = info.p->LayOut();
    if (FAILED(hr)) return *error = Failed("describing an interface", hr), false;
  }
  hr = library.p->SaveAllChanges();
  if (FAILED(hr)) return *error = Failed("SaveAllChanges", hr), false;
  Released<ITypeLib> registered;
  hr = ::LoadTypeLibEx(file.c_str(), REGKIND_REGISTER, &registered.p);
  if (FAILED(hr)) return *error = Failed("LoadTypeLibEx", hr), false;
  done = true;
  return true;
}

// Ends a server: asked to quit, so that it leaves COM's tables clean; by
// its handle when it does not.
void End(HANDLE process) {
  const std::wstring quit = L"SheetServer.quit." + std::to_wstring(::GetProcessId(process));
  const HANDLE event = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, quit.c_str());
  if (event != nullptr) {
    ::SetEvent(event);
    ::CloseHandle(event);
  }
  if (::WaitForSingleObject(process, kServerWaitMs / 3) == WAIT_OBJECT_0) return;
  ::TerminateProcess(process, 1);
  ::WaitForSingleObject(process, kServerWaitMs);
}

}  // namespace

std::wstring Wide(const std::string& utf8) {
  const int size =
      ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), size);
  return out;
}

std::wstring ServerPath() {
  wchar_t path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(/*hModule=*/nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  folder.resize(folder.rfind(L'\\') + 1);
  return folder + L"..\\..\\testkit\\SheetServer.exe";
}

std::wstring TempLog(const std::string& name) {
  wchar_t folder[MAX_PATH];
  ::GetTempPathW(MAX_PATH, folder);
  return std::wstring(folder) + Wide(name);
}

StandIn::StandIn(std::wstring server, std::wstring log)
    : server_(std::move(server)), log_(std::move(log)) {
  ::DeleteFileW(log_.c_str());
}

StandIn::~StandIn() {
  EndAll();
  Unregister();
}

std::wstring StandIn::CommandLine(const std::vector<std::wstring>& options) const {
  std::wstring line = L"\"" + server_ + L"\" --log \"" + log_ + L"\"";
  for (const std::wstring& option : options) line += L" \"" + option + L"\"";
  return line;
}

bool StandIn::Register(const std::vector<std::wstring>& options, std::string* error) {
  if (!RegisterInterfaces(error)) return false;
  HKEY key = nullptr;
  const std::wstring path = std::wstring(kClassKey) + L"\\LocalServer32";
  LONG rc = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, /*lpClass=*/nullptr, 0,
                              KEY_WRITE, /*lpSecurityAttributes=*/nullptr, &key, nullptr);
  if (rc != ERROR_SUCCESS) return *error = "RegCreateKeyEx failed: " + std::to_string(rc), false;
  const std::wstring command = CommandLine(options);
  rc = ::RegSetValueExW(key, /*lpValueName=*/nullptr, 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(command.c_str()),
                        static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
  ::RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return *error = "RegSetValueEx failed: " + std::to_string(rc), false;
  return true;
}

void StandIn::Unregister() {
  ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kClassKey);
}

bool StandIn::StartRunning(const std::vector<std::wstring>& options, std::string* error) {
  std::vector<std::wstring> all = options;
  all.insert(all.begin(), L"--running");
  std::wstring command = CommandLine(all);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!testing::StartProcess([&] {
        return ::CreateProcessW(server_.c_str(), command.data(), nullptr, nullptr, FALSE, 0,
                                nullptr, nullptr, &startup, &info);
      })) {
    *error = "CreateProcess(SheetServer.exe) failed: " + std::to_string(::GetLastError());
    return false;
  }
  ::CloseHandle(info.hThread);
  running_ = info.hProcess;
  const ULONGLONG limit = ::GetTickCount64() + kServerWaitMs;
  while (::GetTickCount64() < limit) {
    for (const std::string& line : Log()) {
      if (line == "ready") return true;
      if (line.starts_with("register failed")) return *error = line, false;
    }
    if (::WaitForSingleObject(running_, 20) == WAIT_OBJECT_0) break;
  }
  *error = "the running stand-in did not get ready";
  return false;
}

std::vector<std::string> StandIn::Log() const {
  std::vector<std::string> lines;
  // Shared: the server may be writing it.
  const HANDLE file = ::CreateFileW(log_.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    /*lpSecurityAttributes=*/nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, /*hTemplateFile=*/nullptr);
  if (file == INVALID_HANDLE_VALUE) return lines;
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
    text.append(buffer, got);
  ::CloseHandle(file);
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string::npos) break;  // a line being written
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::vector<std::string> StandIn::Calls() const {
  std::vector<std::string> calls;
  for (const std::string& line : Log()) {
    if (line.starts_with("pid ") || line.starts_with("gone ") || line == "ready" ||
        line == "exit") {
      continue;
    }
    calls.push_back(line);
  }
  return calls;
}

std::vector<std::string> StandIn::Gone() const {
  std::vector<std::string> gone;
  for (const std::string& line : Log()) {
    if (line.starts_with("gone ")) gone.push_back(line);
  }
  return gone;
}

std::vector<DWORD> StandIn::Pids() const {
  std::vector<DWORD> pids;
  for (const std::string& line : Log()) {
    if (line.starts_with("pid ")) pids.push_back(std::stoul(line.substr(4)));
  }
  return pids;
}

bool StandIn::Running(DWORD pid) {
  const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (process == nullptr) return false;
  const bool running = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  ::CloseHandle(process);
  return running;
}

bool StandIn::WaitAllEnded(DWORD timeout_ms) const {
  const ULONGLONG limit = ::GetTickCount64() + timeout_ms;
  for (const DWORD pid : Pids()) {
    const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (process == nullptr) continue;
    const ULONGLONG now = ::GetTickCount64();
    const DWORD left = now < limit ? static_cast<DWORD>(limit - now) : 0;
    const bool ended = ::WaitForSingleObject(process, left) == WAIT_OBJECT_0;
    ::CloseHandle(process);
    if (!ended) return false;
  }
  return true;
}

void StandIn::EndAll() {
  if (running_ != nullptr) {
    End(running_);
    ::CloseHandle(running_);
    running_ = nullptr;
  }
  for (const DWORD pid : Pids()) {
    const HANDLE process = ::OpenProcess(
        PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr) continue;
    End(process);
    ::CloseHandle(process);
  }
}

}  // namespace quorvel::sheet
