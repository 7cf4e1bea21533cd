// One start of the updater through its core: the scripted window and the
// MainForm wired as the Qt window wires them (closing the window runs
// FormClose), with the archive library loaded as the program loads it.
#pragma once

#include <string>
#include <vector>

#include "app/main_form.h"
#include "support/fake_window.h"

namespace sorana::e2e {

inline constexpr const char* kCompletionBox = "アップデートが完了しました。終了します。";
using form::kStartPrompt;
inline constexpr const char* kExpansionFailed = "コンポーネントの展開に失敗しました(4)終了します。";

// Loads libunlha32.so once per process (beside the test program).
void LoadArchiveLibrary();

struct FormSession {
  FormSession();
  FormSession(const FormSession&) = delete;
  FormSession& operator=(const FormSession&) = delete;

  // FormCreate, then FormActivate as the first show does; false when the
  // program would end at once.
  bool Start();
  // Start, then a click on the start-update button.
  void StartAndUpdate();

  // Texts of the boxes of one kind, in the order shown.
  std::vector<std::string> Boxes(form::BoxKind kind) const;
  // The window is back where a user can start again.
  bool IsReady();

  test::FakeWindow window;
  app::MainForm form;
};

// The failure box of the installation for a message raised by a step.
std::string FailureBoxPrefix(const std::string& message);

}  // namespace sorana::e2e
