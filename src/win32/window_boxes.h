// The window's modal boxes, dialogs of its own built in memory: message boxes
// of the five kinds with their exact titles and button captions, and the
// input box. Both run the system's modal loop (DialogBoxIndirectParamW).
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "form/update_window.h"

namespace sorana::win32 {

// Control ids inside the boxes (the buttons are IDOK, IDCANCEL, IDYES, IDNO).
inline constexpr WORD kBoxIconId = 10;
inline constexpr WORD kBoxTextId = 11;
inline constexpr WORD kInputEditId = 12;

// `noticeCaption` is the title of plain notices (the window's caption). A panic
// box has no owner whatever `owner` is.
app::BoxAnswer ShowMessageBox(HWND owner, app::BoxKind kind, std::string_view text,
                              const std::wstring& noticeCaption);

// The edited text on OK; nullopt on Cancel.
std::optional<std::string> ShowInputBox(HWND owner, std::string_view caption, std::string_view prompt,
                                        std::string_view text);

}  // namespace sorana::win32
