#include "install/expanded_name.h"

#include <utility>

#include "formats/ascii_case.h"
#include "formats/win_path_text.h"
#include "platform/windows_system.h"

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
  const std::string extension = formats::AsciiUpper(formats::ExtractFileExt(name));
  for (const auto& [downloaded, expanded] : kExpandedExtensions) {
    if (extension == downloaded) return formats::ChangeFileExt(name, expanded);
  }
  return formats::ChangeFileExt(name, kOtherExtension);
}

}  // namespace sorana::install
