// LHA extraction through our library: any bytes as an archive, extracted into
// a scratch folder. Nothing may be written outside it (the folder holds a
// symbolic link that leads out, which a member must not pass through), no
// temporary member file may stay behind, and a success names its count.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "support/scratch.h"
#include "unlha32/extract.h"

namespace fs = std::filesystem;
using sorana::fuzz::Finding;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const fs::path area = sorana::fuzz::FreshFolder("lha");
  const fs::path out = area / "out";
  fs::create_directories(out);
  fs::create_directory_symlink("..", out / "link_out");

  std::string message;
  int code;
  {
    sorana::fuzz::WriteGuard guard({out});
    code = unlha32::ExtractArchiveBytes(std::span<const uint8_t>(data, size), out, &message);
  }

  if (code == 0 && !message.ends_with(" extracted")) Finding("success without a count: " + message);
  if (code != 0 && message.empty()) Finding("failure " + std::to_string(code) + " without a message");
  return 0;
}
