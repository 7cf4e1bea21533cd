// Fetches the new-version phase with every standard from a local server, once
// through TipwHTTP and once with the curl tool on one connection, and compares
// wall and CPU time. The last line is machine-readable.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "download/tipw_http.h"
#include "update/update_server.h"
#include "support/http_test_server.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

extern char** environ;

namespace {

struct Timing {
  double wall = 0;
  double cpu = 0;
};

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Component sizes between 16 KiB and about 600 KiB, fixed per name.
std::string BodyFor(const std::string& name) {
  size_t seed = std::hash<std::string>{}(name);
  std::string body(16 * 1024 + seed % (600 * 1024), '\0');
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>((seed >> (i % 48)) + i);
  return body;
}

Timing FetchWithComponent(const std::string& server, const std::vector<std::string>& names,
                          const fs::path& into) {
  sorana::download::TipwHTTP http;
  http.MessagePump = [](int) {};  // a window with nothing pending
  double cpuStart = ThreadCpuSeconds();
  Clock::time_point start = Clock::now();
  for (const std::string& name : names) {
    http.ClearState();
    http.LocalFile = (into / name).string();
    http.Fetch(sorana::update::ComponentUrl(server, false, name));
  }
  return {Seconds(Clock::now() - start), ThreadCpuSeconds() - cpuStart};
}

Timing FetchWithCurl(const std::string& server, const std::vector<std::string>& names, const fs::path& into,
                     const fs::path& config) {
  {
    std::ofstream out(config);
    for (const std::string& name : names) {
      out << "url = \"" << sorana::update::ComponentUrl(server, false, name) << "\"\n";
      out << "output = \"" << (into / name).string() << "\"\n";
    }
  }
  std::string configText = config.string();
  std::vector<char*> argv = {const_cast<char*>("curl"), const_cast<char*>("-s"), const_cast<char*>("-f"),
                             const_cast<char*>("-K"),   configText.data(),       nullptr};
  Clock::time_point start = Clock::now();
  pid_t child = 0;
  if (posix_spawnp(&child, "curl", nullptr, nullptr, argv.data(), environ) != 0) {
    throw std::runtime_error("cannot start curl");
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  Timing timing{Seconds(Clock::now() - start), 0};
  timing.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("curl failed");
  return timing;
}

void CheckFiles(const std::vector<std::string>& names, const fs::path& folder) {
  for (const std::string& name : names) {
    if (fs::file_size(folder / name) != BodyFor(name).size()) throw std::runtime_error("short file " + name);
  }
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  try {
    char templ[] = "/tmp/sorana-fetch-bench-XXXXXX";
    if (mkdtemp(templ) == nullptr) throw std::runtime_error("mkdtemp failed");
    fs::path base = templ;
    sorana::catalogue::StandardChoice all;
    all.fill(true);
    std::vector<std::string> names = sorana::catalogue::BuildFileList(false, all);
    std::vector<std::string> unique = names;
    std::sort(unique.begin(), unique.end());
    unique.erase(std::unique(unique.begin(), unique.end()), unique.end());
    size_t totalBytes = 0;
    for (const std::string& name : names) totalBytes += BodyFor(name).size();
    fs::path site = base / "site" / "sorana" / "20240410";
    fs::create_directories(site);
    for (const std::string& name : unique) {
      std::ofstream(site / name, std::ios::binary) << BodyFor(name);
    }

    Timing best[2];
    {
      sorana::test::HttpTestServer server(base / "site");
      for (int round = 0; round < rounds; ++round) {
        for (int tool = 0; tool < 2; ++tool) {
          fs::path into = base / (tool == 0 ? "updater" : "curl");
          fs::remove_all(into);
          fs::create_directories(into);
          Timing t = tool == 0 ? FetchWithComponent(server.BaseUrl(), names, into)
                               : FetchWithCurl(server.BaseUrl(), names, into, base / "curl.cfg");
          CheckFiles(names, into);
          if (round == 0 || t.wall < best[tool].wall) best[tool].wall = t.wall;
          if (round == 0 || t.cpu < best[tool].cpu) best[tool].cpu = t.cpu;
        }
      }
    }
    fs::remove_all(base);

    std::printf("files=%zu bytes=%zu rounds=%d (best of each)\n", names.size(), totalBytes, rounds);
    std::printf("updater wall=%.3fs cpu=%.3fs\n", best[0].wall, best[0].cpu);
    std::printf("curl    wall=%.3fs cpu=%.3fs\n", best[1].wall, best[1].cpu);
    std::printf("fetch ratio=%.3f cpu_ratio=%.3f\n", best[0].wall / best[1].wall,
                best[1].cpu > 0 ? best[0].cpu / best[1].cpu : 0.0);
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "fetch bench: %s\n", error.what());
    return 1;
  }
}
