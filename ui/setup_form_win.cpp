#include "ui/setup_form_win.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <array>
#include <utility>

#include "base/cp1251.h"
#include "base/wide_win.h"
#include "config/secret_seal_win.h"
#include "ui/form_captions.h"
#include "ui/glyph_button_win.h"
#include "ui/image_list_win.h"
#include "ui/message_texts.h"
#include "ui/modal_loop_win.h"
#include "ui/setup_form_ids.h"
#include "ui/window_proc_win.h"

namespace quorvel::ui {

namespace {

constexpr int kClientWidth = 418;
// The broker's and the log's settings do not fit below the demotion on the
// page "Дополнительно" as the first pages left it, so the dialog is taller
// than they were laid out for; their controls keep their places and sizes.
constexpr int kClientHeight = 628;
constexpr int kFirstPagesClientHeight = 335;
constexpr int kPanelHeight = 41;
// Not clipping its children: a group box paints only its frame and caption,
// the dialog its inside.
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kExStyle = WS_EX_TOOLWINDOW | WS_EX_CONTROLPARENT;

constexpr int kPageGeneral = 0;
constexpr int kPageSearch = 1;
constexpr int kPageExchange = 2;
constexpr int kPageDde = 3;
constexpr int kPageMore = 4;
constexpr int kEveryPage = -1;

constexpr int kSearchNodes = 10;
constexpr wchar_t kSearchResult[] =
    L"Адрес прибора (№ прибора) 1; каналов 24; скорость обмена  9600";

// The range of each number box, by its identity.
config::Range SpinRange(int edit_id) {
  if (edit_id == kSE1Id) return config::kSensorCountRange;
  if (edit_id == kSE2Id) return config::kTimeOutRange;
  if (edit_id == kDemoteAfterId) return config::kDemoteAfterRange;
  if (edit_id == kDemoteForId) return config::kDemoteForRange;
  if (edit_id == kMqttPortId) return config::kMqttPortRange;
  if (edit_id == kMqttBufferId) return config::kMqttBufferRange;
  if (edit_id == kLogKeepDaysId) return config::kLogKeepDaysRange;
  if (edit_id == kOpcUaPortId) return config::kOpcUaPortRange;
  return config::kCycleRange;
}

// The number boxes with their pages, in the order of their spin buttons.
constexpr std::array<std::pair<int, int>, 9> kSpinEdits{{{kSE1Id, kPageExchange},
                                                         {kSE2Id, kPageExchange},
                                                         {kSE3Id, kPageExchange},
                                                         {kDemoteAfterId, kPageMore},
                                                         {kDemoteForId, kPageMore},
                                                         {kMqttPortId, kPageMore},
                                                         {kMqttBufferId, kPageMore},
                                                         {kLogKeepDaysId, kPageMore},
                                                         {kOpcUaPortId, kPageMore}}};

bool IsSpinEdit(int id) {
  return std::ranges::any_of(kSpinEdits, [id](const auto& edit) { return edit.first == id; });
}

// The broker's boxes that take effect when they lose the focus, with the
// field of the settings each shows. (The password's box is apart: it shows
// the clear text of a sealed field.)
struct MqttTextBox {
  int id;
  std::string config::MqttSettings::*field;
};
constexpr std::array<MqttTextBox, 5> kMqttTextBoxes{{
    {kMqttHostId, &config::MqttSettings::host},
    {kMqttClientId, &config::MqttSettings::client_id},
    {kMqttUserId, &config::MqttSettings::user},
    {kMqttCaFileId, &config::MqttSettings::ca_file},
    {kMqttTopicRootId, &config::MqttSettings::topic_root},
}};
struct MqttNumberBox {
  int id;
  int config::MqttSettings::*field;
};
constexpr std::array<MqttNumberBox, 2> kMqttNumberBoxes{{
    {kMqttPortId, &config::MqttSettings::port},
    {kMqttBufferId, &config::MqttSettings::buffer_messages},
}};

bool IsMqttBox(int id) {
  return id == kMqttPasswordId ||
         std::ranges::any_of(kMqttTextBoxes, [id](const auto& box) { return box.id == id; }) ||
         std::ranges::any_of(kMqttNumberBoxes, [id](const auto& box) { return box.id == id; });
}

// The services' states, asked of the host while the dialog shows.
constexpr UINT_PTR kServiceStateTimer = 1;
constexpr UINT kServiceStateMs = 500;

}  // namespace

struct TSetupForm::Control {
  const wchar_t* window_class;
  const wchar_t* text;
  DWORD style;
  DWORD ex_style;
  int id;
  int page;
  int left, top, width, height;  // in the page's coordinates
};

TSetupForm::TSetupForm(HINSTANCE instance, HWND owner, HIMAGELIST images,
                       config::Settings& settings, poll::DdeComponents& dde, SetupFormHost& host)
    : instance_(instance),
      owner_(owner),
      images_(images),
      settings_(settings),
      dde_(dde),
      host_(host),
      grid_(settings.table(), [](int row, int col) { return SG1GridHint(row, col); }) {}

TSetupForm::~TSetupForm() {
  if (window_ != nullptr) ::DestroyWindow(window_);
}

bool TSetupForm::Create() {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = ObjectWindowProc<TSetupForm>;
  window_class.hInstance = instance_;
  window_class.hCursor = ::LoadCursorW(/*hInstance=*/nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kSetupFormClass;
  // A later dialog of the same process (a test's) finds the class there.
  if (::RegisterClassExW(&window_class) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    return false;
  }

  RECT frame{0, 0, kClientWidth, kClientHeight};
  ::AdjustWindowRectEx(&frame, kStyle, /*bMenu=*/FALSE, kExStyle);
  window_ = ::CreateWindowExW(kExStyle, kSetupFormClass, Wide(cp1251::ToUtf16(kSetupFormCaption)),
                              kStyle, CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                              frame.bottom - frame.top, owner_, /*hMenu=*/nullptr, instance_, this);
  if (window_ == nullptr) return false;
  CreateControls();
  FormCreate();
  return true;
}

HWND TSetupForm::AddControl(const Control& c) {
  const RECT page = c.page == kEveryPage ? RECT{0, 0, kClientWidth, kClientHeight} : page_;
  const HWND child = ::CreateWindowExW(
      c.ex_style, c.window_class, c.text, WS_CHILD | c.style, page.left + c.left, page.top + c.top,
      c.width, c.height, window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance_,
      /*lpParam=*/nullptr);
  if (child == nullptr) return nullptr;
  ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  if (c.page != kEveryPage) paged_.emplace_back(child, c.page);
  return child;
}

void TSetupForm::CreateControls() {
  font_.reset(::CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                            DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif"));

  tabs_ = ::CreateWindowExW(0, WC_TABCONTROLW, L"",
                            WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP | WS_GROUP, 0, 0,
                            kClientWidth, kClientHeight - kPanelHeight, window_,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kRzPageControl1Id)),
                            instance_, /*lpParam=*/nullptr);
  ::SendMessageW(tabs_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  ::SendMessageW(tabs_, TCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images_));
  // The search page has no tab: the user cannot reach it.
  struct Tab {
    const wchar_t* caption;
    int image;
  };
  const std::array<Tab, 4> tabs{{{L"Общие", kImageSheetTick},
                                 {L"Обмен", kImagePlug},
                                 {L"Настройки DDE", kImageChart},
                                 {L"Дополнительно", kImageTools}}};
  for (int i = 0; i < static_cast<int>(tabs.size()); ++i) {
    TCITEMW item{};
    item.mask = TCIF_TEXT | TCIF_IMAGE;
    item.pszText = const_cast<wchar_t*>(tabs[static_cast<std::size_t>(i)].caption);
    item.iImage = tabs[static_cast<std::size_t>(i)].image;
    ::SendMessageW(tabs_, TCM_INSERTITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
  }
  // The tab control keeps only its strip of tabs; the pages are the
  // dialog's own surface, framed by the dialog, so the controls on them
  // share their colour whatever a theme does to a tab control's pane.
  page_ = RECT{0, 0, kClientWidth, kClientHeight - kPanelHeight};
  ::SendMessageW(tabs_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&page_));
  ::SetWindowPos(tabs_, nullptr, 0, 0, kClientWidth, page_.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

  constexpr DWORD kGroup = BS_GROUPBOX;
  constexpr DWORD kCheck = WS_TABSTOP | WS_GROUP | BS_AUTOCHECKBOX;
  constexpr DWORD kLabel = SS_LEFT | SS_NOPREFIX;
  constexpr DWORD kList = WS_TABSTOP | WS_GROUP | WS_VSCROLL | CBS_DROPDOWNLIST;
  constexpr DWORD kEdit = WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL;
  constexpr DWORD kSpin = kEdit | ES_NUMBER;
  constexpr DWORD kBorder = WS_EX_CLIENTEDGE;
  const std::array<Control, 80> controls{{
      // "Общие"
      {L"BUTTON", L" Настройки для программы ", kGroup, 0, kProgramGroupId, kPageGeneral, 6, 4, 398,
       136},
      {L"BUTTON", L"Автозапуск программы при загрузки Windows", kCheck, 0, kSetupCB1Id,
       kPageGeneral, 16, 22, 370, 17},
      {L"BUTTON", L"Автозапуск опроса при загрузке программы", kCheck, 0, kSetupCB2Id, kPageGeneral,
       16, 44, 370, 17},
      {L"BUTTON", L" Показать Quorvel в:  ", kGroup, 0, kRzRadioGroup1Id, kPageGeneral, 16, 66, 378,
       64},
      {L"BUTTON", L"Только в панель задач", WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON, 0,
       kRadioTaskbarId, kPageGeneral, 28, 84, 340, 17},
      {L"BUTTON", L"Только в трей", BS_AUTORADIOBUTTON, 0, kRadioTrayId, kPageGeneral, 28, 106, 340,
       17},
      {L"BUTTON", L" Настройки для Excel ", kGroup, 0, kExcelGroupId, kPageGeneral, 6, 146, 398,
       74},
      {L"BUTTON", L"Запускать Excel-файл при запуске программы", kCheck, 0, kSetupCB3Id,
       kPageGeneral, 16, 164, 370, 17},
      {L"STATIC", L"Excel файл", SS_RIGHT | SS_NOPREFIX | WS_GROUP, 0, kRzLabel8Id, kPageGeneral,
       10, 193, 76, 14},
      {L"EDIT", L"", kEdit | ES_READONLY, kBorder, kRBE1Id, kPageGeneral, 90, 190, 280, 21},
      {L"BUTTON", L"...", WS_TABSTOP | BS_PUSHBUTTON, 0, kRBE1ButtonId, kPageGeneral, 372, 190, 24,
       21},
      // The device search, never shown.
      {WC_TREEVIEWW, L"", WS_TABSTOP | WS_GROUP | TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT,
       kBorder, kRzTreeView1Id, kPageSearch, 6, 4, 398, 200},
      {PROGRESS_CLASSW, L"", 0, 0, kRzProgressBar1Id, kPageSearch, 6, 210, 300, 18},
      {L"BUTTON", L"Поиск", WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON, 0, kFindButtonId, kPageSearch,
       314, 208, 90, 23},
      // "Обмен"
      {L"BUTTON", L" Настройки СОМ порта ", kGroup, 0, kPortGroupId, kPageExchange, 4, 2, 402, 44},
      {L"STATIC", L"Номер СОМ-порта", kLabel | WS_GROUP, 0, 0, kPageExchange, 12, 21, 110, 14},
      {L"COMBOBOX", L"", kList, 0, kCOMCBId, kPageExchange, 124, 17, 76, 21 + 10 * 13},
      {L"STATIC", L"Скорость обмена", kLabel | WS_GROUP, 0, 0, kPageExchange, 214, 21, 106, 14},
      {L"COMBOBOX", L"", kList, 0, kSpeedCBId, kPageExchange, 322, 17, 76, 21 + 8 * 13},
      {L"BUTTON", L" Настройки для опрашиваемых датчиков ", kGroup, 0, kSensorGroupId,
       kPageExchange, 4, 48, 402, 76},
      {L"STATIC", L"Количество опрашиваемых датчиков", kLabel | WS_GROUP, 0, 0, kPageExchange, 12,
       64, 150, 28},
      {L"EDIT", L"", kSpin, kBorder, kSE1Id, kPageExchange, 12, 95, 100, 21},
      {L"STATIC", L"Время ожидания ответа, мс", kLabel | WS_GROUP, 0, 0, kPageExchange, 166, 64,
       116, 28},
      {L"EDIT", L"", kSpin, kBorder, kSE2Id, kPageExchange, 166, 95, 100, 21},
      {L"STATIC", L"Интервал опроса цикла, мс", kLabel | WS_GROUP, 0, 0, kPageExchange, 288, 64,
       112, 28},
      {L"EDIT", L"", kSpin, kBorder, kSE3Id, kPageExchange, 288, 95, 100, 21},
      // "Настройки DDE"
      {L"BUTTON", L" Формирование раздела и объекта ", kGroup, 0, kDdeGroupId, kPageDde, 6, 4, 398,
       82},
      {L"STATIC", L"DDE раздел", kLabel | WS_GROUP, 0, 0, kPageDde, 16, 27, 80, 14},
      {L"EDIT", L"", kEdit, kBorder, kRzEdit1Id, kPageDde, 100, 24, 200, 21},
      {L"STATIC", L"DDE объект", kLabel | WS_GROUP, 0, 0, kPageDde, 16, 55, 80, 14},
      {L"EDIT", L"", kEdit, kBorder, kRzEdit2Id, kPageDde, 100, 52, 200, 21},
      // "Дополнительно"
      {L"BUTTON", L" Неотвечающие приборы ", kGroup, 0, kDemoteGroupId, kPageMore, 6, 4, 398, 86},
      {L"STATIC", L"Выводить прибор из опроса после неответов подряд (0 — никогда)",
       kLabel | WS_GROUP, 0, 0, kPageMore, 16, 22, 264, 28},
      {L"EDIT", L"", kSpin, kBorder, kDemoteAfterId, kPageMore, 292, 24, 100, 21},
      {L"STATIC", L"Выводить на время, мс", kLabel | WS_GROUP, 0, 0, kPageMore, 16, 60, 264, 14},
      {L"EDIT", L"", kSpin, kBorder, kDemoteForId, kPageMore, 292, 57, 100, 21},
      // "Дополнительно": the broker, in rows of boxes with their labels above.
      {L"BUTTON", L" Передача показаний брокеру MQTT ", kGroup, 0, kMqttGroupId, kPageMore, 6, 94,
       398, 226},
      {L"BUTTON", L"Передавать показания брокеру MQTT", kCheck, 0, kMqttEnabledId, kPageMore, 16,
       111, 370, 17},
      {L"STATIC", L"Адрес брокера", kLabel | WS_GROUP, 0, 0, kPageMore, 16, 132, 236, 14},
      {L"EDIT", L"", kEdit, kBorder, kMqttHostId, kPageMore, 16, 146, 236, 21},
      {L"STATIC", L"Порт", kLabel | WS_GROUP, 0, 0, kPageMore, 262, 132, 62, 14},
      {L"EDIT", L"", kSpin, kBorder, kMqttPortId, kPageMore, 262, 146, 62, 21},
      {L"STATIC", L"QoS", kLabel | WS_GROUP, 0, 0, kPageMore, 334, 132, 58, 14},
      {L"COMBOBOX", L"", kList, 0, kMqttQosId, kPageMore, 334, 146, 58, 21 + 3 * 13},
      {L"STATIC", L"Пользователь", kLabel | WS_GROUP, 0, 0, kPageMore, 16, 172, 116, 14},
      {L"EDIT", L"", kEdit, kBorder, kMqttUserId, kPageMore, 16, 186, 116, 21},
      {L"STATIC", L"Пароль", kLabel | WS_GROUP, 0, 0, kPageMore, 142, 172, 110, 14},
      {L"EDIT", L"", kEdit | ES_PASSWORD, kBorder, kMqttPasswordId, kPageMore, 142, 186, 110, 21},
      {L"STATIC", L"Очередь, сообщений", kLabel | WS_GROUP, 0, 0, kPageMore, 262, 172, 130, 14},
      {L"EDIT", L"", kSpin, kBorder, kMqttBufferId, kPageMore, 262, 186, 130, 21},
      {L"STATIC", L"Идентификатор клиента", kLabel | WS_GROUP, 0, 0, kPageMore, 16, 212, 176, 14},
      {L"EDIT", L"", kEdit, kBorder, kMqttClientId, kPageMore, 16, 226, 176, 21},
      {L"STATIC", L"Корневой раздел", kLabel | WS_GROUP, 0, 0, kPageMore, 202, 212, 190, 14},
      {L"EDIT", L"", kEdit, kBorder, kMqttTopicRootId, kPageMore, 202, 226, 190, 21},
      {L"BUTTON", L"Защищённое соединение (TLS)", kCheck, 0, kMqttTlsId, kPageMore, 190, 252, 202,
       17},
      {L"STATIC", L"Файл центра сертификации", kLabel | WS_GROUP, 0, 0, kPageMore, 16, 254, 168,
       14},
      {L"EDIT", L"", kEdit, kBorder, kMqttCaFileId, kPageMore, 16, 270, 350, 21},
      {L"BUTTON", L"...", WS_TABSTOP | BS_PUSHBUTTON, 0, kMqttCaFileButtonId, kPageMore, 368, 270,
       24, 21},
      {L"STATIC", L"", SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_ENDELLIPSIS | WS_GROUP, 0, kMqttStateId,
       kPageMore, 16, 298, 376, 14},
      // "Дополнительно": the reading log.
      {L"BUTTON", L" Журнал показаний ", kGroup, 0, kLogGroupId, kPageMore, 6, 324, 398, 96},
      {L"BUTTON", L"Записывать показания в журнал (CSV-файл на каждый день)", kCheck, 0,
       kLogEnabledId, kPageMore, 16, 341, 380, 17},
      {L"STATIC", L"Папка (пусто — log в рабочей папке)", kLabel | WS_GROUP, 0, 0, kPageMore, 16,
       360, 266, 14},
      {L"EDIT", L"", kEdit, kBorder, kLogFolderId, kPageMore, 16, 374, 266, 21},
      {L"STATIC", L"Хранить, дней", kLabel | WS_GROUP, 0, 0, kPageMore, 292, 360, 100, 14},
      {L"EDIT", L"", kSpin, kBorder, kLogKeepDaysId, kPageMore, 292, 374, 100, 21},
      {L"STATIC", L"", SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_ENDELLIPSIS | WS_GROUP, 0, kLogStateId,
       kPageMore, 16, 401, 376, 14},
      // "Дополнительно": the OPC UA server.
      {L"BUTTON", L" Сервер OPC UA ", kGroup, 0, kOpcUaGroupId, kPageMore, 6, 426, 398, 122},
      {L"BUTTON", L"Сервер OPC UA для клиентов SCADA", kCheck, 0, kOpcUaEnabledId, kPageMore, 16,
       443, 250, 17},
      {L"STATIC", L"Порт", kLabel | WS_GROUP, 0, 0, kPageMore, 280, 445, 40, 14},
      {L"EDIT", L"", kSpin, kBorder, kOpcUaPortId, kPageMore, 322, 441, 70, 21},
      {L"BUTTON", L"Вход без пароля", kCheck, 0, kOpcUaAnonymousId, kPageMore, 16, 466, 170, 17},
      {L"BUTTON", L"Соединения без шифрования", kCheck, 0, kOpcUaSecurityNoneId, kPageMore, 196,
       466, 196, 17},
      {L"STATIC", L"Пользователь", kLabel | WS_GROUP, 0, 0, kPageMore, 16, 490, 82, 14},
      {L"EDIT", L"", kEdit, kBorder, kOpcUaUserId, kPageMore, 100, 486, 120, 21},
      {L"STATIC", L"Пароль", kLabel | WS_GROUP, 0, 0, kPageMore, 230, 490, 48, 14},
      {L"EDIT", L"", kEdit | ES_PASSWORD, kBorder, kOpcUaPasswordId, kPageMore, 280, 486, 112, 21},
      {L"STATIC", L"", SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_ENDELLIPSIS | WS_GROUP, 0,
       kOpcUaStateId, kPageMore, 16, 512, 376, 14},
      {L"STATIC", L"", SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_ENDELLIPSIS | WS_GROUP, 0,
       kOpcUaThumbprintId, kPageMore, 16, 528, 376, 14},
      // The bottom panel.
      {L"STATIC", L"", SS_ETCHEDHORZ | WS_VISIBLE, 0, 0, kEveryPage, 0,
       kClientHeight - kPanelHeight, kClientWidth, 2},
      {L"BUTTON", L"OK", WS_VISIBLE | WS_TABSTOP | WS_GROUP | BS_OWNERDRAW, 0, kOkB1Id, kEveryPage,
       kClientWidth - 87, kClientHeight - kPanelHeight + 8, 75, 25},
  }};
  for (const Control& control : controls) AddControl(control);

  for (int port = 1; port <= config::kPortChoices; ++port) {
    const std::wstring name = L"COM" + std::to_wstring(port);
    ::SendDlgItemMessageW(window_, kCOMCBId, CB_ADDSTRING, 0,
                          reinterpret_cast<LPARAM>(name.c_str()));
  }
  for (int speed = 0; speed < config::kSpeedChoices; ++speed) {
    const std::wstring text = std::to_wstring(config::SpeedOfIndex(speed));
    ::SendDlgItemMessageW(window_, kSpeedCBId, CB_ADDSTRING, 0,
                          reinterpret_cast<LPARAM>(text.c_str()));
  }
  for (const wchar_t* qos : {L"0", L"1"}) {
    ::SendDlgItemMessageW(window_, kMqttQosId, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(qos));
  }
  ::SendDlgItemMessageW(window_, kRzEdit1Id, EM_LIMITTEXT, 0, 0);
  ::SendDlgItemMessageW(window_, kRzEdit2Id, EM_LIMITTEXT, 0, 0);

  // The spin buttons beside each number box; they step the box's text
  // themselves (UDN_DELTAPOS), so the whole range of each box is reachable
  // and the text is never formatted with thousands separators.
  for (const auto& [edit_id, page] : kSpinEdits) {
    const HWND edit = ::GetDlgItem(window_, edit_id);
    const HWND spin = ::CreateWindowExW(
        0, UPDOWN_CLASSW, L"", WS_CHILD | UDS_ALIGNRIGHT | UDS_ARROWKEYS | UDS_NOTHOUSANDS, 0, 0, 0,
        0, window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(edit_id + kSpinButtonsOffset)),
        instance_, /*lpParam=*/nullptr);
    ::SendMessageW(spin, UDM_SETBUDDY, reinterpret_cast<WPARAM>(edit), 0);
    ::SendMessageW(spin, UDM_SETRANGE32, static_cast<WPARAM>(-1000000), 1000000);
    ::SendMessageW(spin, UDM_SETPOS32, 0, 0);
    ::SetWindowPos(spin, edit, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    paged_.emplace_back(spin, page);
  }

  // The grid fills the page below the groups, as high as the page was
  // before the dialog grew.
  const RECT bounds{page_.left, page_.top + 128, page_.right,
                    page_.bottom - (kClientHeight - kFirstPagesClientHeight)};
  if (grid_.Create(instance_, window_, kSG1Id, bounds)) {
    // Next in the tab order after the last number box.
    ::SetWindowPos(grid_.Handle(), ::GetDlgItem(window_, kSE3Id + kSpinButtonsOffset), 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    paged_.emplace_back(grid_.Handle(), kPageExchange);
  }
  // Last in the tab order.
  ::SetWindowPos(tabs_, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

  const HWND tree = ::GetDlgItem(window_, kRzTreeView1Id);
  for (int node = 1; node <= kSearchNodes; ++node) {
    const std::wstring text = L"СОМ порт " + std::to_wstring(node);
    TVINSERTSTRUCTW insert{};
    insert.hParent = TVI_ROOT;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = const_cast<wchar_t*>(text.c_str());
    ::SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert));
  }
}

int TSetupForm::PageOfTab(int tab) const {
  if (tab < 0 || tab >= static_cast<int>(std::size(kVisiblePages))) return kPageGeneral;
  return kVisiblePages[tab];
}

void TSetupForm::ShowPage(int page) {
  // The search page cannot be shown; "Общие" stands in for it.
  if (page == kPageSearch) page = kPageGeneral;
  int tab = 0;
  for (int i = 0; i < static_cast<int>(std::size(kVisiblePages)); ++i) {
    if (kVisiblePages[i] == page) tab = i;
  }
  ::SendMessageW(tabs_, TCM_SETCURSEL, static_cast<WPARAM>(tab), 0);
  const HWND progress = ::GetDlgItem(window_, kRzProgressBar1Id);
  for (const auto& [control, control_page] : paged_) {
    const bool shown = control_page == page && (control != progress || search_state_ == 1);
    ::ShowWindow(control, shown ? SW_SHOWNA : SW_HIDE);
  }
}

void TSetupForm::SetControlText(int id, const std::string& text) {
  const std::u16string wide = cp1251::ToUtf16(text);
  ::SetDlgItemTextW(window_, id, Wide(wide));
}

std::string TSetupForm::ControlText(int id) const {
  const HWND control = ::GetDlgItem(window_, id);
  const int length = ::GetWindowTextLengthW(control);
  std::u16string wide(static_cast<std::size_t>(length) + 1, u'\0');
  const int got = ::GetWindowTextW(control, reinterpret_cast<wchar_t*>(wide.data()), length + 1);
  wide.resize(static_cast<std::size_t>(got > 0 ? got : 0));
  return cp1251::FromUtf16(wide);
}

void TSetupForm::FillControls() {
  filling_ = true;
  const auto check = [this](int id, bool checked) {
    ::CheckDlgButton(window_, id, checked ? BST_CHECKED : BST_UNCHECKED);
  };
  check(kSetupCB1Id, settings_.StartWithWindows());
  check(kSetupCB2Id, settings_.AutoPoll());
  check(kSetupCB3Id, settings_.OpenWorkbook());
  check(kRadioTaskbarId, settings_.Display() == 0);
  check(kRadioTrayId, settings_.Display() == 1);
  ::SendDlgItemMessageW(window_, kCOMCBId, CB_SETCURSEL, static_cast<WPARAM>(settings_.ComPort()),
                        0);
  ::SendDlgItemMessageW(window_, kSpeedCBId, CB_SETCURSEL, static_cast<WPARAM>(settings_.Speed()),
                        0);
  SetControlText(kSE1Id, settings_.SensorCountText());
  SetControlText(kSE2Id, std::to_string(settings_.TimeOut()));
  SetControlText(kSE3Id, std::to_string(settings_.TimeOutCycle()));
  SetControlText(kDemoteAfterId, std::to_string(settings_.DemoteAfter()));
  SetControlText(kDemoteForId, std::to_string(settings_.DemoteForMs()));
  SetControlText(kRBE1Id, settings_.WorkbookPath());
  SetControlText(kRzEdit1Id, settings_.Topic());
  SetControlText(kRzEdit2Id, settings_.ItemPrefix());
  const config::MqttSettings& mqtt = settings_.Mqtt();
  check(kMqttEnabledId, mqtt.enabled);
  check(kMqttTlsId, mqtt.tls);
  for (const MqttTextBox& box : kMqttTextBoxes) SetControlText(box.id, mqtt.*box.field);
  for (const MqttNumberBox& box : kMqttNumberBoxes) {
    SetControlText(box.id, std::to_string(mqtt.*box.field));
  }
  // A password sealed for another user or computer does not open: the box
  // stays empty, and leaving it so keeps what is stored.
  SetControlText(kMqttPasswordId, config::OpenSecret(mqtt.sealed_password).value_or(""));
  ::SendDlgItemMessageW(window_, kMqttQosId, CB_SETCURSEL, static_cast<WPARAM>(mqtt.qos), 0);
  const config::LogSettings& log = settings_.Log();
  check(kLogEnabledId, log.enabled);
  SetControlText(kLogFolderId, log.folder);
  SetControlText(kLogKeepDaysId, std::to_string(log.keep_days));
  const config::OpcUaSettings& opcua = settings_.OpcUa();
  check(kOpcUaEnabledId, opcua.enabled);
  check(kOpcUaAnonymousId, opcua.anonymous);
  check(kOpcUaSecurityNoneId, opcua.security_none);
  SetControlText(kOpcUaPortId, std::to_string(opcua.port));
  SetControlText(kOpcUaUserId, opcua.user);
  SetControlText(kOpcUaPasswordId, config::OpenSecret(opcua.sealed_password).value_or(""));
  EnableWorkbookControls(settings_.OpenWorkbook());
  ShowPage(settings_.ActivePage());
  grid_.Refresh();
  filling_ = false;
}

void TSetupForm::EnableWorkbookControls(bool enabled) {
  ::EnableWindow(::GetDlgItem(window_, kRzLabel8Id), enabled ? TRUE : FALSE);
  ::EnableWindow(::GetDlgItem(window_, kRBE1Id), enabled ? TRUE : FALSE);
  ::EnableWindow(::GetDlgItem(window_, kRBE1ButtonId), enabled ? TRUE : FALSE);
}

void TSetupForm::ShowModal() {
  FillControls();
  FormShow();
  RunModal(window_, owner_, modal_);
}

void TSetupForm::ReportError(const std::string& text) {
  host_.ReportError(text);
}

// Handlers

void TSetupForm::FormCreate() {
  ApplyStoredSettings(settings_, dde_, host_);
  FillControls();
}

void TSetupForm::FormShow() {
  RECT main;
  ::GetWindowRect(owner_, &main);
  RECT own;
  ::GetWindowRect(window_, &own);
  // Directly below the main window; raised as far as it takes to keep the
  // whole dialog, its OK button too, on the main window's monitor.
  int top = main.bottom;
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (::GetMonitorInfoW(::MonitorFromWindow(owner_, MONITOR_DEFAULTTONEAREST), &monitor)) {
    const int height = own.bottom - own.top;
    if (top + height > monitor.rcWork.bottom) {
      top = std::max<int>(monitor.rcWork.top, monitor.rcWork.bottom - height);
    }
  }
  ::SetWindowPos(window_, nullptr, main.left, top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool TSetupForm::FormClose() {
  grid_.CommitEdit();
  MqttBoxesDone();
  LogBoxesDone();
  OpcUaBoxesDone();
  return ui::FormClose(settings_, host_);
}

void TSetupForm::OkB1Click() {
  grid_.CommitEdit();
  MqttBoxesDone();
  LogBoxesDone();
  OpcUaBoxesDone();
  const bool may_close = ui::OkB1Click(settings_, dde_, host_);
  grid_.Refresh();
  if (may_close) ::PostMessageW(window_, WM_CLOSE, 0, 0);
}

void TSetupForm::COMCBChange() {
  const int index = static_cast<int>(::SendDlgItemMessageW(window_, kCOMCBId, CB_GETCURSEL, 0, 0));
  if (settings_.SetComPort(index)) host_.ShowPortName(settings_.ComPortName());
}

void TSetupForm::SpeedCBChange() {
  const int index =
      static_cast<int>(::SendDlgItemMessageW(window_, kSpeedCBId, CB_GETCURSEL, 0, 0));
  settings_.SetSpeed(index);
}

void TSetupForm::SE1Change() {
  settings_.SetSensorCountText(ControlText(kSE1Id));
  grid_.Refresh();
}

void TSetupForm::RzEdit2Change() {
  settings_.SetItemPrefix(ControlText(kRzEdit2Id));
  grid_.Refresh();
}

void TSetupForm::CB1Click() {
  settings_.SetStartWithWindows(::IsDlgButtonChecked(window_, kSetupCB1Id) == BST_CHECKED);
}

void TSetupForm::CB3Click() {
  const bool checked = ::IsDlgButtonChecked(window_, kSetupCB3Id) == BST_CHECKED;
  settings_.SetOpenWorkbook(checked);
  EnableWorkbookControls(checked);
}

std::optional<std::string> TSetupForm::ChooseFile(const std::string& current, const wchar_t* filter,
                                                  const wchar_t* extension) {
  std::array<wchar_t, 32768> file{};
  const std::u16string wide = cp1251::ToUtf16(current);
  if (wide.size() < file.size()) std::copy(wide.begin(), wide.end(), file.begin());
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = window_;
  dialog.lpstrFilter = filter;
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  dialog.lpstrDefExt = extension;
  // The table file is named relative to the working directory: the dialog
  // must not move it, or the table would be saved elsewhere and seem lost at
  // the next start.
  dialog.Flags = OFN_NOCHANGEDIR | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_EXPLORER;
  if (!::GetOpenFileNameW(&dialog)) return std::nullopt;
  return cp1251::FromUtf16(reinterpret_cast<const char16_t*>(file.data()));
}

void TSetupForm::RBE1ButtonClick() {
  const std::optional<std::string> path =
      ChooseFile(settings_.WorkbookPath(), L"Excel file\0*.xls\0", L"xls");
  if (!path) return;
  settings_.SetWorkbookPath(*path);
  SetControlText(kRBE1Id, *path);
}

void TSetupForm::RzRadioGroup1Changing(int index) {
  settings_.SetDisplay(index);
}

// The check boxes and the QoS list: each is the settings' at once.
void TSetupForm::MqttChoiceChange() {
  config::MqttSettings mqtt = settings_.Mqtt();
  mqtt.enabled = ::IsDlgButtonChecked(window_, kMqttEnabledId) == BST_CHECKED;
  mqtt.tls = ::IsDlgButtonChecked(window_, kMqttTlsId) == BST_CHECKED;
  mqtt.qos = static_cast<int>(::SendDlgItemMessageW(window_, kMqttQosId, CB_GETCURSEL, 0, 0));
  settings_.SetMqtt(std::move(mqtt));
}

void TSetupForm::MqttCaFileButtonClick() {
  const std::optional<std::string> path =
      ChooseFile(ControlText(kMqttCaFileId), L"Сертификаты (*.pem, *.crt)\0*.pem;*.crt\0", L"pem");
  if (!path) return;
  SetControlText(kMqttCaFileId, *path);
  MqttBoxDone(kMqttCaFileId);
}

void TSetupForm::TakeMqttBox(int id, config::MqttSettings& mqtt) {
  for (const MqttTextBox& box : kMqttTextBoxes) {
    if (box.id == id) mqtt.*box.field = ControlText(id);
  }
  for (const MqttNumberBox& box : kMqttNumberBoxes) {
    if (box.id == id) {
      SpinEditDone(id);
      mqtt.*box.field = SpinHeldValue(ControlText(id), SpinRange(id));
    }
  }
  if (id == kMqttPasswordId) TakePassword(kMqttPasswordId, mqtt.sealed_password);
}

void TSetupForm::TakePassword(int id, std::string& sealed_password) {
  // Each seal of one text differs: a password that is still what the stored
  // one opens to is not sealed again, so leaving its box does not restart
  // the link or the server.
  const std::string clear = ControlText(id);
  if (config::OpenSecret(sealed_password).value_or("") == clear) return;
  if (const std::optional<std::string> sealed = config::SealSecret(clear)) {
    sealed_password = *sealed;
  } else {
    ReportError(std::string(kPasswordNotSealedText));
  }
}

void TSetupForm::MqttBoxDone(int id) {
  config::MqttSettings mqtt = settings_.Mqtt();
  TakeMqttBox(id, mqtt);
  settings_.SetMqtt(std::move(mqtt));
}

void TSetupForm::MqttBoxesDone() {
  config::MqttSettings mqtt = settings_.Mqtt();
  for (const MqttTextBox& box : kMqttTextBoxes) TakeMqttBox(box.id, mqtt);
  for (const MqttNumberBox& box : kMqttNumberBoxes) TakeMqttBox(box.id, mqtt);
  TakeMqttBox(kMqttPasswordId, mqtt);
  settings_.SetMqtt(std::move(mqtt));
}

void TSetupForm::ShowMqttHints() {
  const auto cue = [this](int id, const std::string& text) {
    const std::u16string wide = cp1251::ToUtf16(text);
    // Taken by the edit boxes of common controls 6 only (the program's
    // manifest asks for them); older ones ignore it and show nothing.
    ::SendDlgItemMessageW(window_, id, EM_SETCUEBANNER, /*fDrawFocused=*/FALSE,
                          reinterpret_cast<LPARAM>(Wide(wide)));
  };
  cue(kMqttClientId, host_.MqttDefaultClientId());
  cue(kMqttTopicRootId, host_.MqttDefaultTopicRoot());
}

void TSetupForm::ShowServiceStates() {
  const std::string text = std::string(kStatePrefix) + host_.MqttStateText();
  // Set only when it changed, so the line does not flicker twice a second.
  if (text != ControlText(kMqttStateId)) SetControlText(kMqttStateId, text);
  const std::string log = std::string(kStatePrefix) + host_.LogStateText();
  if (log != ControlText(kLogStateId)) SetControlText(kLogStateId, log);
  const std::string opcua = std::string(kStatePrefix) + host_.OpcUaStateText();
  if (opcua != ControlText(kOpcUaStateId)) SetControlText(kOpcUaStateId, opcua);
  const std::string thumbprint = host_.OpcUaThumbprint();
  const std::string shown =
      thumbprint.empty() ? std::string() : std::string(kThumbprintPrefix) + thumbprint;
  if (shown != ControlText(kOpcUaThumbprintId)) SetControlText(kOpcUaThumbprintId, shown);
}

// The server's check boxes and boxes: the settings' once left, as the log's.
void TSetupForm::OpcUaBoxesDone() {
  config::OpcUaSettings opcua = settings_.OpcUa();
  opcua.enabled = ::IsDlgButtonChecked(window_, kOpcUaEnabledId) == BST_CHECKED;
  opcua.anonymous = ::IsDlgButtonChecked(window_, kOpcUaAnonymousId) == BST_CHECKED;
  opcua.security_none = ::IsDlgButtonChecked(window_, kOpcUaSecurityNoneId) == BST_CHECKED;
  SpinEditDone(kOpcUaPortId);
  opcua.port = SpinHeldValue(ControlText(kOpcUaPortId), SpinRange(kOpcUaPortId));
  opcua.user = ControlText(kOpcUaUserId);
  TakePassword(kOpcUaPasswordId, opcua.sealed_password);
  settings_.SetOpcUa(std::move(opcua));
}

// The log's check box and boxes: the settings' once left, as the broker's.
void TSetupForm::LogBoxesDone() {
  config::LogSettings log = settings_.Log();
  log.enabled = ::IsDlgButtonChecked(window_, kLogEnabledId) == BST_CHECKED;
  log.folder = ControlText(kLogFolderId);
  SpinEditDone(kLogKeepDaysId);
  log.keep_days = SpinHeldValue(ControlText(kLogKeepDaysId), SpinRange(kLogKeepDaysId));
  settings_.SetLog(std::move(log));
}

void TSetupForm::FindButtonClick() {
  const HWND button = ::GetDlgItem(window_, kFindButtonId);
  const HWND progress = ::GetDlgItem(window_, kRzProgressBar1Id);
  if (search_state_ == 1) {
    search_state_ = 0;
    ::SetWindowTextW(button, L"Поиск");
    ::ShowWindow(progress, SW_HIDE);
    return;
  }
  search_state_ = 1;
  ::SetWindowTextW(button, L"Остановить");
  // Shown on its page only, which is shown when the button is.
  if (::IsWindowVisible(button)) ::ShowWindow(progress, SW_SHOWNA);
  const HWND tree = ::GetDlgItem(window_, kRzTreeView1Id);
  const auto add_child = [tree](HTREEITEM parent, const wchar_t* text) {
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = const_cast<wchar_t*>(text);
    ::SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert));
  };
  const auto next = [tree](HTREEITEM item, UINT code) {
    return reinterpret_cast<HTREEITEM>(
        ::SendMessageW(tree, TVM_GETNEXTITEM, code, reinterpret_cast<LPARAM>(item)));
  };
  const HTREEITEM first = next(nullptr, TVGN_ROOT);
  if (first == nullptr) return;
  add_child(first, kSearchResult);
  // The third node in tree order, children before the next sibling.
  HTREEITEM node = first;
  for (int step = 0; step < 2 && node != nullptr; ++step) {
    HTREEITEM following = next(node, TVGN_CHILD);
    while (following == nullptr && node != nullptr) {
      following = next(node, TVGN_NEXT);
      if (following == nullptr) node = next(node, TVGN_PARENT);
    }
    node = following;
  }
  if (node != nullptr) add_child(node, L"...");
}

// Messages

void TSetupForm::OnCommand(int id, int code) {
  if (code == BN_CLICKED) {
    if (id == kOkB1Id) OkB1Click();
    if (id == kSetupCB1Id) CB1Click();
    if (id == kSetupCB2Id) {
      settings_.SetAutoPoll(::IsDlgButtonChecked(window_, kSetupCB2Id) == BST_CHECKED);
    }
    if (id == kSetupCB3Id) CB3Click();
    if (id == kRadioTaskbarId) RzRadioGroup1Changing(0);
    if (id == kRadioTrayId) RzRadioGroup1Changing(1);
    if (id == kRBE1ButtonId) RBE1ButtonClick();
    if (id == kFindButtonId) FindButtonClick();
    if (id == kMqttEnabledId || id == kMqttTlsId) MqttChoiceChange();
    if (id == kMqttCaFileButtonId) MqttCaFileButtonClick();
    if (id == kLogEnabledId) LogBoxesDone();
    if (id == kOpcUaEnabledId || id == kOpcUaAnonymousId || id == kOpcUaSecurityNoneId) {
      OpcUaBoxesDone();
    }
    return;
  }
  if (code == CBN_SELCHANGE) {
    if (id == kCOMCBId) COMCBChange();
    if (id == kSpeedCBId) SpeedCBChange();
    if (id == kMqttQosId) MqttChoiceChange();
    return;
  }
  if (code == EN_CHANGE && !filling_) {
    if (id == kSE1Id) SE1Change();
    if (id == kSE2Id) settings_.SetTimeOut(SpinValue(ControlText(id), SpinRange(id)));
    if (id == kSE3Id) settings_.SetTimeOutCycle(SpinValue(ControlText(id), SpinRange(id)));
    // Held at once, as the time-outs are: the model refuses a value outside.
    if (id == kDemoteAfterId) {
      settings_.SetDemoteAfter(SpinHeldValue(ControlText(id), SpinRange(id)));
    }
    if (id == kDemoteForId) settings_.SetDemoteForMs(SpinHeldValue(ControlText(id), SpinRange(id)));
    if (id == kRzEdit1Id) settings_.SetTopic(ControlText(id));
    if (id == kRzEdit2Id) RzEdit2Change();
    return;
  }
  if (code == EN_KILLFOCUS) {
    if (IsSpinEdit(id)) SpinEditDone(id);
    if (IsMqttBox(id)) MqttBoxDone(id);
    if (id == kLogFolderId || id == kLogKeepDaysId) LogBoxesDone();
    if (id == kOpcUaPortId || id == kOpcUaUserId || id == kOpcUaPasswordId) OpcUaBoxesDone();
  }
}

void TSetupForm::OnSpin(int edit_id, int delta) {
  SetControlText(edit_id, SpinSteppedText(ControlText(edit_id), delta, SpinRange(edit_id)));
}

void TSetupForm::SpinEditDone(int edit_id) {
  const std::string text = ControlText(edit_id);
  const std::string held = SpinHeldText(text, SpinRange(edit_id));
  // An unchanged text is not set again, so leaving the box does not resize
  // the table for nothing.
  if (held != text) SetControlText(edit_id, held);
}

void TSetupForm::Attach(HWND window) {
  window_ = window;
}

LRESULT TSetupForm::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      if (lparam != 0 || LOWORD(wparam) == kOkB1Id) OnCommand(LOWORD(wparam), HIWORD(wparam));
      return 0;
    case WM_NOTIFY: {
      const auto& header = *reinterpret_cast<const NMHDR*>(lparam);
      if (header.idFrom == kRzPageControl1Id && header.code == TCN_SELCHANGE) {
        const int tab = static_cast<int>(::SendMessageW(tabs_, TCM_GETCURSEL, 0, 0));
        const int page = PageOfTab(tab);
        ShowPage(page);
        settings_.SetActivePage(page);
        return 0;
      }
      if (header.code == UDN_DELTAPOS) {
        const auto& change = *reinterpret_cast<const NMUPDOWN*>(lparam);
        OnSpin(static_cast<int>(header.idFrom) - kSpinButtonsOffset, change.iDelta);
        return TRUE;  // the box's text was stepped here; the buttons keep no position
      }
      break;
    }
    case WM_SHOWWINDOW:
      // The state is asked only while the dialog shows.
      if (wparam != FALSE) {
        ShowMqttHints();
        ShowServiceStates();
        ::SetTimer(window_, kServiceStateTimer, kServiceStateMs, /*lpTimerFunc=*/nullptr);
      } else {
        ::KillTimer(window_, kServiceStateTimer);
      }
      break;
    case WM_TIMER:
      if (wparam == kServiceStateTimer) ShowServiceStates();
      return 0;
    case WM_PAINT: {
      // The frame of the page under the tabs' strip.
      PAINTSTRUCT paint;
      const HDC dc = ::BeginPaint(window_, &paint);
      RECT frame = page_;
      ::InflateRect(&frame, 2, 2);
      ::DrawEdge(dc, &frame, EDGE_RAISED, BF_LEFT | BF_RIGHT | BF_BOTTOM | BF_SOFT);
      ::EndPaint(window_, &paint);
      return 0;
    }
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
      if (item.CtlType == ODT_BUTTON) {
        DrawGlyphButton(item, font_.get(), images_, kImageTick, kImageCross);
      }
      return TRUE;
    }
    case WM_CLOSE:
      if (FormClose() && std::exchange(modal_, false)) {
        // A close sent from another thread is handled inside GetMessage,
        // which would go on waiting: the modal loop is woken to see it.
        ::PostMessageW(window_, WM_NULL, 0, 0);
      }
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(window_, message, wparam, lparam);
}

}  // namespace quorvel::ui
