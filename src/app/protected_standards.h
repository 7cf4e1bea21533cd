// The protection rule of the standards list: the two national standards stay checked.
#pragma once

#include <string_view>

#include "form/update_window.h"

namespace sorana::app {

// The national standards of the two ministries, which the user cannot uncheck.
bool IsProtectedStandard(std::string_view caption);

// Runs after the user toggled the list's current item: a protected standard
// that was unchecked is explained in a notice and checked again.
void CheckListBox1ClickCheck(form::UpdateWindow& window);

}  // namespace sorana::app
