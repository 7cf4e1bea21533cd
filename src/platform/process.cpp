#include "platform/process.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/win_path.h"

extern char** environ;

namespace sorana::platform {

namespace {

bool IsBlank(char ch) { return ch == ' ' || ch == '\t'; }

struct CommandLine {
  std::string program;
  std::vector<std::string> arguments;
};

// The program is the first token, up to the closing quote or the first blank,
// without any backslash rule (as CreateProcess reads it); the arguments follow
// the rules of the C runtime: 2n backslashes before a quote give n and the
// quote delimits, 2n+1 give n and a literal quote, "" inside quotes is a quote.
std::optional<CommandLine> ParseCommandLine(std::string_view text) {
  CommandLine out;
  size_t pos = 0;
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  if (pos < text.size() && text[pos] == '"') {
    size_t close = text.find('"', pos + 1);
    if (close == std::string_view::npos) close = text.size();
    out.program = std::string(text.substr(pos + 1, close - pos - 1));
    pos = close + 1;
  } else {
    size_t end = pos;
    while (end < text.size() && !IsBlank(text[end])) ++end;
    out.program = std::string(text.substr(pos, end - pos));
    pos = end;
  }
  if (out.program.empty()) return std::nullopt;

  while (pos < text.size()) {
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
    if (pos >= text.size()) break;
    std::string arg;
    bool quoted = false;
    while (pos < text.size() && (quoted || !IsBlank(text[pos]))) {
      size_t slashes = 0;
      while (pos < text.size() && text[pos] == '\\') ++slashes, ++pos;
      if (pos < text.size() && text[pos] == '"') {
        arg.append(slashes / 2, '\\');
        if (slashes % 2 == 1) {
          arg += '"';
        } else if (quoted && pos + 1 < text.size() && text[pos + 1] == '"') {
          arg += '"';
          ++pos;
        } else {
          quoted = !quoted;
        }
        ++pos;
      } else {
        arg.append(slashes, '\\');
        if (pos < text.size() && (quoted || !IsBlank(text[pos]))) arg += text[pos++];
      }
    }
    out.arguments.push_back(std::move(arg));
  }
  return out;
}

std::optional<std::filesystem::path> FindOnPath(std::string_view name) {
  const char* path = std::getenv("PATH");
  std::string_view dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  while (true) {
    size_t colon = dirs.find(':');
    std::string_view dir = dirs.substr(0, colon);
    std::filesystem::path candidate = std::filesystem::path(dir.empty() ? "." : dir) / name;
    struct stat st {};
    if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    if (colon == std::string_view::npos) return std::nullopt;
    dirs.remove_prefix(colon + 1);
  }
}

// The environment of this process with WINEPREFIX set to the active prefix.
std::vector<std::string> ChildEnvironment() {
  std::vector<std::string> env;
  for (char** var = environ; var != nullptr && *var != nullptr; ++var) {
    if (!std::string_view(*var).starts_with("WINEPREFIX=")) env.emplace_back(*var);
  }
  env.push_back("WINEPREFIX=" + ActivePrefix().Root().string());
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> out;
  out.reserve(texts.size() + 1);
  for (std::string& text : texts) out.push_back(text.data());
  out.push_back(nullptr);
  return out;
}

// Starts the child; nullopt when it cannot be started.
std::optional<pid_t> Spawn(const std::filesystem::path& wine, std::vector<std::string> argv) {
  std::vector<std::string> env = ChildEnvironment();
  std::vector<char*> argvPointers = Pointers(argv);
  std::vector<char*> envPointers = Pointers(env);

  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return std::nullopt;
  // The child inherits no handles but the standard three.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, wine.c_str(), &actions, nullptr, argvPointers.data(), envPointers.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return std::nullopt;
  return pid;
}

// Has the child ended? Reaps it when it has.
bool Ended(pid_t pid) {
  int status = 0;
  pid_t rc;
  do {
    rc = waitpid(pid, &status, WNOHANG);
  } while (rc < 0 && errno == EINTR);
  return rc != 0;  // its pid, or an error: either way nothing is left to wait for
}

}  // namespace

bool RunAndWait(std::string_view commandLine, const std::function<void(int maxWaitMs)>& pump) {
  std::optional<CommandLine> parsed = ParseCommandLine(commandLine);
  if (!parsed) return false;
  std::optional<std::filesystem::path> wine = FindOnPath("wine");
  if (!wine) return false;

  // A program with a drive runs from its host file, which must exist; a bare
  // name is left to wine's own search.
  std::string program = parsed->program;
  if (program.size() >= 2 && program[1] == ':') {
    std::optional<std::filesystem::path> host = ToHost(program);
    std::error_code ec;
    if (!host || !std::filesystem::is_regular_file(*host, ec)) return false;
    program = host->string();
  }

  std::vector<std::string> argv{"wine", program};
  argv.insert(argv.end(), parsed->arguments.begin(), parsed->arguments.end());
  std::optional<pid_t> pid = Spawn(*wine, std::move(argv));
  if (!pid) return false;

  constexpr int kSliceMs = 50;
  while (!Ended(*pid)) {
    const auto start = std::chrono::steady_clock::now();
    if (pump) pump(kSliceMs);
    // A pump that returned at once must not turn the wait into a busy loop.
    const auto spent = std::chrono::steady_clock::now() - start;
    if (spent < std::chrono::milliseconds(5)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  return true;
}

}  // namespace sorana::platform
