// CheckListBox1 on the Win32 API: an owner-drawn multi-column LISTBOX whose
// items carry a check box. Rows are of a fixed height and the columns as wide
// as an equal share of the list, so that all items show without a scroll bar.
// A click on an item's box or the space key toggles the item (which is then
// the current one) and posts kClickCheckMessage to the list's owner window.
#pragma once

#include <windows.h>

#include <string_view>
#include <vector>

namespace sorana::ui::win32 {

// Posted after a toggle by the user; the owner runs CheckListBox1ClickCheck.
inline constexpr UINT kClickCheckMessage = WM_APP + 1;

class TCheckListBox {
 public:
  // Creates the list as a child of `parent`; toggles are posted to `owner`.
  TCheckListBox(HWND parent, HWND owner, WORD id, RECT place, int columns, int rowHeight, HFONT font);
  TCheckListBox(const TCheckListBox&) = delete;
  TCheckListBox& operator=(const TCheckListBox&) = delete;

  void AddItem(std::string_view caption);
  HWND Handle() const { return list_; }

  bool IsChecked(int index) const;
  // A change made by the program, not reported as a toggle.
  void SetChecked(int index, bool checked);
  int CurrentIndex() const;

  // The parent's WM_DRAWITEM for the list.
  void Draw(const DRAWITEMSTRUCT& item) const;

 private:
  static LRESULT CALLBACK ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                   DWORD_PTR self);
  bool OnBox(int x, int y, int& index) const;
  void Toggle(int index);
  void RepaintItem(int index) const;

  HWND owner_;
  HWND list_ = nullptr;
  int rowHeight_;
  std::vector<bool> checked_;
};

}  // namespace sorana::ui::win32
