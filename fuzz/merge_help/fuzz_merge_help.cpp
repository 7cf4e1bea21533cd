// Help-bundle merge: any bytes as MERGEHELP.INI, merged into the help folder
// of a scratch prefix. Nothing may be written outside that folder, no
// temporary file may stay, and a bad bundle is reported as std::runtime_error
// (anything else escaping is a finding).
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "install/merge_help.h"
#include "support/fake_window.h"
#include "support/scratch.h"

namespace fs = std::filesystem;
using sorana::fuzz::Finding;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const sorana::platform::WindowsSystem prefix = sorana::fuzz::MakeScratchPrefix("merge_help");
  const fs::path driveC = prefix.Root() / "drive_c";
  const fs::path help = driveC / "VELMORA" / "SORANA" / "NEW_BIN" / "ヘルプ";
  fs::create_directories(help);
  sorana::fuzz::WriteHostFile(driveC / "Temp" / "SorNewUp" / "MERGEHELP.INI",
                              sorana::fuzz::AsText({data, size}));

  sorana::test::FakeWindow window;
  try {
    sorana::fuzz::WriteGuard guard({help});
    sorana::install::MergeHelp("C:\\Temp\\SorNewUp\\MERGEHELP.INI", "C:\\VELMORA\\SORANA\\NEW_BIN\\ヘルプ\\",
                               window);
  } catch (const std::runtime_error& error) {
    if (std::string(error.what()).empty()) Finding("a merge failure without a message");
  }
  return 0;
}
