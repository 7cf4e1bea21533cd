// Registry-file parser: any bytes as a prefix's system.reg, then what the
// start-up does with the product key: read "Exename", write it, write a binary
// value beside it. A value written reads back the same, through a fresh open
// of the key, and survives a write of another value.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "support/scratch.h"

namespace fs = std::filesystem;
using sorana::fuzz::Finding;
using sorana::platform::Hive;
using sorana::platform::RegistryKey;

namespace {

// Quotes, backslashes and characters beyond ASCII all need escaping in the file.
constexpr const char* kKey = "SOFTWARE\\ヴェルモラ\\ソラナギ";
constexpr const char* kProgram = "C:\\ヴェルモラ\\\"ソラナギ\"\\FOTODESK.EXE";

std::optional<std::string> ReadBack(const sorana::platform::WinePrefix& prefix, const char* name) {
  std::optional<RegistryKey> key = RegistryKey::Open(prefix, Hive::LocalMachine, kKey, false);
  if (!key) Finding("the key written is missing on a fresh open");
  return key->ReadString(name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const sorana::platform::WinePrefix prefix = sorana::fuzz::MakeScratchPrefix("registry");
  sorana::fuzz::WriteHostFile(prefix.Root() / "system.reg", sorana::fuzz::AsText({data, size}));

  sorana::fuzz::WriteGuard guard({prefix.Root()});
  std::optional<RegistryKey> key = RegistryKey::Open(prefix, Hive::LocalMachine, kKey, true);
  if (!key) return 0;  // not a registry file
  (void)key->ReadString("Exename");
  (void)key->ReadString("");

  if (!key->WriteString("Exename", kProgram)) return 0;
  if (ReadBack(prefix, "Exename") != kProgram) Finding("\"Exename\" does not read back as written");
  if (key->WriteBinary("ReadOption", std::vector<uint8_t>(40, 0xA5))) {
    if (ReadBack(prefix, "Exename") != kProgram) Finding("\"Exename\" changed by writing another value");
  }
  if (key->WriteString("Exename", "C:\\X")) {
    if (ReadBack(prefix, "Exename") != "C:\\X") Finding("a shorter \"Exename\" does not read back");
  }
  return 0;
}
