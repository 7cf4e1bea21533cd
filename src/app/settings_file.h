// The settings file VMSORANA.INI: four KEY=value lines in CP932 (PROXYIP,
// PROXYPORT, PATH, VER), kept in the settings folder of the system drive or in
// the Windows folder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "form/form_state.h"

namespace sorana::app {

inline constexpr const char* kInitFileName = "VMSORANA.INI";

// The values as they stand in the file; a key without a line gives the empty text.
struct InitFileValues {
  std::string ProxyIP;
  std::string ProxyPort;
  std::string Path;
  std::string Ver;
};

// Full path of the settings file: D:\VELMORA\SORANA\VMSORANA.INI when that
// folder exists on the Windows folder's drive D, else in the Windows folder.
// The empty text when the Windows folder cannot be obtained.
std::string LocateInitFile();

// Values of the file's lines (UTF-8 text, lines ended by CR LF, LF or CR). Per
// key the first line whose name matches without regard to letter case wins;
// nothing around the "=" is trimmed.
InitFileValues ParseInitFile(std::string_view text);

// Reads the file; nullopt when it cannot be read. Lines that are not valid CP932
// are skipped.
std::optional<InitFileValues> ReadInitFile(std::string_view fileName);

// A PROXYPORT number truncated toward zero; nullopt outside 0..65535.
std::optional<uint16_t> PortFromNumber(double number);

// The file's four lines for the current values (UTF-8, each ended by CR LF).
std::string InitFileText(const form::FormState& state);

// Replaces the file atomically with the current values. Raises AppError
// "ファイル "<path>" を作成できません。<reason>" when it cannot be written or a
// value holds a CR or LF (the file is then left as it was).
void WriteInitFile(const form::FormState& state);

}  // namespace sorana::app
