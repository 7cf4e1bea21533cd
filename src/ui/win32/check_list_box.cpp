#include "ui/win32/check_list_box.h"

#include <commctrl.h>

#include <algorithm>
#include <string>

#include "ui/win32/win32_text.h"

namespace sorana::ui::win32 {

namespace {

constexpr int kBoxMargin = 1;  // between the row's edge and its box, all round

}  // namespace

TCheckListBox::TCheckListBox(HWND parent, HWND owner, WORD id, RECT place, int columns, int rowHeight,
                             HFONT font)
    : owner_(owner), rowHeight_(rowHeight) {
  // No WS_HSCROLL / WS_VSCROLL: the items fit, and a bar would take rows away.
  const DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | LBS_MULTICOLUMN | LBS_OWNERDRAWFIXED |
                      LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY;
  list_ =
      CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", L"", style, place.left, place.top,
                      place.right - place.left, place.bottom - place.top, parent,
                      reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(list_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  SendMessageW(list_, LB_SETITEMHEIGHT, 0, rowHeight);
  RECT client{};
  GetClientRect(list_, &client);
  SendMessageW(list_, LB_SETCOLUMNWIDTH, static_cast<WPARAM>((client.right - client.left) / columns), 0);
  SetWindowSubclass(list_, ListProc, 1, reinterpret_cast<DWORD_PTR>(this));
}

void TCheckListBox::AddItem(std::string_view caption) {
  const std::wstring text = Wide(caption);
  SendMessageW(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  checked_.push_back(false);
}

bool TCheckListBox::IsChecked(int index) const {
  return index >= 0 && index < static_cast<int>(checked_.size()) && checked_[static_cast<size_t>(index)];
}

void TCheckListBox::SetChecked(int index, bool checked) {
  if (index < 0 || index >= static_cast<int>(checked_.size())) return;
  checked_[static_cast<size_t>(index)] = checked;
  RepaintItem(index);
}

int TCheckListBox::CurrentIndex() const {
  return static_cast<int>(SendMessageW(list_, LB_GETCARETINDEX, 0, 0));
}

void TCheckListBox::Draw(const DRAWITEMSTRUCT& item) const {
  if (item.itemID == static_cast<UINT>(-1)) return;
  const int index = static_cast<int>(item.itemID);
  HDC dc = item.hDC;
  RECT row = item.rcItem;
  const bool selected = (item.itemState & ODS_SELECTED) != 0;
  const bool enabled = IsWindowEnabled(list_) != FALSE;

  FillRect(dc, &row, GetSysColorBrush(COLOR_WINDOW));
  const int box = rowHeight_ - 2 * kBoxMargin;
  RECT boxRect{row.left + kBoxMargin, row.top + kBoxMargin, row.left + kBoxMargin + box,
               row.top + kBoxMargin + box};
  UINT state =
      DFCS_BUTTONCHECK | DFCS_FLAT | (IsChecked(index) ? DFCS_CHECKED : 0) | (enabled ? 0 : DFCS_INACTIVE);
  DrawFrameControl(dc, &boxRect, DFC_BUTTON, state);

  RECT textRect{boxRect.right + 2, row.top, row.right, row.bottom};
  const int length = static_cast<int>(SendMessageW(list_, LB_GETTEXTLEN, item.itemID, 0));
  std::wstring text(static_cast<size_t>(length < 0 ? 0 : length) + 1, L'\0');
  SendMessageW(list_, LB_GETTEXT, item.itemID, reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(length < 0 ? 0 : length));
  SIZE extent{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
  RECT highlight{textRect.left, textRect.top, std::min<LONG>(textRect.left + extent.cx + 2, row.right),
                 textRect.bottom};
  if (selected) FillRect(dc, &highlight, GetSysColorBrush(COLOR_HIGHLIGHT));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(!enabled   ? COLOR_GRAYTEXT
                               : selected ? COLOR_HIGHLIGHTTEXT
                                          : COLOR_WINDOWTEXT));
  textRect.left += 1;
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &textRect,
            DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
  if ((item.itemState & ODS_FOCUS) != 0) DrawFocusRect(dc, &highlight);
}

// True when (x, y) in the list's client falls on the box of an item.
bool TCheckListBox::OnBox(int x, int y, int& index) const {
  const LRESULT hit = SendMessageW(list_, LB_ITEMFROMPOINT, 0, MAKELPARAM(x, y));
  if (HIWORD(hit) != 0) return false;  // outside every item
  index = LOWORD(hit);
  RECT row{};
  if (SendMessageW(list_, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&row)) ==
      LB_ERR) {
    return false;
  }
  return x >= row.left && x < row.left + rowHeight_;
}

void TCheckListBox::Toggle(int index) {
  SetChecked(index, !IsChecked(index));
  // Posted, not sent: the handler may open a box, which must not run inside
  // the list's own mouse or key handling.
  PostMessageW(owner_, kClickCheckMessage, static_cast<WPARAM>(index), 0);
}

void TCheckListBox::RepaintItem(int index) const {
  RECT row{};
  if (SendMessageW(list_, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&row)) !=
      LB_ERR) {
    InvalidateRect(list_, &row, FALSE);
  }
}

LRESULT CALLBACK TCheckListBox::ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                         DWORD_PTR self) {
  auto* box = reinterpret_cast<TCheckListBox*>(self);
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      const LRESULT result = DefSubclassProc(list, message, wParam, lParam);  // makes the item current
      int index = -1;
      if (box->OnBox(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)), index)) {
        box->Toggle(index);
      }
      return result;
    }
    case WM_CHAR:
      if (wParam == L' ') {
        const int index = box->CurrentIndex();
        if (index >= 0) box->Toggle(index);
        return 0;  // not a search for an item starting with a blank
      }
      break;
    case WM_NCDESTROY:
      RemoveWindowSubclass(list, ListProc, 1);
      break;
    default:
      break;
  }
  return DefSubclassProc(list, message, wParam, lParam);
}

}  // namespace sorana::ui::win32
