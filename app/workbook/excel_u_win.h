// TExcelU: the spreadsheet application reached through its automation
// interfaces, late bound. Every member is resolved by name
// (GetIDsOfNames) and called through IDispatch::Invoke, with LCID 0; the
// application, workbook and worksheet are asked for by their dual
// interfaces' identities first, which every version of the spreadsheet
// answers. A failure throws OleFailure carrying the error dialog's text.
#pragma once

#include <windows.h>
// after windows.h, which it needs
#include <oaidl.h>

#include <stdexcept>
#include <string_view>

#include "base/unique_handle.h"

namespace quorvel::workbook {

template <typename Interface>
struct ComTraits {
  using pointer = Interface*;
  static pointer Invalid() { return nullptr; }
  static void Close(pointer object) { object->Release(); }
};

// Holds one reference and releases it once.
template <typename Interface>
using ComPtr = UniqueHandle<ComTraits<Interface>>;

// The spreadsheet application's class.
inline constexpr CLSID kApplicationClsid = {
    0x00024500, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// _Application, _Workbook and _Worksheet.
inline constexpr IID kApplicationIid = {
    0x000208D5, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID kWorkbookIid = {
    0x000208DA, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID kWorksheetIid = {
    0x000208D8, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// The sheet that a new workbook is expected to hold.
inline constexpr wchar_t kFirstSheet[] = L"Лист1";

// WindowState values.
inline constexpr long kMinimized = -4140;
inline constexpr long kNormal = -4143;
inline constexpr long kMaximized = -4118;

// A failed step; what() is the message for the user, in Windows-1251.
class OleFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TExcelU {
 public:
  TExcelU() = default;
  TExcelU(const TExcelU&) = delete;
  TExcelU& operator=(const TExcelU&) = delete;

  // Takes the running application, or starts one when none runs or
  // `force_new`; nothing when connected already.
  void Connect(bool force_new);
  // A new workbook made from the file `path` (Windows-1251, handed to the
  // application as it is: the application resolves and checks it), and its
  // first sheet.
  void OpenWorkbook(std::string_view path);
  // Shows the application to the user: visible, restored when minimised,
  // drawing and asking again. Nothing when not connected.
  void ShowApplication();
  // Lets go of the worksheet, the workbook and the application, in that
  // order. The application goes on running.
  void Disconnect();

  IDispatch* Application() const { return application_.get(); }
  IDispatch* Workbook() const { return workbook_.get(); }
  IDispatch* Worksheet() const { return worksheet_.get(); }

 private:
  ComPtr<IDispatch> application_;
  ComPtr<IDispatch> workbook_;
  ComPtr<IDispatch> worksheet_;
};

}  // namespace quorvel::workbook
