#include "update/crash_machine.h"

#include <cxxabi.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <thread>

#include "e2e/update_scenario.h"
#include "tools/wine_tools.h"
#include "update/update_record.h"

extern char** environ;

namespace sorana::update::crash {

namespace {

// A prefix that wineboot made is about 600 MB, nearly all of it Wine's own
// files below drive_c/windows, which a run (the viewer registration through
// wine included) neither changes nor replaces. The e2e scenarios copy the
// whole prefix, which is fine for tens of them; this test makes hundreds of
// copies, so those files are linked (copied where links cannot be made).
bool WineOwnFile(const fs::path& relative) {
  return relative.generic_string().find("drive_c/windows/") != std::string::npos;
}

void CopyTree(const fs::path& from, const fs::path& to) {
  fs::create_directories(to);
  for (auto it = fs::recursive_directory_iterator(from); it != fs::recursive_directory_iterator(); ++it) {
    const fs::path relative = it->path().lexically_relative(from);
    const fs::path target = to / relative;
    const fs::file_status status = it->symlink_status();
    if (fs::is_symlink(status)) {
      fs::copy_symlink(it->path(), target);
    } else if (fs::is_directory(status)) {
      fs::create_directory(target);
    } else if (fs::is_regular_file(status)) {
      std::error_code linked;
      if (WineOwnFile(relative)) fs::create_hard_link(it->path(), target, linked);
      if (!WineOwnFile(relative) || linked) fs::copy_file(it->path(), target);
    }
  }
}

std::vector<std::string> RunnerEnvironment(const fs::path& machine, const RunOptions& options) {
  constexpr std::string_view kOurs[] = {"WINEPREFIX=", "TMPDIR=", "SORANA_", "http_proxy=", "HTTP_PROXY=",
                                        "https_proxy=", "HTTPS_PROXY=", "all_proxy=", "ALL_PROXY=",
                                        "no_proxy=", "NO_PROXY=", "WINEDEBUG="};
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    std::string_view text(*entry);
    bool ours = false;
    for (std::string_view prefix : kOurs) ours |= text.starts_with(prefix);
    if (!ours) env.emplace_back(text);
  }
  env.push_back("WINEPREFIX=" + (machine / "prefix").string());
  env.push_back("TMPDIR=" + (machine / "tmp").string());
  env.push_back("SORANA_UPDATE_SERVER=" + options.server);
  env.push_back("WINEDEBUG=-all");
  if (options.count) {
    std::ofstream(machine / "points", std::ios::binary | std::ios::trunc).write("\0\0\0\0\0\0\0\0", 8);
    env.push_back("SORANA_CRASH_POINTS=" + (machine / "points").string());
  }
  if (options.crashAt != 0) env.push_back("SORANA_CRASH_AT=" + std::to_string(options.crashAt));
  if (options.trace) env.push_back("SORANA_CRASH_TRACE=" + (machine / "trace").string());
  return env;
}

// "_ZN6sorana6update17WriteUpdateRecord...+0x12" of a backtrace line, demangled, without its parameters.
std::string FrameName(const std::string& line) {
  const size_t open = line.find('(');
  const size_t plus = line.find('+', open);
  if (open == std::string::npos || plus == std::string::npos || plus == open + 1) return "";
  const std::string mangled = line.substr(open + 1, plus - open - 1);
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> plain(abi::__cxa_demangle(mangled.c_str(), nullptr, nullptr, &status),
                                               std::free);
  std::string name = status == 0 ? plain.get() : mangled;
  name = std::regex_replace(name, std::regex("\\(anonymous namespace\\)"), "{anon}");
  return name.substr(0, name.find('('));
}

std::string Hash(std::string_view bytes) {
  uint64_t hash = 1469598103934665603ull;  // FNV-1a
  for (unsigned char ch : bytes) hash = (hash ^ ch) * 1099511628211ull;
  std::ostringstream text;
  text << "file of " << bytes.size() << " bytes #" << std::hex << hash;
  return text.str();
}

// Starts `argv` (found on PATH) in the machine's environment, its output appended to <root>/runner.log.
pid_t Start(const fs::path& machine, const RunOptions& options, std::vector<std::string> argv) {
  std::vector<std::string> env = RunnerEnvironment(machine, options);
  std::vector<char*> envp, args;
  envp.reserve(env.size() + 1);
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  args.reserve(argv.size() + 1);
  for (std::string& arg : argv) args.push_back(arg.data());
  args.push_back(nullptr);
  const std::string log = (machine / "runner.log").string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  pid_t pid = 0;
  const int error = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(error));
  return pid;
}

}  // namespace

void CopyPrefix(const fs::path& from, const fs::path& to) { CopyTree(from, to); }

void CopyMachine(const fs::path& from, const fs::path& to) {
  CopyTree(from / "prefix", to / "prefix");
  CopyTree(from / "tmp", to / "tmp");
}

void RemoveTree(const fs::path& root) {
  std::error_code ec;
  // A stopped run may leave read-only folders; give write back first (not to
  // files, whose modes linked copies share with the prepared machine).
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (!it->is_symlink() && it->is_directory()) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
  }
  fs::remove_all(root, ec);
}

pid_t StartRunner(const fs::path& machine, const RunOptions& options) {
  return Start(machine, options, {SORANA_UNATTENDED_RUNNER});
}

void EndWine(const fs::path& machine) {
  // Wine finds a prefix's server below TMPDIR, so it is ended in the runner's
  // environment (tools::EndWineserver would look below ours).
  if (tools::WineAvailable()) WaitRunner(Start(machine, {}, {"wineserver", "-k"}));
}

int WaitRunner(pid_t pid) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int RunRunner(const fs::path& machine, const RunOptions& options) { return WaitRunner(StartRunner(machine, options)); }

uint64_t PointsCounted(const fs::path& machine) {
  uint64_t count = 0;
  std::ifstream(machine / "points", std::ios::binary).read(reinterpret_cast<char*>(&count), sizeof count);
  return count;
}

std::vector<TracePoint> ReadTrace(const fs::path& machine) {
  std::vector<TracePoint> points;
  std::ifstream in(machine / "trace");
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos) {
      points.push_back({std::stoull(line), "", false});
      continue;
    }
    const std::string name = FrameName(line);
    if (points.empty() || name.empty()) continue;
    TracePoint& point = points.back();
    point.recordChange |= name.find("WriteUpdateRecord") != std::string::npos ||
                          name.find("RemoveUpdateRecord") != std::string::npos;
    if (point.where.empty() && name.starts_with("sorana::") && !name.starts_with("sorana::platform::")) {
      point.where = name.substr(name.find("::", 8) + 2);  // without "sorana::<layer>::"
    }
  }
  return points;
}

Tree Snapshot(const fs::path& machine, const std::vector<fs::path>& folders) {
  Tree tree;
  for (const fs::path& folder : folders) {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(machine / folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
      const std::string path = it->path().lexically_relative(machine).generic_string();
      const fs::file_status status = it->symlink_status();
      if (fs::is_symlink(status)) {
        tree[path] = "link to " + fs::read_symlink(it->path()).string();
      } else if (fs::is_directory(status)) {
        tree[path] = "folder";
      } else if (fs::is_regular_file(status)) {
        tree[path] = Hash(e2e::ReadHostFile(it->path()).value_or("(unreadable)"));
      } else {
        tree[path] = "special file";
      }
    }
  }
  // The registry files are rewritten through temporaries beside them.
  std::error_code ec;
  for (auto it = fs::directory_iterator(machine / "prefix", ec); !ec && it != fs::directory_iterator();
       it.increment(ec)) {
    if (it->path().filename().string().starts_with(".sorana-")) {
      tree[it->path().lexically_relative(machine).generic_string()] = "temporary file";
    }
  }
  return tree;
}

std::string Difference(const Tree& expected, const Tree& actual) {
  constexpr int kShown = 6;
  std::string text;
  int shown = 0;
  auto note = [&](const std::string& line) {
    if (shown++ < kShown) text += "    " + line + "\n";
  };
  for (const auto& [path, what] : expected) {
    auto found = actual.find(path);
    if (found == actual.end()) {
      note(path + ": missing (" + what + ")");
    } else if (found->second != what) {
      note(path + ": " + found->second + ", expected " + what);
    }
  }
  for (const auto& [path, what] : actual) {
    if (!expected.contains(path)) note(path + ": left over (" + what + ")");
  }
  if (shown > kShown) text += "    and " + std::to_string(shown - kShown) + " more\n";
  return text;
}

std::string Stage(const fs::path& installRoot) {
  std::ifstream in(installRoot / kRecordFileName);
  if (!in) return fs::exists(installRoot / "OLD_BIN") ? "no record, two folders" : "no record, one folder";
  std::map<std::string, std::string> fields;
  std::string key, value;
  while (in >> key && std::getline(in >> std::ws, value)) fields[key] = value;
  if (fields["step"] != "installing") return fields["step"];
  return "installing " + fields["phase"] + " " + fields["install"];
}

}  // namespace sorana::update::crash
