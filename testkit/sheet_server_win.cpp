// SheetServer.exe: a stand-in for the spreadsheet application's automation
// server, for the tests of the workbook launch. It serves the spreadsheet's
// class as a local server (started by COM with -Embedding) or, with
// --running, as an instance that runs already and is found in the running
// object table. Every call it receives is one line of its log (UTF-8):
//   pid 1234 embedding|running        its start
//   ready                             its class or object is registered
//   qi _Workbook [refused]            an interface of the spreadsheet asked for
//   get Workbooks                     a property read (with its value, if simple)
//   put Visible true                  a property written
//   call Add Template="C:\a.xls"      a method called, with its argument
//   get Item "Лист1"                  a parameterised property read
//   gone _Workbook                    the last reference to such an object went
//   exit
// Options:
//   --log FILE            the log (appended to; required)
//   --running             register in the running object table and stay
//   --window-state N      the WindowState it starts in (-4143 by default)
//   --fail MEMBER         that member's calls fail with an exception and do
//                         nothing ("fail MEMBER" in the log) ...
//   --description TEXT    ... carrying this text (\r, \n, \t, \\ escapes);
//                         without it the exception has none
//   --scode HEX           ... and this code (800a03ec by default)
//   --refuse IID_NAME     QueryInterface refuses _Application, _Workbook
//                         or _Worksheet
//   --sheet NAME          the one sheet of a new workbook ("Лист1")
//   --no-workbook-object  Add returns an empty value instead of a workbook
//   --linger-ms N         how long a server started by COM stays after its
//                         last object went, unless it was made visible
//   --max-seconds N       ends itself after that long whatever happens
// The event "SheetServer.quit.<pid>" ends it as well.
#include <windows.h>
// after windows.h, which it needs
#include <oleauto.h>
#include <shellapi.h>

#include <cwchar>
#include <cwctype>
#include <string>
#include <string_view>
#include <vector>

#include "tools/cli_options.h"

namespace {

constexpr CLSID kApplicationClsid = {
    0x00024500, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kApplicationIid = {
    0x000208D5, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kWorkbookIid = {
    0x000208DA, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kWorksheetIid = {
    0x000208D8, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

constexpr long kNormal = -4143;

struct Options {
  std::wstring log;
  bool running = false;
  bool embedded = false;
  long window_state = kNormal;
  std::wstring fail;
  bool has_description = false;
  std::wstring description;
  HRESULT scode = static_cast<HRESULT>(0x800A03EC);
  std::wstring refuse;
  std::wstring sheet = L"Лист1";
  bool no_workbook_object = false;
  UINT linger_ms = 500;
  UINT max_seconds = 300;
};

Options g_options;
LONG g_objects = 0;  // live objects of the server
DWORD g_main_thread = 0;
bool g_visible = false;

void Log(const std::wstring& line) {
  if (g_options.log.empty()) return;
  std::wstring text = line + L"\n";
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
  // Opened for each line, shared, so the test reads it while this runs.
  const HANDLE file = ::CreateFileW(g_options.log.c_str(), FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    /*lpSecurityAttributes=*/nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, /*hTemplateFile=*/nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(file);
}

std::wstring Unescape(const std::wstring& text) {
  std::wstring out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != L'\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const wchar_t next = text[++i];
    out += next == L'r' ? L'\r' : next == L'n' ? L'\n' : next == L't' ? L'\t' : next;
  }
  return out;
}

// Variants as the log shows them.
std::wstring Shown(const VARIANT& value) {
  switch (value.vt) {
    case VT_BSTR:
      return L"\"" + std::wstring(value.bstrVal ? value.bstrVal : L"") + L"\"";
    case VT_BOOL:
      return value.boolVal ? L"true" : L"false";
    case VT_I4:
      return std::to_wstring(value.lVal);
    case VT_I2:
      return std::to_wstring(value.iVal);
    case VT_EMPTY:
      return L"<empty>";
    default:
      return L"<vt " + std::to_wstring(value.vt) + L">";
  }
}

void ObjectGone();

// One automation object: IUnknown, IDispatch and optionally one of the
// spreadsheet's interfaces; members by name, called through Invoke.
class Object : public IDispatch {
 public:
  Object(const IID* iid, const wchar_t* iid_name, std::vector<std::wstring> members)
      : iid_(iid), iid_name_(iid_name), members_(std::move(members)) {
    ::InterlockedIncrement(&g_objects);
  }
  virtual ~Object() {
    if (iid_ != nullptr) Log(L"gone " + std::wstring(iid_name_));
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDispatch) {
      *out = static_cast<IDispatch*>(this);
    } else if (iid_ != nullptr && iid == *iid_) {
      const bool refused = g_options.refuse == iid_name_;
      Log(L"qi " + std::wstring(iid_name_) + (refused ? L" refused" : L""));
      if (refused) return E_NOINTERFACE;
      *out = static_cast<IDispatch*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ::InterlockedIncrement(&references_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = ::InterlockedDecrement(&references_);
    if (left == 0) {
      delete this;
      ObjectGone();
    }
    return left;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override {
    return DISP_E_BADINDEX;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    if (names == nullptr || ids == nullptr || count == 0) return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    for (std::size_t m = 0; m < members_.size(); ++m) {
      if (::_wcsicmp(members_[m].c_str(), names[0]) == 0) {
        ids[0] = static_cast<DISPID>(m + 1);
        return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
      }
    }
    Log(L"unknown " + std::wstring(names[0]));
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD kind, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception, UINT*) override {
    if (id < 1 || static_cast<std::size_t>(id) > members_.size()) return DISP_E_MEMBERNOTFOUND;
    if (params == nullptr) return E_INVALIDARG;
    try {
      const std::wstring& name = members_[static_cast<std::size_t>(id - 1)];
      const bool put = (kind & DISPATCH_PROPERTYPUT) != 0;
      if (put && (params->cArgs != 1 || params->cNamedArgs != 1 ||
                  params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)) {
        return DISP_E_PARAMNOTOPTIONAL;
      }
      if (!put && params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
      const VARIANT* argument = params->cArgs > 0 ? &params->rgvarg[params->cArgs - 1] : nullptr;
      if (name != g_options.fail) return Member(name, kind, argument, result);
      // As a failing call of the real application: nothing done, an exception.
      Log(L"fail " + name);
      if (exception != nullptr) {
        *exception = EXCEPINFO{};
        exception->bstrSource = ::SysAllocString(L"SheetServer");
        if (g_options.has_description)
          exception->bstrDescription = ::SysAllocString(g_options.description.c_str());
        exception->scode = g_options.scode;
      }
      return DISP_E_EXCEPTION;
    } catch (...) {
      return E_UNEXPECTED;
    }
  }

 protected:
  // Logs and answers one call; DISP_E_MEMBERNOTFOUND for a call of the
  // wrong kind (a get of a method, a put of a method, ...).
  virtual HRESULT Member(const std::wstring& name, WORD kind, const VARIANT* argument,
                         VARIANT* result) = 0;

  static void Return(VARIANT* result, IDispatch* object) {
    if (result == nullptr) {
      object->Release();
      return;
    }
    result->vt = VT_DISPATCH;
    result->pdispVal = object;
  }

 private:
  LONG references_ = 1;
  const IID* iid_;
  const wchar_t* iid_name_;
  std::vector<std::wstring> members_;
};

class Worksheet final : public Object {
 public:
  explicit Worksheet(std::wstring name)
      : Object(&kWorksheetIid, L"_Worksheet", {L"Name"}), name_(std::move(name)) {}

 protected:
  HRESULT Member(const std::wstring&, WORD kind, const VARIANT*, VARIANT* result) override {
    if (!(kind & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
    Log(L"get Name");
    if (result != nullptr) {
      result->vt = VT_BSTR;
      result->bstrVal = ::SysAllocString(name_.c_str());
    }
    return S_OK;
  }

 private:
  std::wstring name_;
};

class Sheets final : public Object {
 public:
  Sheets() : Object(nullptr, L"", {L"Item"}) {}

 protected:
  HRESULT Member(const std::wstring&, WORD kind, const VARIANT* argument,
                 VARIANT* result) override {
    if (!(kind & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
    if (argument == nullptr) return DISP_E_BADPARAMCOUNT;
    Log(L"get Item " + Shown(*argument));
    const bool named = argument->vt == VT_BSTR && argument->bstrVal != nullptr &&
                       g_options.sheet == argument->bstrVal;
    const bool first = argument->vt == VT_I4 && argument->lVal == 1;
    if (!named && !first) return DISP_E_BADINDEX;
    Return(result, static_cast<IDispatch*>(new Worksheet(g_options.sheet)));
    return S_OK;
  }
};

class Workbook final : public Object {
 public:
  Workbook() : Object(&kWorkbookIid, L"_Workbook", {L"Worksheets", L"Sheets"}) {}

 protected:
  HRESULT Member(const std::wstring& name, WORD kind, const VARIANT*, VARIANT* result) override {
    if (!(kind & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
    Log(L"get " + name);
    Return(result, static_cast<IDispatch*>(new Sheets));
    return S_OK;
  }
};

class Workbooks final : public Object {
 public:
  Workbooks() : Object(nullptr, L"", {L"Add"}) {}

 protected:
  HRESULT Member(const std::wstring&, WORD kind, const VARIANT* argument,
                 VARIANT* result) override {
    if (!(kind & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    Log(L"call Add Template=" + (argument ? Shown(*argument) : std::wstring(L"<none>")));
    if (!g_options.no_workbook_object) Return(result, static_cast<IDispatch*>(new Workbook));
    return S_OK;
  }
};

class Application final : public Object {
 public:
  Application()
      : Object(&kApplicationIid, L"_Application",
               {L"Workbooks", L"Visible", L"WindowState", L"ScreenUpdating", L"DisplayAlerts"}),
        window_state_(g_options.window_state) {}

 protected:
  HRESULT Member(const std::wstring& name, WORD kind, const VARIANT* argument,
                 VARIANT* result) override {
    if (name == L"Workbooks") {
      if (!(kind & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
      Log(L"get Workbooks");
      Return(result, static_cast<IDispatch*>(new Workbooks));
      return S_OK;
    }
    if (name == L"WindowState")
      return Property(name, kind, argument, result, VT_I4, &window_state_);
    bool* flag = name == L"Visible"          ? &g_visible
                 : name == L"ScreenUpdating" ? &screen_updating_
                                             : &display_alerts_;
    VARIANT_BOOL value = *flag ? VARIANT_TRUE : VARIANT_FALSE;
    const HRESULT hr = Property(name, kind, argument, result, VT_BOOL, &value);
    *flag = value != VARIANT_FALSE;
    return hr;
  }

 private:
  template <typename T>
  static HRESULT Property(const std::wstring& name, WORD kind, const VARIANT* argument,
                          VARIANT* result, VARTYPE type, T* value) {
    if (kind & DISPATCH_PROPERTYPUT) {
      VARIANT converted;
      ::VariantInit(&converted);
      if (FAILED(::VariantChangeType(&converted, const_cast<VARIANT*>(argument), 0, type)))
        return DISP_E_TYPEMISMATCH;
      *value = type == VT_BOOL ? static_cast<T>(converted.boolVal) : static_cast<T>(converted.lVal);
      Log(L"put " + name + L" " + Shown(converted));
      return S_OK;
    }
    if (!(kind & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
    VARIANT current;
    ::VariantInit(&current);
    current.vt = type;
    if (type == VT_BOOL) {
      current.boolVal = static_cast<VARIANT_BOOL>(*value);
    } else {
      current.lVal = static_cast<LONG>(*value);
    }
    Log(L"get " + name + L" " + Shown(current));
    if (result != nullptr) *result = current;
    return S_OK;
  }

  long window_state_;
  bool screen_updating_ = false;
  bool display_alerts_ = false;
};

// A server started by COM ends when its objects are gone, unless the user
// was given the application (it was made visible): that one stays, as the
// real application does.
void ObjectGone() {
  if (::InterlockedDecrement(&g_objects) != 0 || g_options.running || g_visible) return;
  ::PostThreadMessageW(g_main_thread, WM_APP, 0, 0);
}

class Factory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IClassFactory) return E_NOINTERFACE;
    *out = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  // Lives as long as the program.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    Application* application = new (std::nothrow) Application;
    if (application == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = application->QueryInterface(iid, out);
    application->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

bool ParseOptions(std::wstring* error) {
  using quorvel::tools::CommandLine;
  using quorvel::tools::Taken;
  int count = 0;
  wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (argv == nullptr) return false;
  // A count as the C library reads it: what is not a number is 0.
  const auto count_of = [](UINT& target) {
    return [&target](std::wstring_view value) {
      target = static_cast<UINT>(std::wcstoul(std::wstring(value).c_str(), nullptr, 10));
      return true;
    };
  };
  CommandLine<wchar_t> line;
  line.Flag(L"--running", g_options.running)
      .Flag(L"--no-workbook-object", g_options.no_workbook_object)
      .Text(L"--log", g_options.log)
      .Value(L"--window-state",
             [](std::wstring_view value) {
               g_options.window_state = std::wcstol(std::wstring(value).c_str(), nullptr, 10);
               return true;
             })
      .Text(L"--fail", g_options.fail)
      .Value(L"--description",
             [](std::wstring_view value) {
               g_options.has_description = true;
               g_options.description = Unescape(std::wstring(value));
               return true;
             })
      .Value(L"--scode",
             [](std::wstring_view value) {
               g_options.scode =
                   static_cast<HRESULT>(std::wcstoul(std::wstring(value).c_str(), nullptr, 16));
               return true;
             })
      .Text(L"--refuse", g_options.refuse)
      .Text(L"--sheet", g_options.sheet)
      .Value(L"--linger-ms", count_of(g_options.linger_ms))
      .Value(L"--max-seconds", count_of(g_options.max_seconds))
      .Others([](std::wstring_view arg) {
        const std::wstring text(arg);
        if (::_wcsicmp(text.c_str(), L"-Embedding") != 0 &&
            ::_wcsicmp(text.c_str(), L"/Embedding") != 0)
          return Taken::kUnknown;
        g_options.embedded = true;  // COM's mark of a start on its behalf
        return Taken::kYes;
      });
  const auto refused = line.Walk(count, argv);
  if (refused) *error = L"bad option " + std::wstring(refused.argument);
  ::LocalFree(argv);
  return !refused;
}

}  // namespace

int wmain() {
  std::wstring error;
  if (!ParseOptions(&error)) {
    ::fwprintf(stderr, L"SheetServer: %ls\n", error.c_str());
    return 2;
  }
  g_main_thread = ::GetCurrentThreadId();
  MSG msg;
  ::PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // the thread's queue
  if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 3;
  Log(L"pid " + std::to_wstring(::GetCurrentProcessId()) +
      (g_options.running ? L" running" : L" embedding"));

  // Set by the test that ends this server: it leaves cleanly, taking its
  // class or object out of COM's tables (Wine keeps those of a process
  // that was killed, and would hand them to the next client).
  const std::wstring quit_name = L"SheetServer.quit." + std::to_wstring(::GetCurrentProcessId());
  const HANDLE quit = ::CreateEventW(/*lpEventAttributes=*/nullptr, /*bManualReset=*/TRUE,
                                     /*bInitialState=*/FALSE, quit_name.c_str());
  Factory factory;
  DWORD cookie = 0;
  Application* running = nullptr;
  HRESULT hr;
  if (g_options.running) {
    running = new Application;
    hr = ::RegisterActiveObject(running, kApplicationClsid, ACTIVEOBJECT_STRONG, &cookie);
  } else {
    hr = ::CoRegisterClassObject(kApplicationClsid, &factory, CLSCTX_LOCAL_SERVER,
                                 REGCLS_MULTIPLEUSE, &cookie);
  }
  if (FAILED(hr)) {
    Log(L"register failed " + std::to_wstring(static_cast<unsigned long>(hr)));
    ::CoUninitialize();
    return 4;
  }
  Log(L"ready");

  // Thread timers: their identities are the ones SetTimer hands out.
  const UINT_PTR limit = ::SetTimer(nullptr, 0, g_options.max_seconds * 1000, nullptr);
  UINT_PTR linger = 0;
  bool done = false;
  while (!done) {
    if (::MsgWaitForMultipleObjects(1, &quit, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0) break;
    while (!done && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        done = true;
      } else if (msg.hwnd == nullptr && msg.message == WM_APP) {
        if (linger == 0) linger = ::SetTimer(nullptr, 0, g_options.linger_ms, nullptr);
      } else if (msg.hwnd == nullptr && msg.message == WM_TIMER) {
        if (msg.wParam == limit) done = true;
        if (msg.wParam != linger) continue;
        ::KillTimer(nullptr, linger);
        linger = 0;
        // Unless a client came back meanwhile.
        done = g_objects == 0 && !g_visible;
      } else {
        ::DispatchMessageW(&msg);
      }
    }
  }
  if (running != nullptr) {
    ::RevokeActiveObject(cookie, nullptr);
    running->Release();
  } else {
    ::CoRevokeClassObject(cookie);
  }
  Log(L"exit");
  ::CoUninitialize();
  ::CloseHandle(quit);
  return 0;
}
