#include "app/protected_standards.h"
#include "catalogue/standards.h"

#include <string>

namespace sorana::app {

bool IsProtectedStandard(std::string_view caption) {
  return caption == catalogue::kStandardCaptions[0] || caption == catalogue::kStandardCaptions[1];
}

void CheckListBox1ClickCheck(form::UpdateWindow& window) {
  int index = window.CurrentItem();
  if (index < 0 || index >= catalogue::kStandardCount) return;
  std::string_view caption = catalogue::kStandardCaptions[static_cast<size_t>(index)];
  if (!IsProtectedStandard(caption) || window.IsChecked(index)) return;
  window.ShowBox(form::BoxKind::Notice, "「" + std::string(caption) + "」の\r選択解除はできません。");
  window.SetChecked(index, true);
}

}  // namespace sorana::app
