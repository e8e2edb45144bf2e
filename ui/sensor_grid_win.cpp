#include "ui/sensor_grid_win.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <climits>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "base/cp1251.h"
#include "base/unique_handle.h"
#include "base/wide_win.h"
#include "ui/error_report_win.h"
#include "ui/gdi_object_win.h"
#include "ui/grid_geometry.h"

namespace quorvel::ui {
namespace {

constexpr int kFontHeight = -11;
constexpr int kTextInset = 2;
constexpr int kEditorId = 1;
constexpr UINT_PTR kEditorSubclassId = 1;
constexpr wchar_t kFontFace[] = L"Tahoma";

using Cell = GridCell;

std::u16string WindowText(HWND window) {
  const int length = ::GetWindowTextLengthW(window);
  std::u16string text(static_cast<std::size_t>(std::max(length, 0)), u'\0');
  const int got = ::GetWindowTextW(window, reinterpret_cast<wchar_t*>(text.data()), length + 1);
  text.resize(static_cast<std::size_t>(std::max(got, 0)));
  return text;
}

bool KeyDown(int key) {
  return ::GetKeyState(key) < 0;
}

// BeginPaint/EndPaint as a pair, also when painting throws.
class PaintScope {
 public:
  explicit PaintScope(HWND window) : window_(window), dc_(::BeginPaint(window, &paint_)) {}
  ~PaintScope() { ::EndPaint(window_, &paint_); }
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;
  HDC dc() const { return dc_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_{};
  HDC dc_;
};

}  // namespace

struct SensorGrid::State {
  explicit State(SensorGrid& owner) : grid(owner) {}

  SensorGrid& grid;
  UniqueFont font;
  HWND tooltip = nullptr;  // destroyed with the grid (its owner is the top-level window)
  HWND editor = nullptr;   // an edit of the current cell is in progress
  Cell current{1, 1};
  int top = 1;
  int wheel_delta = 0;            // wheel turns short of a whole notch
  std::optional<Cell> hint_cell;  // the cell whose hint the tooltip holds

  config::SensorTable& table() const { return grid.table_; }
  HWND window() const { return grid.window_; }
  // Where the cells stand now (ui/grid_geometry.h). Sizes() leaves out the
  // client area's height, which only what is shown depends on, so the many
  // size lookups of a paint do not ask the window for it each time.
  GridGeometry Geometry() const { return GridGeometry(table(), top, ClientHeight()); }
  GridGeometry Sizes() const { return GridGeometry(table(), top, /*client_height=*/0); }
  int LastRow() const { return Sizes().LastRow(); }
  int LastCol() const { return Sizes().LastCol(); }
  int Height(int row) const { return Sizes().Height(row); }
  int Width(int col) const { return Sizes().Width(col); }
  int BodyTop() const { return Sizes().BodyTop(); }

  static bool IsFixed(Cell cell) { return GridGeometry::IsFixed(cell); }
  bool IsEditable(Cell cell) const { return Sizes().IsEditable(cell); }

  int ClientHeight() const {
    RECT client{};
    ::GetClientRect(window(), &client);
    return client.bottom;
  }

  int ColLeft(int col) const { return Sizes().ColLeft(col); }
  bool RowTop(int row, int& y) const { return Geometry().RowTop(row, y); }

  bool CellRect(Cell cell, RECT& rect) const {
    int y = 0;
    if (!RowTop(cell.row, y)) return false;
    const int x = ColLeft(cell.col);
    rect = {x, y, x + Width(cell.col), y + Height(cell.row)};
    return true;
  }

  Cell HitTest(int x, int y) const { return Geometry().HitTest(x, y); }
  int FirstTopShowing(int row) const { return Geometry().FirstTopShowing(row); }
  int MaxTop() const { return Geometry().MaxTop(); }
  int PageRows() const { return Geometry().PageRows(); }

  void UpdateScrollBar() const {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    // Positions are rows: the maximum position nMax - nPage + 1 is MaxTop().
    info.nMin = 1;
    info.nMax = std::max(LastRow(), 1);
    info.nPage = static_cast<UINT>(std::max(LastRow() + 1 - MaxTop(), 1));
    info.nPos = top;
    ::SetScrollInfo(window(), SB_VERT, &info, /*redraw=*/TRUE);
  }

  void Invalidate() const { ::InvalidateRect(window(), /*lpRect=*/nullptr, /*bErase=*/FALSE); }

  void SetTop(int row) {
    row = std::clamp(row, 1, MaxTop());
    if (row == top) return;
    top = row;
    UpdateScrollBar();
    ForgetHintCell();
    PlaceEditor();
    Invalidate();
  }

  void EnsureVisible(int row) {
    if (row < top) {
      SetTop(row);
    } else {
      SetTop(std::max(top, FirstTopShowing(row)));
    }
  }

  // Commits an edit in progress first; a cell outside the parameter cells
  // is brought to the nearest one.
  void MoveTo(Cell cell) {
    EndEdit(/*keep=*/true);
    current.col = std::clamp(cell.col, 1, std::max(LastCol(), 1));
    current.row = std::clamp(cell.row, 1, std::max(LastRow(), 1));
    EnsureVisible(current.row);
    Invalidate();
  }

  bool TabTarget(bool backwards, Cell& target) const {
    return Sizes().TabTarget(current, backwards, target);
  }

  void TabMove(bool backwards) {
    Cell target;
    if (TabTarget(backwards, target)) MoveTo(target);
  }

  void PageMove(int direction) {
    const int page = PageRows();
    SetTop(top + direction * page);
    MoveTo({current.col, current.row + direction * page});
  }

  // Editing

  void BeginEdit(const std::u16string* replacement) {
    if (editor != nullptr || !IsEditable(current)) return;
    EnsureVisible(current.row);
    const std::u16string text = replacement != nullptr
                                    ? *replacement
                                    : cp1251::ToUtf16(table().Cell(current.col, current.row));
    const HWND edit = ::CreateWindowExW(
        0, L"EDIT", Wide(text), WS_CHILD | ES_LEFT | ES_AUTOHSCROLL, 0, 0, 0, 0, window(),
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kEditorId)),
        reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(window(), GWLP_HINSTANCE)),
        /*lpParam=*/nullptr);
    if (edit == nullptr) return;
    ::SetWindowSubclass(edit, EditorProc, kEditorSubclassId, reinterpret_cast<DWORD_PTR>(this));
    ::SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), /*redraw=*/FALSE);
    ::SendMessageW(edit, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN,
                   MAKELPARAM(kTextInset, kTextInset));
    editor = edit;
    PlaceEditor();
    ::ShowWindow(edit, SW_SHOW);
    ::SetFocus(edit);
    const auto end = static_cast<WPARAM>(text.size());
    ::SendMessageW(edit, EM_SETSEL, end, static_cast<LPARAM>(end));
    Invalidate();
  }

  // The edit box covers the cell below the text inset, where its text lines
  // up with the text the cell draws.
  void PlaceEditor() const {
    RECT cell{};
    if (editor == nullptr || !CellRect(current, cell)) return;
    ::SetWindowPos(editor, /*hWndInsertAfter=*/nullptr, cell.left, cell.top + kTextInset,
                   cell.right - cell.left, std::max<int>(cell.bottom - cell.top - kTextInset, 0),
                   SWP_NOZORDER | SWP_NOACTIVATE);
  }

  // `losing_focus`: called as the edit box loses the focus, which then goes
  // where it was going rather than back to the grid.
  void EndEdit(bool keep, bool losing_focus = false) {
    if (editor == nullptr) return;
    // Cleared first: the focus change and the destruction below come back
    // here through the edit box's WM_KILLFOCUS.
    const HWND edit = std::exchange(editor, nullptr);
    const std::u16string text = WindowText(edit);
    if (!losing_focus && ::GetFocus() == edit) ::SetFocus(window());
    ::DestroyWindow(edit);
    Invalidate();
    if (!keep || !IsEditable(current)) return;
    std::string value = cp1251::FromUtf16(text);
    if (value == table().Cell(current.col, current.row)) return;
    table().SetCell(current.col, current.row, std::move(value));
    // Last, as the parent may act on the table at once.
    ::SendMessageW(::GetParent(window()), WM_COMMAND,
                   MAKEWPARAM(::GetDlgCtrlID(window()), kGridCellChanged),
                   reinterpret_cast<LPARAM>(window()));
  }

  // Hints

  void AddTool() const {
    TTTOOLINFOW tool = Tool();
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.lpszText = const_cast<wchar_t*>(L"");
    ::SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    ::SendMessageW(tooltip, TTM_SETMAXTIPWIDTH, 0, 300);
  }

  // The v2 size: comctl32 before version 6 refuses the larger structure.
  TTTOOLINFOW Tool() const {
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = window();
    tool.uId = reinterpret_cast<UINT_PTR>(window());
    return tool;
  }

  void ForgetHintCell() {
    hint_cell.reset();
    if (tooltip != nullptr) ::SendMessageW(tooltip, TTM_POP, 0, 0);
  }

  // The tip's text follows the cell under the pointer; a changed cell pops
  // the tip, so the new text shows after the usual delay.
  void ShowHintFor(Cell cell) {
    if (tooltip == nullptr || cell == hint_cell) return;
    ForgetHintCell();
    hint_cell = cell;
    std::u16string text;
    if (cell.row >= 0 && grid.hint_) text = cp1251::ToUtf16(grid.hint_(cell.row, cell.col));
    TTTOOLINFOW tool = Tool();
    tool.lpszText = const_cast<wchar_t*>(Wide(text));
    ::SendMessageW(tooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  }

  // Painting

  void PaintCell(HDC dc, Cell cell, int x, int y, bool focused) const {
    const RECT rect{x, y, x + Width(cell.col), y + Height(cell.row)};
    const bool fixed = IsFixed(cell);
    const HBRUSH line = ::GetSysColorBrush(fixed ? COLOR_WINDOWFRAME : COLOR_BTNFACE);
    const RECT right{rect.right, rect.top, rect.right + 1, rect.bottom + 1};
    const RECT bottom{rect.left, rect.bottom, rect.right + 1, rect.bottom + 1};
    ::FillRect(dc, &right, line);
    ::FillRect(dc, &bottom, line);

    const bool selected = cell == current && focused && editor == nullptr;
    int face = COLOR_WINDOW;
    int ink = COLOR_WINDOWTEXT;
    if (fixed) {
      face = COLOR_BTNFACE;
      ink = COLOR_BTNTEXT;
    } else if (selected) {
      face = COLOR_HIGHLIGHT;
      ink = COLOR_HIGHLIGHTTEXT;
    }
    ::FillRect(dc, &rect, ::GetSysColorBrush(face));
    if (fixed) {
      RECT edge = rect;
      ::DrawEdge(dc, &edge, BDR_RAISEDINNER, BF_RECT);
    }
    const std::u16string text = cp1251::ToUtf16(table().Cell(cell.col, cell.row));
    ::SetTextColor(dc, ::GetSysColor(ink));
    ::ExtTextOutW(dc, rect.left + kTextInset, rect.top + kTextInset, ETO_CLIPPED, &rect, Wide(text),
                  static_cast<UINT>(text.size()), /*lpDx=*/nullptr);
    if (selected) ::DrawFocusRect(dc, &rect);
  }

  void PaintRow(HDC dc, int row, int y, int width, bool focused) const {
    for (int col = 0, x = 0; col <= LastCol() && x < width; ++col) {
      PaintCell(dc, {col, row}, x, y, focused);
      x += Width(col) + 1;
    }
  }

  // Only the rows in view: a table of 500 rows paints as fast as one of 5.
  void Paint(HDC dc, const RECT& client) const {
    ::FillRect(dc, &client, ::GetSysColorBrush(COLOR_WINDOW));
    const HGDIOBJ old_font = ::SelectObject(dc, font.get());
    ::SetBkMode(dc, TRANSPARENT);
    const bool focused = ::GetFocus() == window();
    PaintRow(dc, 0, 0, client.right, focused);
    for (int row = top, y = BodyTop(); row <= LastRow() && y < client.bottom; ++row) {
      PaintRow(dc, row, y, client.right, focused);
      y += Height(row) + 1;
    }
    ::SelectObject(dc, old_font);
  }

  // Drawn off screen and copied at once, so scrolling does not flicker.
  void OnPaint() const {
    const PaintScope scope(window());
    RECT client{};
    ::GetClientRect(window(), &client);
    const UniqueBitmap bitmap(::CreateCompatibleBitmap(scope.dc(), client.right, client.bottom));
    const UniqueMemoryDc memory(::CreateCompatibleDC(scope.dc()));
    if (!bitmap || !memory) {
      Paint(scope.dc(), client);
      return;
    }
    const HGDIOBJ old_bitmap = ::SelectObject(memory.get(), bitmap.get());
    Paint(memory.get(), client);
    ::BitBlt(scope.dc(), 0, 0, client.right, client.bottom, memory.get(), 0, 0, SRCCOPY);
    ::SelectObject(memory.get(), old_bitmap);
  }

  // Messages

  void OnCreate() {
    font.reset(::CreateFontW(kFontHeight, 0, 0, 0, FW_NORMAL, /*bItalic=*/FALSE,
                             /*bUnderline=*/FALSE, /*bStrikeOut=*/FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_DONTCARE, kFontFace));
    tooltip = ::CreateWindowExW(
        WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window(), /*hMenu=*/nullptr,
        reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(window(), GWLP_HINSTANCE)),
        /*lpParam=*/nullptr);
    if (tooltip != nullptr) AddTool();
    UpdateScrollBar();
  }

  void OnKeyDown(WPARAM key) {
    const bool control = KeyDown(VK_CONTROL);
    switch (key) {
      case VK_UP:
        MoveTo({current.col, current.row - 1});
        break;
      case VK_DOWN:
        MoveTo({current.col, current.row + 1});
        break;
      case VK_LEFT:
        MoveTo({current.col - 1, current.row});
        break;
      case VK_RIGHT:
        MoveTo({current.col + 1, current.row});
        break;
      case VK_PRIOR:
        PageMove(-1);
        break;
      case VK_NEXT:
        PageMove(+1);
        break;
      case VK_HOME:
        MoveTo({1, control ? 1 : current.row});
        break;
      case VK_END:
        MoveTo({LastCol(), control ? LastRow() : current.row});
        break;
      case VK_TAB:
        TabMove(KeyDown(VK_SHIFT));
        break;
      case VK_F2:
        BeginEdit(/*replacement=*/nullptr);
        break;
      default:
        break;
    }
  }

  void OnChar(WPARAM code) {
    if (code < 0x20 || code == 0x7F || code > 0xFFFF) return;
    const std::u16string typed(1, static_cast<char16_t>(code));
    BeginEdit(&typed);
  }

  void OnButtonDown(int x, int y) {
    const bool was_focused = ::GetFocus() == window();
    EndEdit(/*keep=*/true);
    if (::GetFocus() != window()) ::SetFocus(window());
    const Cell hit = HitTest(x, y);
    if (!IsEditable(hit)) return;
    if (hit != current) {
      MoveTo(hit);
    } else if (was_focused) {
      BeginEdit(/*replacement=*/nullptr);
    }
  }

  // The Tab key stays in the grid until the last cell (Shift+Tab: the
  // first); from there the dialog moves the focus on. While editing, the
  // edit box takes every key.
  LRESULT DialogCode(const MSG* message) const {
    LRESULT code = DLGC_WANTARROWS | DLGC_WANTCHARS;
    if (editor != nullptr) return code | DLGC_WANTALLKEYS;
    Cell target;
    if (message != nullptr && message->message == WM_KEYDOWN && message->wParam == VK_TAB &&
        TabTarget(KeyDown(VK_SHIFT), target)) {
      code |= DLGC_WANTTAB;
    }
    return code;
  }

  void OnScroll(WPARAM request) {
    EndEdit(/*keep=*/true);
    switch (LOWORD(request)) {
      case SB_LINEUP:
        SetTop(top - 1);
        break;
      case SB_LINEDOWN:
        SetTop(top + 1);
        break;
      case SB_PAGEUP:
        SetTop(top - PageRows());
        break;
      case SB_PAGEDOWN:
        SetTop(top + PageRows());
        break;
      case SB_TOP:
        SetTop(1);
        break;
      case SB_BOTTOM:
        SetTop(MaxTop());
        break;
      case SB_THUMBTRACK:
      case SB_THUMBPOSITION: {
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_TRACKPOS;
        if (::GetScrollInfo(window(), SB_VERT, &info)) SetTop(info.nTrackPos);
        break;
      }
      default:
        break;
    }
  }

  void OnWheel(int delta) {
    wheel_delta += delta;
    const int notches = wheel_delta / WHEEL_DELTA;
    wheel_delta %= WHEEL_DELTA;
    if (notches == 0) return;
    UINT lines = 3;
    ::SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
    const int step = lines == WHEEL_PAGESCROLL ? PageRows() : static_cast<int>(lines);
    EndEdit(/*keep=*/true);
    SetTop(top - notches * step);
  }

  // What is being typed while editing.
  std::u16string CurrentText() const {
    return editor != nullptr ? WindowText(editor)
                             : cp1251::ToUtf16(table().Cell(current.col, current.row));
  }

  LRESULT OnGetText(WPARAM capacity, LPARAM buffer) const {
    const std::u16string text = CurrentText();
    if (capacity == 0 || buffer == 0) return 0;
    auto* out = reinterpret_cast<char16_t*>(buffer);
    const std::size_t length = std::min<std::size_t>(text.size(), capacity - 1);
    std::copy_n(text.begin(), length, out);
    out[length] = u'\0';
    return static_cast<LRESULT>(length);
  }

  LRESULT OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
      case WM_CREATE:
        OnCreate();
        return 0;
      case WM_PAINT:
        OnPaint();
        return 0;
      case WM_ERASEBKGND:
        return 1;
      case WM_SIZE:
        UpdateScrollBar();
        SetTop(top);
        PlaceEditor();
        Invalidate();
        return 0;
      case WM_SETFOCUS:
      case WM_KILLFOCUS:
        Invalidate();
        return 0;
      case WM_GETDLGCODE:
        return DialogCode(reinterpret_cast<const MSG*>(lparam));
      // Keys that reach the grid while editing (typed ahead of the edit box,
      // or posted to the grid by another program) belong to the edit box.
      case WM_KEYDOWN:
        if (editor != nullptr) return ::SendMessageW(editor, message, wparam, lparam);
        OnKeyDown(wparam);
        return 0;
      case WM_CHAR:
        if (editor != nullptr) return ::SendMessageW(editor, message, wparam, lparam);
        OnChar(wparam);
        return 0;
      case WM_LBUTTONDOWN:
        OnButtonDown(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
        return 0;
      case WM_MOUSEMOVE:
        ShowHintFor(HitTest(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)));
        return 0;
      case WM_VSCROLL:
        OnScroll(wparam);
        return 0;
      case WM_MOUSEWHEEL:
        OnWheel(GET_WHEEL_DELTA_WPARAM(wparam));
        return 0;
      case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(CurrentText().size());
      case WM_GETTEXT:
        return OnGetText(wparam, lparam);
      case WM_GETFONT:
        return reinterpret_cast<LRESULT>(font.get());
      case kGridSelectCell: {
        const Cell cell{static_cast<int>(std::min<WPARAM>(wparam, INT_MAX)),
                        static_cast<int>(std::clamp<LPARAM>(lparam, -1, INT_MAX))};
        if (!IsEditable(cell)) return FALSE;
        MoveTo(cell);
        return TRUE;
      }
      case kGridCurrentCell:
        return MAKELRESULT(current.col, current.row);
      case kGridEditor:
        return reinterpret_cast<LRESULT>(editor);
      case kGridTopRow:
        return top;
      case WM_DESTROY:
        // Closing is not committing: the owner commits before it closes.
        editor = nullptr;
        if (tooltip != nullptr) ::DestroyWindow(std::exchange(tooltip, nullptr));
        return 0;
      default:
        break;
    }
    return ::DefWindowProcW(window(), message, wparam, lparam);
  }

  LRESULT OnEditorMessage(HWND edit, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
      case WM_GETDLGCODE:
        return ::DefSubclassProc(edit, message, wparam, lparam) | DLGC_WANTALLKEYS;
      case WM_KEYDOWN:
        switch (wparam) {
          case VK_RETURN:
            MoveTo({current.col, current.row + 1});
            return 0;
          case VK_UP:
            MoveTo({current.col, current.row - 1});
            return 0;
          case VK_DOWN:
            MoveTo({current.col, current.row + 1});
            return 0;
          case VK_TAB:
            EndEdit(/*keep=*/true);
            TabMove(KeyDown(VK_SHIFT));
            return 0;
          case VK_ESCAPE:
            EndEdit(/*keep=*/false);
            return 0;
          default:
            break;
        }
        break;
      case WM_CHAR:
        // Their keys were handled above; the edit box would only beep.
        if (wparam == L'\r' || wparam == L'\n' || wparam == L'\t' || wparam == 0x1B) return 0;
        break;
      case WM_KILLFOCUS: {
        const LRESULT result = ::DefSubclassProc(edit, message, wparam, lparam);
        if (editor == edit) EndEdit(/*keep=*/true, /*losing_focus=*/true);
        return result;
      }
      case WM_NCDESTROY:
        ::RemoveWindowSubclass(edit, EditorProc, kEditorSubclassId);
        break;
      default:
        break;
    }
    return ::DefSubclassProc(edit, message, wparam, lparam);
  }

  // Nothing leaves a window procedure by exception: it goes to the general
  // error report and the grid goes on.
  static void Report(HWND window, const char* what) noexcept {
    try {
      ShowErrorReport(::GetAncestor(window, GA_ROOT), what);
    } catch (...) {
    }
  }

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam,
                                     LPARAM lparam) noexcept {
    if (message == WM_NCCREATE) {
      auto* state =
          static_cast<State*>(reinterpret_cast<const CREATESTRUCTW*>(lparam)->lpCreateParams);
      state->grid.window_ = window;
      ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
    }
    auto* state = reinterpret_cast<State*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (state == nullptr) return ::DefWindowProcW(window, message, wparam, lparam);
    if (message == WM_NCDESTROY) {
      ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      state->grid.window_ = nullptr;
      return ::DefWindowProcW(window, message, wparam, lparam);
    }
    try {
      return state->OnMessage(message, wparam, lparam);
    } catch (const std::exception& error) {
      Report(window, error.what());
    } catch (...) {
      Report(window, "Unknown error");
    }
    return 0;
  }

  static LRESULT CALLBACK EditorProc(HWND edit, UINT message, WPARAM wparam, LPARAM lparam,
                                     UINT_PTR /*id*/, DWORD_PTR data) noexcept {
    try {
      return reinterpret_cast<State*>(data)->OnEditorMessage(edit, message, wparam, lparam);
    } catch (const std::exception& error) {
      Report(edit, error.what());
    } catch (...) {
      Report(edit, "Unknown error");
    }
    return 0;
  }
};

SensorGrid::SensorGrid(config::SensorTable& table, HintFunction hint)
    : table_(table), hint_(std::move(hint)), state_(std::make_unique<State>(*this)) {}

SensorGrid::~SensorGrid() {
  if (window_ != nullptr) ::DestroyWindow(window_);
}

bool SensorGrid::Create(HINSTANCE instance, HWND parent, int id, const RECT& bounds) {
  if (window_ != nullptr) return false;
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  if (!::GetClassInfoExW(instance, kSensorGridClass, &window_class)) {
    window_class = {};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = State::WindowProc;
    window_class.hInstance = instance;
    window_class.hCursor = ::LoadCursorW(/*hInstance=*/nullptr, IDC_ARROW);
    window_class.lpszClassName = kSensorGridClass;
    if (::RegisterClassExW(&window_class) == 0) return false;
  }
  return ::CreateWindowExW(
             WS_EX_CLIENTEDGE, kSensorGridClass, L"",
             WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_CLIPCHILDREN, bounds.left,
             bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, state_.get()) != nullptr;
}

void SensorGrid::Refresh() {
  if (window_ == nullptr) return;
  State& state = *state_;
  if (!state.IsEditable(state.current)) state.EndEdit(/*keep=*/false);
  state.current.col = std::clamp(state.current.col, 1, std::max(state.LastCol(), 1));
  state.current.row = std::clamp(state.current.row, 1, std::max(state.LastRow(), 1));
  state.top = std::clamp(state.top, 1, state.MaxTop());
  state.UpdateScrollBar();
  state.ForgetHintCell();
  if (state.editor != nullptr) state.EnsureVisible(state.current.row);
  state.PlaceEditor();
  state.Invalidate();
}

void SensorGrid::CommitEdit() {
  if (window_ != nullptr) state_->EndEdit(/*keep=*/true);
}

}  // namespace quorvel::ui
