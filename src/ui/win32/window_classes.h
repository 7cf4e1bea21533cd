// The window classes of TMainForm: the form itself, and the panel that covers
// its client area and holds the controls (so that the window can be disabled
// without disabling the top-level window, which would hand activation away
// and back). The panel passes its controls' notices up to the form.
#pragma once

#include <windows.h>

namespace sorana::ui::win32 {

inline constexpr wchar_t kFormClass[] = L"SoranaTMainForm";
inline constexpr wchar_t kClientClass[] = L"SoranaClientArea";

// Once per process, with the common controls the form uses.
void RegisterWindowClasses(WNDPROC formProc);

}  // namespace sorana::ui::win32
