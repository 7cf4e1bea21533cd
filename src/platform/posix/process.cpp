#include "platform/process.h"

#include <dirent.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/windows_system.h"

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

// The environment of this process with WINEPREFIX set to the active prefix
// and Wine's debugger switched off. A crashing program would otherwise start
// `winedbg --auto`, which Wine detaches into a session of its own and which,
// with a display, waits for an answer nobody gives. The last entry of
// WINEDLLOVERRIDES wins, so the user's own overrides stay in front of ours.
std::vector<std::string> ChildEnvironment() {
  constexpr std::string_view kOverrides = "WINEDLLOVERRIDES=";
  std::string overrides;
  std::vector<std::string> env;
  for (char** var = environ; var != nullptr && *var != nullptr; ++var) {
    std::string_view text(*var);
    if (text.starts_with("WINEPREFIX=")) continue;
    if (text.starts_with(kOverrides)) {
      overrides = std::string(text.substr(kOverrides.size())) + ";";
      continue;
    }
    env.emplace_back(text);
  }
  env.push_back("WINEPREFIX=" + ActiveSystem().Root().string());
  env.push_back(std::string(kOverrides) + overrides + "winedbg.exe=d");
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> out;
  out.reserve(texts.size() + 1);
  for (std::string& text : texts) out.push_back(text.data());
  out.push_back(nullptr);
  return out;
}

// Starts the child as the leader of a new session (so its pid names the
// session and its process group); nullopt when it cannot be started.
std::optional<pid_t> Spawn(const std::filesystem::path& wine, std::vector<std::string> argv) {
  std::vector<std::string> env = ChildEnvironment();
  std::vector<char*> argvPointers = Pointers(argv);
  std::vector<char*> envPointers = Pointers(env);

  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return std::nullopt;
  posix_spawnattr_t attributes;
  if (posix_spawnattr_init(&attributes) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return std::nullopt;
  }
  // The child inherits no handles but the standard three.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, wine.c_str(), &actions, &attributes, argvPointers.data(), envPointers.data());
  posix_spawnattr_destroy(&attributes);
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

// Living processes of the session `session` other than its leader, from /proc.
std::vector<pid_t> SessionMembers(pid_t session) {
  std::vector<pid_t> members;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return members;
  while (const dirent* entry = readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (pid <= 0 || *end != '\0' || pid == session) continue;
    std::ifstream in(std::string("/proc/") + entry->d_name + "/stat");
    std::string stat;
    std::getline(in, stat);
    // "pid (name) state ppid pgrp session ...": the name may hold anything, so read after its last ')'.
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    long ppid = 0, group = 0, sid = 0;
    if (std::sscanf(stat.c_str() + close + 1, " %c %ld %ld %ld", &state, &ppid, &group, &sid) != 4) continue;
    if (sid == session && state != 'Z' && state != 'X') members.push_back(static_cast<pid_t>(pid));
  }
  closedir(proc);
  return members;
}

// A descriptor that names the process itself (not a number that could be
// given again), or -1 when it is gone. Through syscall: glibc 2.36's
// <sys/pidfd.h> lacks C linkage for C++.
int OpenProcess(pid_t pid) { return static_cast<int>(syscall(SYS_pidfd_open, pid, 0)); }

// Waits until the process of `pidfd` has ended, at most until `deadline`.
void WaitForEnd(int pidfd, std::chrono::steady_clock::time_point deadline) {
  using std::chrono::milliseconds;
  while (true) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd ended{pidfd, POLLIN, 0};
    const int rc = poll(&ended, 1, static_cast<int>(std::max<milliseconds::rep>(left.count(), 0)));
    if (rc >= 0 || errno != EINTR) return;
  }
}

// Ends the child's whole session: its process group at once, then every
// member (also those in groups of their own), and waits until they are gone.
// The leader stays unreaped meanwhile, so no new process can be given the
// session's number.
void EndSession(pid_t leader) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  const int leaderFd = OpenProcess(leader);
  kill(-leader, SIGKILL);
  // More passes for members started while the first ones were being ended.
  for (int pass = 0; pass < 3; ++pass) {
    const std::vector<pid_t> members = SessionMembers(leader);
    if (members.empty()) break;
    for (pid_t member : members) {
      const int fd = OpenProcess(member);
      if (fd < 0) continue;  // already gone
      syscall(SYS_pidfd_send_signal, fd, SIGKILL, nullptr, 0);
      WaitForEnd(fd, deadline);
      close(fd);
    }
  }
  if (leaderFd >= 0) {
    WaitForEnd(leaderFd, deadline);
    close(leaderFd);
  }
  Ended(leader);
}

}  // namespace

RunOutcome RunAndWait(std::string_view commandLine, const ProcessWait& wait) {
  std::optional<CommandLine> parsed = ParseCommandLine(commandLine);
  if (!parsed) return RunOutcome::NotStarted;
  std::optional<std::filesystem::path> wine = FindOnPath("wine");
  if (!wine) return RunOutcome::NotStarted;

  // A program with a drive runs from its host file, which must exist; a bare
  // name is left to wine's own search.
  std::string program = parsed->program;
  if (program.size() >= 2 && program[1] == ':') {
    std::optional<std::filesystem::path> host = ToHost(program);
    std::error_code ec;
    if (!host || !std::filesystem::is_regular_file(*host, ec)) return RunOutcome::NotStarted;
    program = host->string();
  }

  std::vector<std::string> argv{"wine", program};
  argv.insert(argv.end(), parsed->arguments.begin(), parsed->arguments.end());
  std::optional<pid_t> pid = Spawn(*wine, std::move(argv));
  if (!pid) return RunOutcome::NotStarted;

  using std::chrono::milliseconds;
  constexpr milliseconds kSlice(50);
  const auto start = std::chrono::steady_clock::now();
  while (!Ended(*pid)) {
    // Compared in milliseconds: an unbounded wait (the maximum) never overflows.
    const auto elapsed = std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - start);
    if (elapsed >= wait.bound || (wait.keepWaiting && !wait.keepWaiting())) {
      EndSession(*pid);
      return RunOutcome::Ended;
    }
    const milliseconds slice = std::min(kSlice, wait.bound - elapsed);
    const auto pumped = std::chrono::steady_clock::now();
    if (wait.pump) wait.pump(static_cast<int>(std::max<milliseconds::rep>(slice.count(), 1)));
    // A pump that returned at once must not turn the wait into a busy loop.
    if (std::chrono::steady_clock::now() - pumped < milliseconds(5)) {
      std::this_thread::sleep_for(std::min(milliseconds(10), slice));
    }
  }
  return RunOutcome::Exited;
}

}  // namespace sorana::platform
