// The window's modal boxes, dialogs of its own built in memory: message boxes
// of the five kinds with their exact titles and button captions, and the
// input box and the proxy login box. Both run the system's modal loop (DialogBoxIndirectParamW).
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "form/update_window.h"

namespace sorana::ui::win32 {

// Control ids inside the boxes (the buttons are IDOK, IDCANCEL, IDYES, IDNO).
inline constexpr WORD kBoxIconId = 10;
inline constexpr WORD kBoxTextId = 11;
inline constexpr WORD kInputEditId = 12;  // the login box's user name too
inline constexpr WORD kLoginUserLabelId = 13;
inline constexpr WORD kLoginPasswordLabelId = 14;
inline constexpr WORD kLoginPasswordId = 15;

// `noticeCaption` is the title of plain notices (the window's caption). A panic
// box has no owner whatever `owner` is.
form::BoxAnswer ShowMessageBox(HWND owner, form::BoxKind kind, std::string_view text,
                               const std::wstring& noticeCaption);

// The edited text on OK; nullopt on Cancel.
std::optional<std::string> ShowInputBox(HWND owner, std::string_view caption, std::string_view prompt,
                                        std::string_view text);

// The proxy login box: the prompt, a user name and a hidden password; nullopt on Cancel.
std::optional<form::ProxyLogin> ShowLoginBox(HWND owner, std::string_view prompt);

}  // namespace sorana::ui::win32
