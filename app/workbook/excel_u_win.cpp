#include "app/workbook/excel_u_win.h"

#include <oleauto.h>

#include <cstdint>
#include <string>

#include "app/workbook/workbook_errors.h"
#include "base/cp1251.h"
#include "base/local_memory_win.h"

namespace quorvel::workbook {

namespace {

using UniqueBstr = UniqueHandle<ClosedBy<BSTR, ::SysFreeString>>;

// The system's text for a code, in Windows-1251; empty when it has none.
std::string SystemText(HRESULT code) {
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      /*lpSource=*/nullptr, static_cast<DWORD>(code), /*dwLanguageId=*/0,
      reinterpret_cast<wchar_t*>(&buffer), /*nSize=*/0, /*Arguments=*/nullptr);
  const UniqueLocalMemory owned(buffer);
  if (buffer == nullptr) return {};
  return cp1251::FromUtf16({reinterpret_cast<const char16_t*>(buffer), length});
}

[[noreturn]] void ThrowCode(HRESULT code) {
  throw OleFailure(CodeMessage(static_cast<std::uint32_t>(code), SystemText(code)));
}

class Variant {
 public:
  Variant() { ::VariantInit(&value_); }
  ~Variant() { ::VariantClear(&value_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;

  static Variant Text(std::wstring_view text) {
    Variant v;
    v.value_.vt = VT_BSTR;
    v.value_.bstrVal = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (v.value_.bstrVal == nullptr) ThrowCode(E_OUTOFMEMORY);
    return v;
  }
  static Variant Bool(bool on) {
    Variant v;
    v.value_.vt = VT_BOOL;
    v.value_.boolVal = on ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
  }
  static Variant Long(long number) {
    Variant v;
    v.value_.vt = VT_I4;
    v.value_.lVal = number;
    return v;
  }

  VARIANT* get() { return &value_; }

 private:
  Variant(Variant&& other) noexcept : value_(other.value_) { other.value_.vt = VT_EMPTY; }

  VARIANT value_;
};

// The text of the 8-bit string in the system code page, as the
// application expects its file names.
std::wstring Wide(std::string_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), length);
  return wide;
}

// The object's interface `iid`; an object that refuses it fails the step.
ComPtr<IDispatch> Ask(IUnknown* object, REFIID iid) {
  void* found = nullptr;
  if (object == nullptr || FAILED(object->QueryInterface(iid, &found)) || found == nullptr)
    throw OleFailure(kInterfaceNotSupported);
  return ComPtr<IDispatch>(static_cast<IDispatch*>(found));
}

// Calls member `name` of `object`; `argument`, when given, is its only one
// (the value, for a property put). The server's exception text wins over
// the code.
void Call(IDispatch* object, const wchar_t* name, WORD kind, VARIANT* argument, VARIANT* result) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, /*lcid=*/0, &id);
  if (FAILED(hr)) ThrowCode(hr);

  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{};
  if (argument != nullptr) {
    params.rgvarg = argument;
    params.cArgs = 1;
  }
  if (kind == DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &put;
    params.cNamedArgs = 1;
  }
  EXCEPINFO info{};
  UINT wrong_argument = 0;
  hr = object->Invoke(id, IID_NULL, /*lcid=*/0, kind, &params, result, &info, &wrong_argument);
  if (SUCCEEDED(hr)) return;
  std::string description;
  HRESULT code = hr;
  if (hr == DISP_E_EXCEPTION) {
    if (info.pfnDeferredFillIn != nullptr) info.pfnDeferredFillIn(&info);
    // The server's texts are the caller's to free.
    const UniqueBstr source(info.bstrSource);
    const UniqueBstr server_description(info.bstrDescription);
    const UniqueBstr help_file(info.bstrHelpFile);
    if (server_description) {
      description = cp1251::FromUtf16({reinterpret_cast<const char16_t*>(info.bstrDescription),
                                       ::SysStringLen(info.bstrDescription)});
    }
    if (info.scode != 0) code = info.scode;
  }
  throw OleFailure(CallMessage(description, static_cast<std::uint32_t>(code), SystemText(code)));
}

// The object a member returns, asked for `iid`.
ComPtr<IDispatch> CallForObject(IDispatch* object, const wchar_t* name, WORD kind,
                                VARIANT* argument, REFIID iid) {
  Variant result;
  Call(object, name, kind, argument, result.get());
  const VARIANT& value = *result.get();
  IUnknown* found = nullptr;
  if (value.vt == VT_DISPATCH) found = value.pdispVal;
  if (value.vt == VT_UNKNOWN) found = value.punkVal;
  return Ask(found, iid);
}

void Put(IDispatch* object, const wchar_t* name, Variant value) {
  Call(object, name, DISPATCH_PROPERTYPUT, value.get(), /*result=*/nullptr);
}

long GetLong(IDispatch* object, const wchar_t* name) {
  Variant result;
  Call(object, name, DISPATCH_PROPERTYGET, /*argument=*/nullptr, result.get());
  const HRESULT hr = ::VariantChangeType(result.get(), result.get(), 0, VT_I4);
  if (FAILED(hr)) ThrowCode(hr);
  return result.get()->lVal;
}

}  // namespace

void TExcelU::Connect(bool force_new) {
  if (application_) return;
  ComPtr<IUnknown> found;
  if (!force_new) {
    IUnknown* running = nullptr;
    // None running is no error: one is started instead.
    if (SUCCEEDED(::GetActiveObject(kApplicationClsid, /*pvReserved=*/nullptr, &running)))
      found.reset(running);
  }
  if (!found) {
    IUnknown* started = nullptr;
    const HRESULT hr = ::CoCreateInstance(kApplicationClsid, /*pUnkOuter=*/nullptr,
                                          CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IUnknown,
                                          reinterpret_cast<void**>(&started));
    if (FAILED(hr)) ThrowCode(hr);
    found.reset(started);
  }
  application_ = Ask(found.get(), kApplicationIid);
}

void TExcelU::OpenWorkbook(std::string_view path) {
  if (!application_) Connect(/*force_new=*/false);
  // Workbooks.Add(Template:=path), then Worksheets.Item("Лист1").
  const ComPtr<IDispatch> workbooks =
      CallForObject(application_.get(), L"Workbooks", DISPATCH_PROPERTYGET, nullptr, IID_IDispatch);
  Variant file = Variant::Text(Wide(path));
  workbook_ = CallForObject(workbooks.get(), L"Add", DISPATCH_METHOD, file.get(), kWorkbookIid);
  const ComPtr<IDispatch> sheets =
      CallForObject(workbook_.get(), L"Worksheets", DISPATCH_PROPERTYGET, nullptr, IID_IDispatch);
  Variant sheet = Variant::Text(kFirstSheet);
  worksheet_ =
      CallForObject(sheets.get(), L"Item", DISPATCH_PROPERTYGET, sheet.get(), kWorksheetIid);
}

void TExcelU::ShowApplication() {
  IDispatch* application = application_.get();
  if (application == nullptr) return;
  Put(application, L"Visible", Variant::Bool(true));
  // A maximised window stays maximised.
  if (GetLong(application, L"WindowState") == kMinimized)
    Put(application, L"WindowState", Variant::Long(kNormal));
  Put(application, L"ScreenUpdating", Variant::Bool(true));
  Put(application, L"DisplayAlerts", Variant::Bool(true));
}

void TExcelU::Disconnect() {
  worksheet_.reset();
  workbook_.reset();
  application_.reset();
}

}  // namespace quorvel::workbook
