// A dialog built in memory (DLGTEMPLATE with its items), for the window's own
// boxes: the system's MessageBox names its buttons itself. The template only
// says which controls there are; the dialog places them in pixels when it
// opens, measured with the window's font.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace sorana::ui::win32 {

// The predefined control classes of a template item.
enum class ItemClass : WORD { Button = 0x0080, Edit = 0x0081, Static = 0x0082 };

class DialogTemplate {
 public:
  DialogTemplate(const std::wstring& caption, DWORD style);

  void AddItem(ItemClass kind, WORD id, DWORD style, const std::wstring& text, DWORD exStyle = 0);
  // The template as DialogBoxIndirectParamW takes it; valid while this lives.
  const DLGTEMPLATE* Get();

 private:
  void Align();
  void Append(const void* data, size_t bytes);
  void AppendText(const std::wstring& text);

  std::vector<WORD> words_;
  WORD items_ = 0;
};

}  // namespace sorana::ui::win32
