#include "tools/wine_tools.h"

#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "tools/site_error.h"

extern char** environ;

namespace sorana::tools {

namespace fs = std::filesystem;

namespace {

// Bounds of the waits: a wineboot that has not finished by then is stuck.
constexpr int kBootSeconds = 300;
constexpr int kToolSeconds = 60;

bool OnPath(std::string_view program) {
  const char* path = std::getenv("PATH");
  if (!path) return false;
  std::string_view rest(path);
  while (!rest.empty()) {
    size_t colon = rest.find(':');
    std::string_view dir = rest.substr(0, colon);
    if (!dir.empty() && access((std::string(dir) + "/" + std::string(program)).c_str(), X_OK) == 0)
      return true;
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  return false;
}

// Wine turns its command line from the locale's character set; the product
// key is Japanese, so a locale that is not UTF-8 is replaced by C.UTF-8.
bool LocaleIsUtf8() {
  locale_t here = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
  if (here == static_cast<locale_t>(nullptr)) return false;
  bool utf8 = std::strcmp(nl_langinfo_l(CODESET, here), "UTF-8") == 0;
  freelocale(here);
  return utf8;
}

// Runs `program args...` below coreutils' `timeout`, with the prefix and the
// given settings added to the environment; its output goes to stderr.
void RunWine(const fs::path& root, int seconds, std::vector<std::string> command,
             std::vector<std::string> settings) {
  std::vector<std::string> args = {"timeout", "--kill-after=10", std::to_string(seconds)};
  args.insert(args.end(), command.begin(), command.end());
  settings.push_back("WINEPREFIX=" + fs::absolute(root).string());
  settings.push_back("WINEDEBUG=-all");
  if (!LocaleIsUtf8()) settings.push_back("LC_ALL=C.UTF-8");
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    std::string_view entry(*e);
    bool replaced = false;
    for (const std::string& s : settings)
      replaced |= entry.substr(0, s.find('=') + 1) == s.substr(0, s.find('=') + 1);
    if (!replaced) env.emplace_back(entry);
  }
  env.insert(env.end(), settings.begin(), settings.end());

  std::vector<char*> argv, envp;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // Wine's reg says "done" on stdout in the console's code page; only errors matter here.
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  int error = posix_spawnp(&pid, "timeout", &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) throw SiteError("cannot start " + command[0] + ": " + std::strerror(error));
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) throw SiteError("lost " + command[0] + ": " + std::strerror(errno));
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    bool timedOut = WIFEXITED(status) && (WEXITSTATUS(status) == 124 || WEXITSTATUS(status) == 137);
    throw SiteError(command[0] + " " + (command.size() > 1 ? command[1] + " " : "") +
                    (timedOut ? "did not end within " + std::to_string(seconds) + " s" : "failed") +
                    " for the prefix " + root.string());
  }
}

void WaitForWineserver(const fs::path& root) { RunWine(root, kToolSeconds, {"wineserver", "-w"}, {}); }

}  // namespace

bool WineAvailable() { return OnPath("wine") && OnPath("wineboot") && OnPath("wineserver"); }

void BootPrefix(const fs::path& root, bool win64) {
  RunWine(root, kBootSeconds, {"wineboot", "-i"},
          {"WINEARCH=" + std::string(win64 ? "win64" : "win32"), "WINEDLLOVERRIDES=mscoree,mshtml="});
  WaitForWineserver(root);
}

void WineRegAddString(const fs::path& root, const std::string& key, const std::string& name,
                      const std::string& data) {
  RunWine(root, kToolSeconds,
          {"wine", "reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", data, "/f", "/reg:32"}, {});
  WaitForWineserver(root);
}

void EndWineserver(const fs::path& root) noexcept {
  if (!WineAvailable()) return;
  try {
    RunWine(root, kToolSeconds, {"wineserver", "-k"}, {});
  } catch (const std::exception&) {
    // None was running: wineserver -k then ends with a failure status.
  }
}

}  // namespace sorana::tools
