#include "ui/monitor_form_win.h"

// after windows.h, which they need
#include <commctrl.h>

#include <algorithm>
#include <cstdio>

#include "base/cp1251.h"
#include "base/user_decimal_win.h"
#include "base/wide_win.h"
#include "poll/dde_quality_items.h"
#include "ui/monitor_form_ids.h"
#include "ui/resource_ids.h"

namespace quorvel::ui {

namespace {

constexpr int kDefaultWidth = 960;
constexpr int kDefaultHeight = 620;
constexpr int kMinWidth = 480;
constexpr int kMinHeight = 320;
constexpr int kMargin = 6;
constexpr int kRowHeight = 24;
constexpr UINT_PTR kRefreshTimer = 1;
// Once a second. Drawing the lists is what costs the poll cycle, which
// shares this thread: the table redraws only its rows in sight that
// changed, the traffic at most a screenful of new lines a second, and each
// draws while a request is on the line (MonitorSink::Announce), one list a
// time. When no exchange gives that moment, they draw a little later.
constexpr UINT kRefreshMs = 1000;
constexpr UINT_PTR kIdleRefreshTimer = 2;
constexpr UINT kIdleRefreshMs = 200;
constexpr COLORREF kFailingColour = RGB(192, 0, 0);

constexpr auto kCaption = cp1251::Text("Монитор обмена");

std::u16string ToWide(std::string_view text) {
  return cp1251::ToUtf16(text);
}

enum TrafficColumn { kTimeColumn, kDirectionColumn, kAddressColumn, kBytesColumn, kResultColumn };

void AddColumn(HWND list, int index, const std::u16string& title, int width, bool right) {
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
  column.fmt = right ? LVCFMT_RIGHT : LVCFMT_LEFT;
  column.cx = width;
  column.pszText = const_cast<wchar_t*>(Wide(title));
  column.iSubItem = index;
  ::SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&column));
}

int TableColumnWidth(int column) {
  using namespace monitor;
  switch (column) {
    case kItemColumn:
      return 110;
    case kTextColumn:
      return 100;
    case kQualityColumn:
      return 80;
    case kLastGoodColumn:
      return 150;
    default:
      return column >= kFirstFailureColumn && column < kInRowColumn ? 78 : 72;
  }
}

std::string DurationText(std::int64_t ns) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld", static_cast<long long>(ns / 1'000'000));
  return text;
}

}  // namespace

MonitorForm::MonitorForm(HINSTANCE instance, const config::Settings& settings,
                         monitor::MonitorSink& sink, bus::MonotonicClock& clock,
                         LocalTimeZone& zone, config::WindowPlace& place, MonitorFormHost& host)
    : instance_(instance),
      settings_(settings),
      sink_(sink),
      clock_(clock),
      zone_(zone),
      place_(place),
      host_(host) {}

MonitorForm::~MonitorForm() {
  if (window_ != nullptr) ::DestroyWindow(window_);
}

void MonitorForm::Attach(HWND window) {
  window_ = window;
  if (window == nullptr) {
    summary_ = table_ = traffic_ = device_ = nullptr;
    sink_.OnLineFree(nullptr);
    due_ = 0;
  }
}

bool MonitorForm::RegisterClassOnce() {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (::GetClassInfoExW(instance_, kMonitorFormClass, &existing)) return true;
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = ObjectWindowProc<MonitorForm>;
  window_class.hInstance = instance_;
  window_class.hIcon = ::LoadIconW(instance_, MAKEINTRESOURCEW(QUORVEL_ICON_ID));
  window_class.hCursor = ::LoadCursorW(/*hInstance=*/nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kMonitorFormClass;
  return ::RegisterClassExW(&window_class) != 0;
}

void MonitorForm::Show() {
  if (window_ != nullptr) {
    if (::IsIconic(window_)) ::ShowWindow(window_, SW_RESTORE);
    ::SetForegroundWindow(window_);
    return;
  }
  if (!RegisterClassOnce()) {
    host_.ReportError("Cannot register the monitor window");
    return;
  }
  decimal_ = UserDecimalSeparator();
  const bool placed = place_.width > 0;
  const std::u16string caption = ToWide(kCaption.view());
  // A window of its own, not owned by the main window: it stays up while
  // the main window hides in the notification area.
  ::CreateWindowExW(WS_EX_CONTROLPARENT, kMonitorFormClass, Wide(caption),
                    WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, placed ? place_.left : CW_USEDEFAULT,
                    placed ? place_.top : CW_USEDEFAULT, placed ? place_.width : kDefaultWidth,
                    placed ? place_.height : kDefaultHeight, /*hWndParent=*/nullptr,
                    /*hMenu=*/nullptr, instance_, this);
  if (window_ == nullptr) {
    host_.ReportError("Cannot create the monitor window");
    return;
  }
  CreateControls();
  Layout();
  Refresh();
  sink_.OnLineFree([this] { LineFree(); });
  ::SetTimer(window_, kRefreshTimer, kRefreshMs, /*lpTimerFunc=*/nullptr);
  ::ShowWindow(window_, SW_SHOWNORMAL);
}

void MonitorForm::CreateControls() {
  font_.reset(::CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                            DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif"));
  const auto make = [&](const wchar_t* window_class, std::string_view text, DWORD style, int id) {
    const std::u16string wide = ToWide(text);
    const HWND control = ::CreateWindowExW(
        0, window_class, Wide(wide), WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, window_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
    return control;
  };
  summary_ = make(L"STATIC", "", SS_LEFTNOWORDWRAP | SS_NOPREFIX, kMonitorSummaryId);
  const DWORD list_style = WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS;
  table_ = make(WC_LISTVIEWW, "", list_style, kMonitorTableId);
  traffic_ = make(WC_LISTVIEWW, "", list_style, kMonitorTrafficId);
  for (HWND list : {table_, traffic_}) {
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  }
  for (int c = 0; c < monitor::kColumnCount; ++c) {
    AddColumn(table_, c, ToWide(monitor::ColumnTitle(c)), TableColumnWidth(c),
              c >= monitor::kAskedColumn);
  }
  AddColumn(traffic_, kTimeColumn, ToWide(cp1251::Text("Время").view()), 90, false);
  AddColumn(traffic_, kDirectionColumn, u"", 28, false);
  AddColumn(traffic_, kAddressColumn, ToWide(cp1251::Text("Устройство").view()), 76, true);
  AddColumn(traffic_, kBytesColumn, ToWide(cp1251::Text("Байты").view()), 420, false);
  AddColumn(traffic_, kResultColumn, ToWide(cp1251::Text("Результат").view()), 90, false);
  make(L"BUTTON", cp1251::Text("Пауза").view(), WS_TABSTOP | BS_AUTOCHECKBOX | BS_PUSHLIKE,
       kMonitorPauseId);
  make(L"BUTTON", cp1251::Text("Очистить").view(), WS_TABSTOP | BS_PUSHBUTTON, kMonitorClearId);
  make(L"BUTTON", cp1251::Text("Копировать").view(), WS_TABSTOP | BS_PUSHBUTTON, kMonitorCopyId);
  make(L"BUTTON", "HEX", WS_TABSTOP | BS_AUTOCHECKBOX | BS_PUSHLIKE, kMonitorHexId);
  device_ = make(WC_COMBOBOXW, "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, kMonitorDeviceId);
  make(L"BUTTON", cp1251::Text("Сбросить счётчики").view(), WS_TABSTOP | BS_PUSHBUTTON,
       kMonitorResetId);
  RefreshDevices();
}

void MonitorForm::Layout() {
  if (window_ == nullptr) return;
  RECT client;
  ::GetClientRect(window_, &client);
  const int width = client.right - 2 * kMargin;
  const int height = client.bottom;
  ::MoveWindow(summary_, kMargin, kMargin, width, 16, TRUE);
  const int table_top = kMargin + 20;
  const int rest = height - table_top - kRowHeight - 3 * kMargin;
  const int table_height = std::max(60, rest * 45 / 100);
  ::MoveWindow(table_, kMargin, table_top, width, table_height, TRUE);
  const int bar_top = table_top + table_height + kMargin;
  // The traffic's buttons in a row above it: each of its width.
  struct Place {
    int id;
    int width;
  };
  const Place bar[] = {{kMonitorPauseId, 70}, {kMonitorClearId, 80},   {kMonitorCopyId, 90},
                       {kMonitorHexId, 50},   {kMonitorDeviceId, 150}, {kMonitorResetId, 140}};
  int x = kMargin;
  for (const Place& place : bar) {
    const int extra = place.id == kMonitorDeviceId ? 200 : 0;  // the drop-down list
    ::MoveWindow(::GetDlgItem(window_, place.id), x, bar_top, place.width, kRowHeight - 2 + extra,
                 TRUE);
    x += place.width + kMargin;
  }
  const int traffic_top = bar_top + kRowHeight + kMargin / 2;
  ::MoveWindow(traffic_, kMargin, traffic_top, width, std::max(60, height - traffic_top - kMargin),
               TRUE);
}

void MonitorForm::NotePlace() {
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  if (window_ == nullptr || !::GetWindowPlacement(window_, &placement)) return;
  const RECT& r = placement.rcNormalPosition;
  place_ = {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

std::optional<std::int32_t> MonitorForm::FilterDevice() const {
  const auto chosen = static_cast<int>(::SendMessageW(device_, CB_GETCURSEL, 0, 0));
  if (chosen <= 0 || static_cast<std::size_t>(chosen) > devices_.size()) return std::nullopt;
  return devices_[static_cast<std::size_t>(chosen) - 1];
}

void MonitorForm::Refresh() {
  if (window_ == nullptr) return;
  RefreshSummary();
  RefreshDevices();
  RefreshTable();
  RefreshTraffic();
}

void MonitorForm::LineFree() {
  if (due_ == 0 || window_ == nullptr) return;
  // Inside the poll cycle, not a window procedure: nothing may escape.
  try {
    if ((due_ & kTableDue) != 0) {
      due_ &= ~kTableDue;
      RefreshSummary();
      RefreshDevices();
      RefreshTable();
      ::UpdateWindow(table_);
    } else {
      due_ = 0;
      ::KillTimer(window_, kIdleRefreshTimer);
      RefreshTraffic();
      ::UpdateWindow(traffic_);
    }
  } catch (const std::exception& error) {
    due_ = 0;
    host_.ReportError(error.what());
  }
}

void MonitorForm::RefreshSummary() {
  const monitor::PassFigures passes = sink_.counters().passes();
  char rate[32];
  std::snprintf(rate, sizeof rate, "%.1f", sink_.counters().ReadingsPerSecond(clock_.NowNs()));
  std::string text(cp1251::Text("Проход: ").view());
  text += passes.passes == 0 ? std::string("-") : DurationText(passes.last_ns) + " ";
  text += std::string(cp1251::Text("мс (интервал ").view()) +
          std::to_string(settings_.TimeOutCycle()) +
          std::string(cp1251::Text(" мс)   Показаний в секунду: ").view()) + rate;
  std::replace(text.begin(), text.end(), '.', decimal_);
  const std::string services = host_.ServicesText();
  if (!services.empty()) text += "   " + services;
  const std::u16string wide = ToWide(text);
  ::SetWindowTextW(summary_, Wide(wide));
}

void MonitorForm::RefreshDevices() {
  std::vector<std::int32_t> devices;
  for (const auto& [address, counters] : sink_.counters().Devices()) devices.push_back(address);
  if (devices == devices_ && ::SendMessageW(device_, CB_GETCOUNT, 0, 0) > 0) return;
  const std::optional<std::int32_t> chosen = FilterDevice();
  devices_ = std::move(devices);
  ::SendMessageW(device_, CB_RESETCONTENT, 0, 0);
  const std::u16string all = ToWide(cp1251::Text("Все устройства").view());
  ::SendMessageW(device_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(all)));
  int selection = 0;
  for (std::size_t i = 0; i < devices_.size(); ++i) {
    const std::u16string name =
        ToWide(std::string(cp1251::Text("Устройство ").view()) + std::to_string(devices_[i]));
    ::SendMessageW(device_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(name)));
    if (chosen == devices_[i]) selection = static_cast<int>(i) + 1;
  }
  ::SendMessageW(device_, CB_SETCURSEL, static_cast<WPARAM>(selection), 0);
}

void MonitorForm::RefreshTable() {
  const config::SensorTable& table = settings_.table();
  std::vector<monitor::SensorNames> sensors;
  for (int row = 1; row < table.RowCount(); ++row) {
    sensors.push_back({table.Cell(0, row), host_.ItemText(row - 1).value_or("")});
  }
  std::vector<monitor::TableRow> rows = monitor::TableRows(sink_, sensors, zone_, decimal_);
  monitor::SortRows(rows, sort_column_, sort_descending_, decimal_);
  rows_.swap(rows);
  const auto count = static_cast<int>(rows_.size());
  if (ListView_GetItemCount(table_) != count) {
    ListView_SetItemCountEx(table_, count, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    ::InvalidateRect(table_, nullptr, FALSE);
    return;
  }
  const int top = ListView_GetTopIndex(table_);
  const int end = std::min(count, top + ListView_GetCountPerPage(table_) + 1);
  for (int i = std::max(top, 0); i < end; ++i) {
    const auto r = static_cast<std::size_t>(i);
    if (r >= rows.size() || rows[r].cells != rows_[r].cells ||
        rows[r].failing != rows_[r].failing) {
      ListView_RedrawItems(table_, i, i);
    }
  }
}

void MonitorForm::RefreshTraffic() {
  if (paused_now_) return;
  const monitor::TrafficRing& ring = sink_.traffic();
  const std::optional<std::int32_t> filter = FilterDevice();
  if (ring.added() == seen_added_ && filter == seen_filter_) return;
  seen_added_ = ring.added();
  seen_filter_ = filter;
  shown_.clear();
  for (std::size_t i = 0; i < ring.size(); ++i) {
    if (monitor::MatchesDevice(ring[i], filter)) shown_.push_back(i);
  }
  ListView_SetItemCountEx(traffic_, static_cast<int>(shown_.size()), LVSICF_NOSCROLL);
  // The newest line in sight, unless the user looks at a selection.
  if (!shown_.empty() && ListView_GetSelectedCount(traffic_) == 0) {
    ListView_EnsureVisible(traffic_, static_cast<int>(shown_.size()) - 1, FALSE);
  }
  ::InvalidateRect(traffic_, nullptr, FALSE);
}

const monitor::TrafficLine& MonitorForm::ShownLine(std::size_t index) const {
  return paused_now_ ? paused_[index] : sink_.traffic()[shown_[index]];
}

void MonitorForm::TableCell(NMLVDISPINFOW& info) {
  const auto row = static_cast<std::size_t>(info.item.iItem);
  if ((info.item.mask & LVIF_TEXT) == 0 || row >= rows_.size()) return;
  const int column = info.item.iSubItem;
  if (column < 0 || column >= monitor::kColumnCount) return;
  cell_text_ = ToWide(rows_[row].cells[static_cast<std::size_t>(column)]);
  info.item.pszText = const_cast<wchar_t*>(Wide(cell_text_));
}

void MonitorForm::TrafficCell(NMLVDISPINFOW& info) {
  const auto index = static_cast<std::size_t>(info.item.iItem);
  const std::size_t count = paused_now_ ? paused_.size() : shown_.size();
  if ((info.item.mask & LVIF_TEXT) == 0 || index >= count) return;
  const monitor::TrafficLine& line = ShownLine(index);
  std::string text;
  switch (info.item.iSubItem) {
    case kTimeColumn:
      text = CivilTimeText(zone_.LocalOf(line.utc_ns)).substr(11);
      break;
    case kDirectionColumn:
      text.assign(1, line.direction == monitor::Direction::kRequest ? '>' : '<');
      break;
    case kAddressColumn:
      text = std::to_string(line.address);
      break;
    case kBytesColumn:
      text = hex_ ? monitor::HexBytes(line.bytes) : monitor::EscapedBytes(line.bytes);
      break;
    case kResultColumn:
      if (line.direction == monitor::Direction::kReply) text = poll::QualityWord(line.outcome);
      break;
    default:
      return;
  }
  cell_text_ = ToWide(text);
  info.item.pszText = const_cast<wchar_t*>(Wide(cell_text_));
}

LRESULT MonitorForm::TableCustomDraw(NMLVCUSTOMDRAW& draw) {
  switch (draw.nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
      return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT: {
      const auto row = static_cast<std::size_t>(draw.nmcd.dwItemSpec);
      if (row < rows_.size() && rows_[row].failing) draw.clrText = kFailingColour;
      if (row < rows_.size() && rows_[row].device) draw.clrTextBk = ::GetSysColor(COLOR_BTNFACE);
      return CDRF_DODEFAULT;
    }
    default:
      return CDRF_DODEFAULT;
  }
}

LRESULT MonitorForm::OnNotify(const NMHDR& header) {
  if (header.hwndFrom == table_) {
    if (header.code == LVN_GETDISPINFOW) {
      TableCell(*reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(&header)));
    } else if (header.code == NM_CUSTOMDRAW) {
      return TableCustomDraw(*reinterpret_cast<NMLVCUSTOMDRAW*>(const_cast<NMHDR*>(&header)));
    } else if (header.code == LVN_COLUMNCLICK) {
      const int column = reinterpret_cast<const NMLISTVIEW*>(&header)->iSubItem;
      sort_descending_ = column == sort_column_ ? !sort_descending_ : false;
      sort_column_ = column;
      RefreshTable();
    } else if (header.code == LVN_KEYDOWN &&
               reinterpret_cast<const NMLVKEYDOWN*>(&header)->wVKey == 'C' &&
               (::GetKeyState(VK_CONTROL) & 0x8000) != 0) {
      CopyTable();
    }
  } else if (header.hwndFrom == traffic_) {
    if (header.code == LVN_GETDISPINFOW) {
      TrafficCell(*reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(&header)));
    } else if (header.code == LVN_KEYDOWN &&
               reinterpret_cast<const NMLVKEYDOWN*>(&header)->wVKey == 'C' &&
               (::GetKeyState(VK_CONTROL) & 0x8000) != 0) {
      CopyTraffic(/*all=*/false);
    }
  }
  return 0;
}

bool MonitorForm::CopyToClipboard(const std::string& text) {
  const std::u16string wide = ToWide(text);
  const std::size_t bytes = (wide.size() + 1) * sizeof(char16_t);
  if (!::OpenClipboard(window_)) return false;
  ::EmptyClipboard();
  bool done = false;
  if (HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, bytes)) {
    if (void* at = ::GlobalLock(memory)) {
      std::copy_n(wide.c_str(), wide.size() + 1, static_cast<char16_t*>(at));
      ::GlobalUnlock(memory);
      done = ::SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    }
    if (!done) ::GlobalFree(memory);  // the clipboard did not take it
  }
  ::CloseClipboard();
  return done;
}

bool MonitorForm::CopyTraffic(bool all) {
  const std::size_t count = paused_now_ ? paused_.size() : shown_.size();
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    if (!all && (ListView_GetItemState(traffic_, static_cast<int>(i), LVIS_SELECTED) &
                 LVIS_SELECTED) == 0) {
      continue;
    }
    const monitor::TrafficLine& line = ShownLine(i);
    text += monitor::TrafficText(line, zone_.LocalOf(line.utc_ns), hex_) + "\r\n";
  }
  if (all && count > 0) ListView_SetItemState(traffic_, -1, LVIS_SELECTED, LVIS_SELECTED);
  return !text.empty() && CopyToClipboard(text);
}

bool MonitorForm::CopyTable() {
  std::string text;
  for (int c = 0; c < monitor::kColumnCount; ++c) {
    if (c > 0) text += '\t';
    text += monitor::ColumnTitle(c);
  }
  text += "\r\n";
  const bool selected_only = ListView_GetSelectedCount(table_) > 0 && ::GetFocus() == table_;
  for (std::size_t r = 0; r < rows_.size(); ++r) {
    if (selected_only &&
        (ListView_GetItemState(table_, static_cast<int>(r), LVIS_SELECTED) & LVIS_SELECTED) == 0) {
      continue;
    }
    for (int c = 0; c < monitor::kColumnCount; ++c) {
      if (c > 0) text += '\t';
      text += rows_[r].cells[static_cast<std::size_t>(c)];
    }
    text += "\r\n";
  }
  return CopyToClipboard(text);
}

void MonitorForm::Command(int id, int code) {
  switch (id) {
    case kMonitorPauseId:
      paused_now_ = ::IsDlgButtonChecked(window_, kMonitorPauseId) == BST_CHECKED;
      paused_.clear();
      if (paused_now_) {
        // The ring moves on; the view keeps what it showed.
        for (std::size_t i : shown_) paused_.push_back(sink_.traffic()[i]);
      } else {
        seen_added_ = ~std::uint64_t{0};
        RefreshTraffic();
      }
      break;
    case kMonitorClearId:
      sink_.traffic().Clear();
      paused_.clear();
      shown_.clear();
      ListView_SetItemCountEx(traffic_, 0, 0);
      seen_added_ = ~std::uint64_t{0};
      break;
    case kMonitorCopyId:
      CopyTraffic(/*all=*/false);
      break;
    case kMonitorHexId:
      hex_ = ::IsDlgButtonChecked(window_, kMonitorHexId) == BST_CHECKED;
      ::InvalidateRect(traffic_, nullptr, FALSE);
      break;
    case kMonitorDeviceId:
      if (code == CBN_SELCHANGE) RefreshTraffic();
      break;
    case kMonitorResetId:
      sink_.ResetCounters();
      Refresh();
      break;
    default:
      break;
  }
}

LRESULT MonitorForm::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_SIZE:
      Layout();
      return 0;
    case WM_GETMINMAXINFO: {
      auto* limits = reinterpret_cast<MINMAXINFO*>(lparam);
      limits->ptMinTrackSize = {kMinWidth, kMinHeight};
      return 0;
    }
    case WM_TIMER:
      if (wparam == kRefreshTimer) {
        due_ = kTableDue | kTrafficDue;
        ::SetTimer(window_, kIdleRefreshTimer, kIdleRefreshMs, /*lpTimerFunc=*/nullptr);
      } else if (wparam == kIdleRefreshTimer) {
        ::KillTimer(window_, kIdleRefreshTimer);
        if (due_ != 0) Refresh();
        due_ = 0;
      }
      return 0;
    case WM_NOTIFY:
      return OnNotify(*reinterpret_cast<const NMHDR*>(lparam));
    case WM_COMMAND:
      Command(LOWORD(wparam), HIWORD(wparam));
      return 0;
    case kMonitorCopyTable:
      RefreshTable();
      return CopyTable() ? TRUE : FALSE;
    case kMonitorCopyTraffic:
      RefreshTraffic();
      return CopyTraffic(/*all=*/true) ? TRUE : FALSE;
    case kMonitorRefresh:
      Refresh();
      return TRUE;
    case WM_CLOSE:
      NotePlace();
      ::KillTimer(window_, kRefreshTimer);
      ::KillTimer(window_, kIdleRefreshTimer);
      ::DestroyWindow(window_);
      return 0;
    default:
      return ::DefWindowProcW(window_, message, wparam, lparam);
  }
}

}  // namespace quorvel::ui
