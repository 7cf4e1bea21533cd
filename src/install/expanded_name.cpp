#include "install/expanded_name.h"

#include <utility>

#include "platform/win_path.h"

namespace sorana::install {

namespace {

constexpr std::pair<std::string_view, std::string_view> kExpandedExtensions[] = {
    {".EX_", ".EXE"}, {".DL_", ".DLL"}, {".SP_", ".SPI"}, {".LA_", ".LAY"}, {".IN_", ".INI"},
    {".TX_", ".TXT"}, {".4K_", ".4KE"}, {".4N_", ".4NO"}, {".6K_", ".6KE"}, {".6N_", ".6NO"},
    {".JH_", ".JH"},  {".NK_", ".NK"},  {".XL_", ".XLS"}, {".DO_", ".DOC"}, {".EZ_", ".EZ"},
    {".0K_", ".0KE"}, {".1N_", ".1NO"}, {".KU_", ".KUK"},
};
constexpr std::string_view kOtherExtension = ".KOU";

}  // namespace

std::string ExpandedName(std::string_view name) {
  const std::string extension = platform::AsciiUpper(platform::ExtractFileExt(name));
  for (const auto& [downloaded, expanded] : kExpandedExtensions) {
    if (extension == downloaded) return platform::ChangeFileExt(name, expanded);
  }
  return platform::ChangeFileExt(name, kOtherExtension);
}

}  // namespace sorana::install
