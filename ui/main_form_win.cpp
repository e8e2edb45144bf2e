#include "ui/main_form_win.h"

#include <shellapi.h>

#include <array>
#include <stdexcept>
#include <utility>

#include "base/cp1251.h"
#include "base/executable_path.h"
#include "base/wide_win.h"
#include "ui/error_report_win.h"
#include "ui/glyph_button_win.h"
#include "ui/main_form_ids.h"
#include "ui/main_form_rules.h"
#include "ui/message_dialog_win.h"
#include "ui/message_texts.h"
#include "ui/resource_ids.h"
#include "ui/window_proc_win.h"

namespace quorvel::ui {

namespace {

constexpr int kClientWidth = 337;
constexpr int kClientHeight = 54;
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr int kDesignedLeft = 284;
constexpr int kDesignedTop = 524;
constexpr UINT_PTR kClockTimer = 1;
constexpr UINT kClockMs = 500;
constexpr UINT_PTR kTimer2 = 2;
constexpr UINT kTimer2Ms = 50;

constexpr const wchar_t* kTitle = kApplicationTitle;
constexpr auto kPortHint = cp1251::Text("Занятый программой СОМ порт");
constexpr auto kStart = cp1251::Text("Старт");
constexpr auto kStop = cp1251::Text("Стоп");

std::u16string ToWide(std::string_view text) {
  return cp1251::ToUtf16(text);
}

// Menu items with an image of the list.
int MenuImage(UINT id) {
  return id == kSetup1Id ? kImageTools : -1;
}

}  // namespace

TForm1::TForm1(HINSTANCE instance, config::Settings& settings, MainFormHost& host)
    : instance_(instance), settings_(settings), host_(host) {}

TForm1::~TForm1() {
  if (window_ != nullptr) {
    ::DestroyWindow(window_);  // the menu goes with it
  } else if (menu_ != nullptr) {
    ::DestroyMenu(menu_);
  }
}

bool TForm1::Create(const std::vector<std::string>& arguments) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = ObjectWindowProc<TForm1>;
  window_class.hInstance = instance_;
  window_class.hIcon = ::LoadIconW(instance_, MAKEINTRESOURCEW(QUORVEL_ICON_ID));
  window_class.hIconSm = static_cast<HICON>(::LoadImageW(
      instance_, MAKEINTRESOURCEW(QUORVEL_ICON_ID), IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
      ::GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
  window_class.hCursor = ::LoadCursorW(/*hInstance=*/nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kMainFormClass;
  if (::RegisterClassExW(&window_class) == 0) return false;
  // The status bar only holds its panes and paints itself flat, in the
  // face colour: the default procedure does all of that.
  WNDCLASSEXW bar_class{};
  bar_class.cbSize = sizeof bar_class;
  bar_class.lpfnWndProc = ::DefWindowProcW;
  bar_class.hInstance = instance_;
  bar_class.hCursor = window_class.hCursor;
  bar_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  bar_class.lpszClassName = kStatusBarClass;
  if (::RegisterClassExW(&bar_class) == 0) return false;

  menu_ = CreateMainMenu();
  RECT frame{0, 0, kClientWidth, kClientHeight};
  ::AdjustWindowRectEx(&frame, kStyle, /*bMenu=*/TRUE, WS_EX_CONTROLPARENT);
  window_ = ::CreateWindowExW(WS_EX_CONTROLPARENT, kMainFormClass, kTitle, kStyle, kDesignedLeft,
                              kDesignedTop, frame.right - frame.left, frame.bottom - frame.top,
                              /*hWndParent=*/nullptr, menu_, instance_, this);
  if (window_ == nullptr) return false;
  // The menu bar may wrap on a narrow window: the client area is what counts.
  RECT client;
  ::GetClientRect(window_, &client);
  if (client.bottom != kClientHeight) {
    RECT outer;
    ::GetWindowRect(window_, &outer);
    ::SetWindowPos(window_, nullptr, 0, 0, outer.right - outer.left,
                   outer.bottom - outer.top + kClientHeight - client.bottom,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  CreateControls();
  ReadDecimalSeparator(/*user_default=*/false);
  UpdateClock();
  ::SetTimer(window_, kClockTimer, kClockMs, /*lpTimerFunc=*/nullptr);
  host_.ShowSplash();
  FormCreate(arguments);
  return true;
}

HMENU TForm1::CreateMainMenu() {
  const HMENU bar = ::CreateMenu();
  const HMENU service = ::CreatePopupMenu();
  const HMENU help = ::CreatePopupMenu();
  ::AppendMenuW(service, MF_STRING | MF_GRAYED, kSetup1Id, Wide(ToWide(cp1251::Text("Настройки"))));
  // It only looks, so it needs no unlocking.
  ::AppendMenuW(service, MF_STRING, kMonitorMenuId, Wide(ToWide(cp1251::Text("Монитор обмена"))));
  ::AppendMenuW(help, MF_STRING, kN2Id, Wide(ToWide(cp1251::Text("Вызов справки"))));
  ::AppendMenuW(help, MF_SEPARATOR, 0, nullptr);
  ::AppendMenuW(help, MF_STRING, kN4Id, Wide(ToWide(cp1251::Text("О программе"))));
  ::AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(service),
                Wide(ToWide(cp1251::Text("Сервис"))));
  ::AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), L"?");
  // The image is drawn by the window (WM_DRAWITEM), from the image list.
  MENUITEMINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = MIIM_BITMAP;
  info.hbmpItem = HBMMENU_CALLBACK;
  ::SetMenuItemInfoW(service, kSetup1Id, /*fByPosition=*/FALSE, &info);
  return bar;
}

void TForm1::CreateControls() {
  font_.reset(::CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                            DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif"));
  images_.Load(instance_, ::GetSysColor(COLOR_BTNFACE));

  struct Control {
    const wchar_t* window_class;
    DWORD style;
    int id;
    int left, top, width, height;
    bool in_bar;  // a pane of the status bar, placed in the bar
  };
  constexpr DWORD kPane = WS_CHILD | WS_VISIBLE | SS_CENTERIMAGE | SS_SUNKEN | SS_NOPREFIX;
  // The drop-down list's height includes its open list.
  const std::array<Control, 7> controls{{
      {L"STATIC", kPane | SS_CENTER | SS_NOTIFY, kStaticText3Id, 0, 7, 57, 23, false},
      {L"COMBOBOX", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, kCB1Id, 61,
       8, 84, 21 + 8 * 13, false},
      {L"STATIC", kPane | SS_CENTER, kStaticText2Id, 152, 7, 104, 23, false},
      {L"BUTTON", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, kSB1Id, 260, 7, 73, 23, false},
      {kStatusBarClass, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, kRzStatusBar1Id, 0, 35, 337, 19,
       false},
      {L"STATIC", kPane | SS_CENTER, kRzClockStatus1Id, 0, 0, 57, 19, true},
      {L"STATIC", kPane | SS_LEFT | SS_ENDELLIPSIS, kRzStatusPane1Id, 57, 0, 280, 19, true},
  }};
  for (const Control& c : controls) {
    const HWND child = ::CreateWindowExW(0, c.window_class, L"", c.style, c.left, c.top, c.width,
                                         c.height, c.in_bar ? status_bar_ : window_,
                                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)),
                                         instance_, /*lpParam=*/nullptr);
    ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    if (c.id == kRzStatusBar1Id) status_bar_ = child;
  }
  ::SetDlgItemTextW(window_, kSB1Id, Wide(ToWide(kStart)));

  // The port pane's hint, as a balloon after half a second.
  tooltip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                               WS_POPUP | TTS_ALWAYSTIP | TTS_BALLOON | TTS_NOPREFIX, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_,
                               /*hMenu=*/nullptr, instance_, /*lpParam=*/nullptr);
  const std::u16string hint = ToWide(kPortHint);  // the tooltip keeps a copy
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = window_;
  tool.uId = reinterpret_cast<UINT_PTR>(::GetDlgItem(window_, kStaticText3Id));
  tool.lpszText = const_cast<wchar_t*>(Wide(hint));
  ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  ::SendMessageW(tooltip_, TTM_SETDELAYTIME, TTDT_INITIAL, MAKELPARAM(500, 0));
  ::SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 300);
}

void TForm1::Show(int show_command) {
  ::ShowWindow(window_, show_command);
  ::UpdateWindow(window_);
  if (!shown_) {
    shown_ = true;
    FormShow();
  }
}

void TForm1::MoveTo(int left, int top) {
  ::SetWindowPos(window_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm1::FillSensorList() {
  const HWND list = ::GetDlgItem(window_, kCB1Id);
  ::SendMessageW(list, CB_RESETCONTENT, 0, 0);
  const config::SensorTable& table = settings_.table();
  for (int r = 1; r < table.RowCount(); ++r) {
    const std::u16string name = ToWide(table.Cell(0, r));
    ::SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(name)));
  }
  if (table.RowCount() > 1) ::SendMessageW(list, CB_SETCURSEL, 0, 0);
}

void TForm1::ReadDecimalSeparator(bool user_default) {
  // At start the thread's locale; on a settings change the user's default
  // locale, which the thread takes first.
  if (user_default) ::SetThreadLocale(LOCALE_USER_DEFAULT);
  wchar_t value[8] = {};
  const LCID locale = user_default ? LOCALE_USER_DEFAULT : ::GetThreadLocale();
  const int length = ::GetLocaleInfoW(locale, LOCALE_SDECIMAL, value, 8);
  const std::u16string wide(reinterpret_cast<const char16_t*>(value),
                            length > 0 ? static_cast<std::size_t>(length - 1) : 0);
  host_.Poll().DecimalSeparator = DecimalSeparatorOf(cp1251::FromUtf16(wide));
}

// PollWindow and MainPanes

void TForm1::ShowRunButton(bool polling) {
  button_image_ = polling ? kImageStop : kImageStart;
  const HWND button = ::GetDlgItem(window_, kSB1Id);
  ::SetWindowTextW(button,
                   Wide(ToWide(polling ? std::string_view(kStop) : std::string_view(kStart))));
  ::InvalidateRect(button, /*lpRect=*/nullptr, FALSE);
}

bool TForm1::SetupEnabled() const {
  return (::GetMenuState(menu_, kSetup1Id, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED)) == 0;
}

void TForm1::EnableSetup(bool enabled) {
  ::EnableMenuItem(menu_, kSetup1Id, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void TForm1::SetPaneText(int id, std::string_view text) {
  // A static control repaints as its text is set, also to the same text; at
  // every reading that would cost time between a reply and the next request.
  std::string& shown = pane_texts_[id];
  if (shown == text) return;
  shown = text;
  const bool in_bar = id == kRzClockStatus1Id || id == kRzStatusPane1Id;
  ::SetDlgItemTextW(in_bar ? status_bar_ : window_, id, Wide(ToWide(text)));
}

void TForm1::ShowStatus(std::string_view text) {
  SetPaneText(kRzStatusPane1Id, text);
}
void TForm1::ShowValue(std::string_view text) {
  SetPaneText(kStaticText2Id, text);
}
void TForm1::ShowPort(std::string_view name) {
  SetPaneText(kStaticText3Id, name);
}

int TForm1::SelectedSensor() const {
  return static_cast<int>(::SendDlgItemMessageW(window_, kCB1Id, CB_GETCURSEL, 0, 0));
}

void TForm1::Repaint() {
  ::UpdateWindow(window_);
}

// Handlers

void TForm1::FormCreate(const std::vector<std::string>& arguments) {
  help_file_ = HelpFilePath(ExecutablePath());
  guide_file_ = GuideFilePath(ExecutablePath());
  ShowStatus(kReadyText);
  if (HasSetupSwitch(arguments)) EnableSetup(true);
}

void TForm1::FormShow() {
  const bool workbook = settings_.OpenWorkbook();
  host_.EnableWorkbookControls(workbook);
  if (workbook) host_.OpenWorkbook();
  FillSensorList();
  ShowPort(settings_.ComPortName());
  if (settings_.AutoPoll()) ::SetTimer(window_, kTimer2, kTimer2Ms, /*lpTimerFunc=*/nullptr);
}

bool TForm1::FormCloseQuery() {
  const poll::PollRun& poll = host_.Poll();
  if (poll.Stopping()) {
    // The window already shows the stop; the run ends as soon as the pump it
    // arrived in returns, and the close follows then.
    close_pending_ = true;
    return false;
  }
  if (poll.Tag() != 0) {
    const std::array<DialogButton, 1> yes{{{u"&Yes", IDYES}}};
    ShowMessageDialog(window_, u"Error", ToWide(kPollingNowText), DialogIcon::kError, yes);
    return false;
  }
  // Saved before anything is released: a failed save leaves the program
  // whole, DDE items included, and the window open.
  NotePosition();
  if (const std::optional<std::string> error = host_.SaveSettings()) {
    throw std::runtime_error(*error);
  }
  host_.ReleaseItems();
  host_.ReleaseInstance();
  return true;
}

void TForm1::EndSession() {
  // The process may be ended as soon as this returns, and no close handling
  // follows: the run is ended here and the files saved as a close saves
  // them. Nothing may wait for the user now, so a failed save is not shown.
  const auto quietly = [](const auto& step) {
    try {
      step();
    } catch (...) {  // nothing is reported now; the next step still runs
    }
  };
  quietly([&] { host_.Poll().EndRun(); });
  quietly([&] {
    NotePosition();
    (void)host_.SaveSettings();
  });
  quietly([&] { host_.ReleaseInstance(); });
}

void TForm1::NotePosition() {
  // The normal position, so a minimised window stores where it will come
  // back; it is in workspace coordinates, the stored place in screen ones.
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  if (!::GetWindowPlacement(window_, &placement)) return;
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  const HMONITOR on = ::MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST);
  if (on == nullptr || !::GetMonitorInfoW(on, &monitor)) return;
  const ScreenPoint place = ScreenFromWorkspace(
      {placement.rcNormalPosition.left, placement.rcNormalPosition.top},
      {monitor.rcWork.left, monitor.rcWork.top}, {monitor.rcMonitor.left, monitor.rcMonitor.top});
  settings_.SetFormLeft(place.x);
  settings_.SetFormTop(place.y);
}

void TForm1::SB1Click() {
  poll::PollRun& poll = host_.Poll();
  poll.SB1Click();
  if (poll.Tag() == 0 && std::exchange(close_pending_, false)) {
    ::PostMessageW(window_, WM_CLOSE, 0, 0);
  }
}

void TForm1::Timer2Timer() {
  ::KillTimer(window_, kTimer2);
  SB1Click();
}

void TForm1::CB1Change() {
  const int chosen = SelectedSensor();
  if (chosen < 0) return;
  if (const std::optional<std::string> text = host_.ItemText(chosen)) ShowValue(*text);
}

void TForm1::Setup1Click() {
  host_.ShowSetup();
}

void TForm1::N2Click() {
  const DWORD attributes = ::GetFileAttributesA(help_file_.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    ::WinHelpA(window_, help_file_.c_str(), HELP_FINDER, 0);
    return;
  }
  // No help viewer file beside the program (our installs ship none): the
  // viewer would only say so. The guide opens in the user's browser instead.
  const auto result = reinterpret_cast<INT_PTR>(::ShellExecuteW(
      window_, L"open", Wide(ToWide(guide_file_)), nullptr, nullptr, SW_SHOWNORMAL));
  if (result <= 32) ShowErrorReport(window_, std::string(kGuideNotOpenedText.view()) + guide_file_);
}

void TForm1::N4Click() {
  host_.ShowAbout();
}

void TForm1::UpdateClock() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  SetPaneText(kRzClockStatus1Id, ClockText(now.wHour, now.wMinute, now.wSecond));
}

// Drawing

void TForm1::DrawButton(const DRAWITEMSTRUCT& item) {
  DrawGlyphButton(item, font_.get(), images_.get(), button_image_, kImageCross);
}

void TForm1::MeasureMenuItem(MEASUREITEMSTRUCT& item) {
  item.itemWidth = kImageSize;
  item.itemHeight = kImageSize;
}

void TForm1::DrawMenuItem(const DRAWITEMSTRUCT& item) {
  const int image = MenuImage(item.itemID);
  if (image < 0) return;
  const bool disabled = (item.itemState & (ODS_GRAYED | ODS_DISABLED)) != 0;
  const UniqueIcon icon(::ImageList_GetIcon(images_.get(), image, ILD_NORMAL));
  if (!icon) return;
  const int top = item.rcItem.top + (item.rcItem.bottom - item.rcItem.top - kImageSize) / 2;
  ::DrawStateW(item.hDC, /*hbrFore=*/nullptr, /*qfnCallBack=*/nullptr,
               reinterpret_cast<LPARAM>(icon.get()), 0, item.rcItem.left, top, kImageSize,
               kImageSize, DST_ICON | (disabled ? DSS_DISABLED : DSS_NORMAL));
}

// Messages

void TForm1::Attach(HWND window) {
  window_ = window;
  if (window == nullptr) menu_ = nullptr;  // destroyed with the window
}

void TForm1::ReportError(const std::string& text) {
  host_.ReportError(text);
}

LRESULT TForm1::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND: {
      const int id = LOWORD(wparam);
      const int code = HIWORD(wparam);
      if (id == kSB1Id && code == BN_CLICKED) SB1Click();
      if (id == kCB1Id && code == CBN_SELCHANGE) CB1Change();
      if (lparam == 0 && id == kSetup1Id) Setup1Click();
      if (lparam == 0 && id == kN2Id) N2Click();
      if (lparam == 0 && id == kN4Id) N4Click();
      if (lparam == 0 && id == kMonitorMenuId) host_.ShowMonitor();
      return 0;
    }
    case WM_TIMER:
      if (wparam == kClockTimer) UpdateClock();
      if (wparam == kTimer2) Timer2Timer();
      return 0;
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
      if (item.CtlType == ODT_BUTTON) DrawButton(item);
      if (item.CtlType == ODT_MENU) DrawMenuItem(item);
      return TRUE;
    }
    case WM_MEASUREITEM: {
      auto& item = *reinterpret_cast<MEASUREITEMSTRUCT*>(lparam);
      if (item.CtlType == ODT_MENU) MeasureMenuItem(item);
      return TRUE;
    }
    case WM_SETTINGCHANGE:
      ReadDecimalSeparator(/*user_default=*/true);
      break;
    case WM_CLOSE:
      if (FormCloseQuery()) ::DestroyWindow(window_);
      return 0;
    case WM_QUERYENDSESSION:
      // Never holds up the end of the session: the files are saved once it
      // really ends (WM_ENDSESSION).
      return TRUE;
    case WM_ENDSESSION:
      if (wparam != FALSE) EndSession();
      return 0;
    case WM_DESTROY:
      ::KillTimer(window_, kClockTimer);
      ::KillTimer(window_, kTimer2);
      ::PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(window_, message, wparam, lparam);
}

}  // namespace quorvel::ui
