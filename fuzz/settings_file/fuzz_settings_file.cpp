// Settings-file reader and the lenient number of its PROXYPORT: any bytes as
// VMSORANA.INI. The values read are single lines; the port is a number or
// refused, never out of range; and the file the updater writes for those
// values reads back as the same values.
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "app/lenient_number.h"
#include "app/settings_file.h"
#include "form/app_error.h"
#include "form/form_state.h"
#include "support/scratch.h"

namespace fs = std::filesystem;
using sorana::fuzz::Finding;
namespace app = sorana::app;
namespace form = sorana::form;

namespace {

constexpr const char* kFile = "C:\\VELMORA\\SORANA\\VMSORANA.INI";

bool SingleLine(const std::string& text) { return text.find_first_of("\r\n") == std::string::npos; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes = sorana::fuzz::AsText({data, size});
  (void)app::ParseInitFile(bytes);
  if (std::isnan(app::LenientNumber(bytes))) Finding("LenientNumber gave NaN");

  const sorana::platform::WindowsSystem prefix = sorana::fuzz::MakeScratchPrefix("settings");
  const fs::path folder = prefix.Root() / "drive_c" / "VELMORA" / "SORANA";
  sorana::fuzz::WriteHostFile(folder / "VMSORANA.INI", bytes);

  std::optional<app::InitFileValues> values = app::ReadInitFile(kFile);
  if (!values) Finding("the settings file cannot be read");
  for (const std::string* text : {&values->ProxyIP, &values->ProxyPort, &values->Path, &values->Ver}) {
    if (!SingleLine(*text)) Finding("a value spans lines: \"" + *text + "\"");
  }
  const double number = app::LenientNumber(values->ProxyPort);
  if (std::isnan(number)) Finding("LenientNumber gave NaN for \"" + values->ProxyPort + "\"");
  const std::optional<uint16_t> port = app::PortFromNumber(number);
  if (port && !(number > -1 && number < 65536)) Finding("port accepted from " + std::to_string(number));

  form::FormState state;
  state.InitFileName = kFile;
  state.ProxyIP = values->ProxyIP;
  state.ProxyPortNo = port.value_or(0);
  state.WorkFolder = values->Path;
  state.InitVer = values->Ver;
  try {
    sorana::fuzz::WriteGuard guard({folder});
    app::WriteInitFile(state);
  } catch (const form::AppError& error) {
    // Only a value that CP932 cannot hold again may keep the file from being written.
    if (std::string_view(error.what()).ends_with(std::strerror(EILSEQ))) return 0;
    Finding(std::string("the settings file was not written: ") + error.what());
  }
  std::optional<app::InitFileValues> again = app::ReadInitFile(kFile);
  if (!again) Finding("the settings file written cannot be read");
  if (again->ProxyIP != state.ProxyIP || again->ProxyPort != std::to_string(state.ProxyPortNo) ||
      again->Path != state.WorkFolder || again->Ver != state.InitVer) {
    Finding("the settings written read back differently");
  }
  return 0;
}
