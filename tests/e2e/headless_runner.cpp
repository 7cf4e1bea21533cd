// The updater's core without a screen, for tests that kill it: runs MainForm
// with the scripted window on the prefix in WINEPREFIX (TMPDIR and
// SORANA_UPDATE_SERVER as the environment gives them).
//   headless_runner update     start, then one click on the start-update button
//   headless_runner settings   start, then set the proxy host again and again,
//                              each time rewriting the settings file; prints
//                              "written" after the first write
#include <cstdio>
#include <cstring>
#include <string>

#include "e2e/form_session.h"

namespace {

// Host texts long enough that a write of the settings file takes a while.
std::string ProxyText(char letter) { return std::string(1, letter) + std::string(6000, letter) + ".example"; }

int RunUpdate() {
  sorana::e2e::FormSession session;
  session.StartAndUpdate();
  std::puts("done");
  return 0;
}

int RunSettings() {
  sorana::e2e::FormSession session;
  if (!session.Start()) return 2;
  for (long round = 0;; ++round) {
    session.window.inputAnswers.push_back({true, ProxyText(round % 2 == 0 ? 'a' : 'b')});
    session.form.ProxyIPMenuClick();
    if (round == 0) {
      std::puts("written");
      std::fflush(stdout);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "update") == 0) return RunUpdate();
  if (argc == 2 && std::strcmp(argv[1], "settings") == 0) return RunSettings();
  std::fputs("usage: headless_runner update|settings\n", stderr);
  return 2;
}
