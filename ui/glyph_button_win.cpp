#include "ui/glyph_button_win.h"

#include "ui/image_list_win.h"

namespace quorvel::ui {

void DrawGlyphButton(const DRAWITEMSTRUCT& item, HFONT font, HIMAGELIST images, int image,
                     int disabled_image) {
  const HDC dc = item.hDC;
  RECT rect = item.rcItem;
  const bool pushed = (item.itemState & ODS_SELECTED) != 0;
  const bool disabled = (item.itemState & ODS_DISABLED) != 0;
  ::DrawFrameControl(dc, &rect, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));

  wchar_t caption[32] = {};
  const int length = ::GetWindowTextW(item.hwndItem, caption, 32);
  const HGDIOBJ old_font = ::SelectObject(dc, font);
  SIZE extent{};
  ::GetTextExtentPoint32W(dc, caption, length, &extent);
  constexpr int kGap = 4;
  const int shift = pushed ? 1 : 0;
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  const int left = rect.left + (width - kImageSize - kGap - extent.cx) / 2 + shift;
  ::ImageList_Draw(images, disabled ? disabled_image : image, dc, left,
                   rect.top + (height - kImageSize) / 2 + shift, ILD_TRANSPARENT);
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, ::GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
  RECT text_rect{left + kImageSize + kGap, rect.top + shift, rect.right, rect.bottom + shift};
  ::DrawTextW(dc, caption, length, &text_rect, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
  ::SelectObject(dc, old_font);
  if ((item.itemState & ODS_FOCUS) != 0) {
    ::InflateRect(&rect, -4, -4);
    ::DrawFocusRect(dc, &rect);
  }
}

}  // namespace quorvel::ui
