// A temporary prefix with the pieces of an installed product that the window's
// start-up reads: the registry value "Exename", the settings file, program
// files of a known version and standards records.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "form/form_state.h"
#include "support/fake_window.h"
#include "support/temp_prefix.h"

namespace sorana::test {

class AppPrefix {
 public:
  AppPrefix() = default;
  // On Windows the machine's own registry and Windows folder serve every test:
  // what the product writes there is removed again.
  ~AppPrefix();
  AppPrefix(const AppPrefix&) = delete;
  AppPrefix& operator=(const AppPrefix&) = delete;

  // Writes UTF-8 text as CP932 to a Windows path on C:.
  void WriteC(std::string_view windowsPath, std::string_view utf8Text) const;
  // CP932 bytes of a file on C: as UTF-8; nullopt when it does not exist.
  std::optional<std::string> ReadC(std::string_view windowsPath) const;
  bool ExistsC(std::string_view windowsPath) const;
  void MakeFolderC(std::string_view windowsPath) const;

  void RegisterExename(std::string_view value) const;
  std::optional<std::string> RegisteredExename() const;
  void InstallMainProgram(std::string_view folder, uint16_t a, uint16_t b, uint16_t c, uint16_t d) const;
  // C:\windows\VMSORANA.INI.
  void WriteSettings(std::string_view utf8Text) const { WriteC("C:\\windows\\VMSORANA.INI", utf8Text); }

  TempPrefix prefix;
};

// "[PULUGINLIST]" followed by the given lines, each ended by CR LF.
std::string StandardsRecord(std::initializer_list<std::string_view> entries);

}  // namespace sorana::test
