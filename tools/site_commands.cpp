#include "tools/site_commands.h"

#include <signal.h>

#include <cstdio>
#include <filesystem>
#include <iomanip>
#include <span>

#include "catalogue/catalogue.h"
#include "formats/version_resource.h"
#include "platform/version_info.h"
#include "platform/windows_system.h"
#include "tools/command_line.h"
#include "tools/host_files.h"
#include "tools/inspect_report.h"
#include "tools/prefix_writer.h"
#include "tools/site_builder.h"
#include "tools/site_error.h"
#include "tools/site_server.h"
#include "tools/site_signing.h"
#include "tools/wine_tools.h"
#include "update/update_server.h"

namespace sorana::tools {

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage =
    "usage: sorana-site COMMAND ...\n"
    "  list [--phase old|new] [--standards all|none|0,1,5]\n"
    "      URL paths of the component files, in fetch order\n"
    "  build DIR [--scale small|realistic] [--sign SECRET_KEY [--valid-days N]]\n"
    "      writes a complete update site below DIR (default: small), signed with --sign\n"
    "  keygen SECRET_KEY PUBLIC_KEY\n"
    "      writes a key pair in minisign's formats (the secret key readable by you only)\n"
    "  sign DIR --key SECRET_KEY [--valid-days N] [--sequence N]\n"
    "      writes each phase's signed list (files.list, files.list.minisig) of the site below DIR;\n"
    "      the lists expire after N days (default 30): sign again before then\n"
    "  serve DIR [--port N] [--bind ADDRESS] [--rate KB_PER_S] [--quiet]\n"
    "      serves DIR over HTTP (default 127.0.0.1:8080; port 0 picks a free one)\n"
    "  prefix DIR --installed VERSION|none [--standards ...] [--arch win32|win64] [--wine auto|yes|no]\n"
    "      writes a Wine prefix with the product installed as a user has it; with Wine\n"
    "      installed (auto) wineboot makes the prefix; DIR may be a prefix without the product\n"
    "  inspect [--prefix DIR]\n"
    "      what the updater finds at start-up (default: WINEPREFIX or ~/.wine), and\n"
    "      whether it holds an update public key\n"
    "  version FILE\n"
    "      the version text of a Windows program file\n";

int List(const CommandLine& line, std::ostream& out) {
  catalogue::StandardChoice standards = ParseStandards(line.Option("standards").value_or("all"));
  std::string phase = line.Option("phase").value_or("both");
  if (phase != "old" && phase != "new" && phase != "both") {
    throw UsageError("bad --phase value '" + phase + "': use old or new");
  }
  for (bool oldPhase : {true, false}) {
    if ((oldPhase && phase == "new") || (!oldPhase && phase == "old")) continue;
    for (const std::string& name : catalogue::BuildFileList(oldPhase, standards)) {
      // The path exactly as the updater requests it (UTF-8, percent-encoded).
      out << update::ComponentUrl("", oldPhase, name) << "\n";
    }
  }
  return 0;
}

SignOptions ParseSignOptions(const CommandLine& line) {
  SignOptions options;
  options.validSeconds =
      static_cast<int64_t>(ParseCount("valid-days", line.Option("valid-days").value_or("30"), 3650)) * 86400;
  if (std::optional<std::string> sequence = line.Option("sequence")) {
    options.sequence = ParseCount("sequence", *sequence, uint64_t{1} << 62);
  }
  return options;
}

void SignAndTell(const fs::path& root, const fs::path& secretKey, const CommandLine& line,
                 std::ostream& out) {
  const signing::SecretKey key = ReadSecretKey(secretKey);
  const uint64_t sequence = SignSite(root, key, ParseSignOptions(line));
  out << "signed both phases' lists below " << (root / "sorana").string() << " with key "
      << signing::KeyIdText(key.id) << " (sequence " << sequence << ")\n";
}

int Build(const CommandLine& line, std::ostream& out) {
  Scale scale = ParseScale(line.Option("scale").value_or("small"));
  fs::path root = line.operands[0];
  BuildSummary summary = BuildSite(root, scale);
  out << "wrote " << summary.files << " files (" << std::fixed << std::setprecision(1)
      << static_cast<double>(summary.bytes) / (1024.0 * 1024.0) << " MB) below " << (root / "sorana").string()
      << "\n";
  if (std::optional<std::string> secretKey = line.Option("sign")) SignAndTell(root, *secretKey, line, out);
  return 0;
}

int Keygen(const CommandLine& line, std::ostream& out) {
  const signing::PublicKey key = WriteKeyPair(line.operands[0], line.operands[1]);
  out << "wrote the secret key " << line.operands[0] << " (keep it off the server) and the public key "
      << line.operands[1] << "\n"
      << "build the updater with: cmake -DSORANA_UPDATE_PUBLIC_KEY=" << signing::PublicKeyLine(key)
      << " ...\n";
  return 0;
}

// Blocks SIGINT and SIGTERM for the threads started meanwhile, so that only
// the waiting thread takes them.
class StopSignals {
 public:
  StopSignals() {
    sigemptyset(&set_);
    sigaddset(&set_, SIGINT);
    sigaddset(&set_, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set_, &previous_);
  }
  ~StopSignals() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;
  int Wait() {
    int signal = 0;
    sigwait(&set_, &signal);
    return signal;
  }

 private:
  sigset_t set_{};
  sigset_t previous_{};
};

int Serve(const CommandLine& line, std::ostream& out, std::ostream& err) {
  ServeOptions options;
  options.root = line.operands[0];
  options.bind = line.Option("bind").value_or("127.0.0.1");
  options.port = ParsePort(line.Option("port").value_or("8080"));
  options.bytesPerSecond = 1024 * ParseCount("rate", line.Option("rate").value_or("0"), 1u << 30);
  options.logRequests = !line.flags.contains("quiet");
  StopSignals signals;
  SiteServer server(options);
  server.Start();
  out << server.Url() << std::endl;
  err << "serving " << options.root.string() << "; stop with Ctrl+C" << std::endl;
  int signal = signals.Wait();
  server.Stop();
  err << "stopped (" << (signal == SIGINT ? "SIGINT" : "SIGTERM") << ")" << std::endl;
  return 0;
}

int Prefix(const CommandLine& line, std::ostream& out) {
  std::optional<std::string> installed = line.Option("installed");
  if (!installed) throw UsageError("prefix needs --installed VERSION or --installed none");
  PrefixOptions options;
  options.root = line.operands[0];
  if (*installed != "none") options.installed = ParseVersion(*installed);
  options.standards = ParseStandards(line.Option("standards").value_or("all"));
  std::string arch = line.Option("arch").value_or("win32");
  if (arch != "win32" && arch != "win64")
    throw UsageError("bad --arch value '" + arch + "': use win32 or win64");
  options.win64 = arch == "win64";
  std::string wine = line.Option("wine").value_or("auto");
  if (wine != "auto" && wine != "yes" && wine != "no")
    throw UsageError("bad --wine value '" + wine + "': use auto, yes or no");
  if (wine == "yes" && !WineAvailable())
    throw SiteError("--wine yes, but wine, wineboot or wineserver is not on PATH");
  options.useWine = wine == "yes" || (wine == "auto" && WineAvailable());
  WritePrefix(options);
  out << "wrote " << arch << (options.useWine ? " Wine" : " minimal") << " prefix " << options.root.string();
  if (options.installed) {
    out << " with " << VersionText(*options.installed) << " installed in " << kProductFolder << "\n";
  } else {
    out << " without the product\n";
  }
  return 0;
}

int InspectCommand(const CommandLine& line, std::ostream& out) {
  if (std::optional<std::string> root = line.Option("prefix")) {
    platform::SetActiveSystem(platform::WindowsSystem(*root));
  }
  const fs::path& root = platform::ActiveSystem().Root();
  std::error_code ec;
  if (!fs::is_directory(root, ec)) throw SiteError("no Wine prefix at " + root.string());
  out << FormatReport(Inspect());
  return 0;
}

int Version(const CommandLine& line, std::ostream& out) {
  std::string bytes = ReadHostFile(line.operands[0]);
  auto image = std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  out << formats::VersionTextFromImage(image) << "\n";
  return 0;
}

struct Command {
  const char* name;
  CommandSyntax syntax;
};

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"list", {0, 0, {"phase", "standards"}, {}}},
      {"build", {1, 1, {"scale", "sign", "valid-days", "sequence"}, {}}},
      {"keygen", {2, 2, {}, {}}},
      {"sign", {1, 1, {"key", "valid-days", "sequence"}, {}}},
      {"serve", {1, 1, {"port", "bind", "rate"}, {"quiet"}}},
      {"prefix", {1, 1, {"installed", "standards", "arch", "wine"}, {}}},
      {"inspect", {0, 0, {"prefix"}, {}}},
      {"version", {1, 1, {}, {}}},
  };
  return commands;
}

int Dispatch(const CommandLine& line, std::ostream& out, std::ostream& err) {
  if (line.command == "list") return List(line, out);
  if (line.command == "build") return Build(line, out);
  if (line.command == "keygen") return Keygen(line, out);
  if (line.command == "sign") {
    std::optional<std::string> secretKey = line.Option("key");
    if (!secretKey) throw UsageError("sign needs --key SECRET_KEY");
    SignAndTell(line.operands[0], *secretKey, line, out);
    return 0;
  }
  if (line.command == "serve") return Serve(line, out, err);
  if (line.command == "prefix") return Prefix(line, out);
  if (line.command == "inspect") return InspectCommand(line, out);
  return Version(line, out);
}

}  // namespace

int RunSite(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << kUsage;
    return 2;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    out << kUsage;
    return 0;
  }
  try {
    for (const Command& command : Commands()) {
      if (args[0] != command.name) continue;
      CommandLine line =
          ParseCommandLine(args[0], std::vector<std::string>(args.begin() + 1, args.end()), command.syntax);
      return Dispatch(line, out, err);
    }
    throw UsageError("unknown command '" + args[0] + "' (try sorana-site --help)");
  } catch (const UsageError& e) {
    err << "sorana-site: " << e.what() << "\n";
    return 2;
  } catch (const std::exception& e) {
    err << "sorana-site: " << e.what() << "\n";
    return 1;
  }
}

}  // namespace sorana::tools
