#include "ui/win32/dialog_template.h"

#include <cstring>

namespace sorana::ui::win32 {

DialogTemplate::DialogTemplate(const std::wstring& caption, DWORD style) {
  DLGTEMPLATE head{};
  head.style = style;
  Append(&head, sizeof head);
  words_.push_back(0);  // no menu
  words_.push_back(0);  // the predefined dialog class
  AppendText(caption);
}

void DialogTemplate::AddItem(ItemClass kind, WORD id, DWORD style, const std::wstring& text, DWORD exStyle) {
  Align();
  DLGITEMTEMPLATE item{};
  item.style = style | WS_CHILD;
  item.dwExtendedStyle = exStyle;
  item.id = id;
  Append(&item, sizeof item);
  words_.push_back(0xFFFF);
  words_.push_back(static_cast<WORD>(kind));
  AppendText(text);
  words_.push_back(0);  // no creation data
  ++items_;
}

const DLGTEMPLATE* DialogTemplate::Get() {
  auto* head = reinterpret_cast<DLGTEMPLATE*>(words_.data());
  head->cdit = items_;
  return head;
}

// Items start on a DWORD boundary; the vector's storage is at least that aligned.
void DialogTemplate::Align() {
  if (words_.size() % 2 != 0) words_.push_back(0);
}

void DialogTemplate::Append(const void* data, size_t bytes) {
  const size_t at = words_.size();
  words_.resize(at + (bytes + 1) / 2, 0);
  std::memcpy(words_.data() + at, data, bytes);
}

void DialogTemplate::AppendText(const std::wstring& text) {
  for (wchar_t c : text) words_.push_back(static_cast<WORD>(c));
  words_.push_back(0);
}

}  // namespace sorana::ui::win32
