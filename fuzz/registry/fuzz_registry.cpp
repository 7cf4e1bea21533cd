// Wine's registry text: any bytes as a prefix's system.reg, then what the
// start-up does with the product key: read "Exename", write it, write a binary
// value beside it. A value written reads back the same from the edited text,
// through a fresh look-up of the key, and survives a write of another value.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "formats/registry_text.h"
#include "support/finding.h"

using sorana::fuzz::Finding;
namespace text = sorana::formats::registry_text;

namespace {

// Quotes, backslashes and characters beyond ASCII all need escaping in the file.
constexpr const char* kKey = "SOFTWARE\\ヴェルモラ\\ソラナギ";
constexpr const char* kProgram = "C:\\ヴェルモラ\\\"ソラナギ\"\\FOTODESK.EXE";

std::optional<std::string> ReadBack(const std::string& file, const char* name) {
  std::optional<text::KeyPath> key = text::LocateKey(file, kKey, true);
  if (!key || !key->exists) Finding("the key written is missing on a fresh look-up");
  return text::ReadString(file, key->stored, name);
}

// The text after one value write, or nullopt when the write was refused.
std::optional<std::string> Write(const std::string& file, const std::string& stored, const char* name,
                                 const std::optional<std::string>& line) {
  if (!line) Finding("a value line of valid UTF-8 could not be made");
  return text::WithValue(file, stored, name, *line, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string file(sorana::fuzz::AsText({data, size}));
  std::optional<text::KeyPath> key = text::LocateKey(file, kKey, true);
  if (!key) return 0;
  (void)text::ReadString(file, key->stored, "Exename");
  (void)text::ReadString(file, key->stored, "");

  std::optional<std::string> written =
      Write(file, key->stored, "Exename", text::StringValueLine("Exename", kProgram));
  if (!written) return 0;
  if (ReadBack(*written, "Exename") != kProgram) Finding("\"Exename\" does not read back as written");
  const std::vector<uint8_t> option(40, 0xA5);
  if (std::optional<std::string> both =
          Write(*written, key->stored, "ReadOption", text::BinaryValueLine("ReadOption", option))) {
    if (ReadBack(*both, "Exename") != kProgram) Finding("\"Exename\" changed by writing another value");
  }
  if (std::optional<std::string> shorter =
          Write(*written, key->stored, "Exename", text::StringValueLine("Exename", "C:\\X"))) {
    if (ReadBack(*shorter, "Exename") != "C:\\X") Finding("a shorter \"Exename\" does not read back");
  }
  return 0;
}
