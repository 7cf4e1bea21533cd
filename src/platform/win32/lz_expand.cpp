// The SZDD expansion of Windows: the platform's LZ32. The source is opened
// with the wide-character API and handed to LZInit (LZOpenFile would take the
// path in the ANSI code page and no longer than an OFSTRUCT holds); LZCopy
// writes into the atomic output's own handle.
#include "platform/lz_expand.h"

#include <cerrno>
#include <cstdint>

#include "platform/file_system.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/windows_api.h"

#include <lzexpand.h>

namespace sorana::platform::host {

namespace {

namespace fs = std::filesystem;

INT AsLzFile(HANDLE handle) { return static_cast<INT>(reinterpret_cast<intptr_t>(handle)); }

// LZ32's negative results: its file errors leave the system's last error behind.
HostError LzFailure(LONG code, const fs::path& source) {
  const DWORD system = GetLastError();  // read before the texts below are made
  switch (code) {
    case LZERROR_READ:
    case LZERROR_BADINHANDLE:
      return win32::SystemError(system, "cannot read " + Utf8OfPath(source));
    case LZERROR_WRITE:
    case LZERROR_BADOUTHANDLE:
      return win32::SystemError(system, "cannot write the expanded file");
    case LZERROR_GLOBALLOC:
    case LZERROR_GLOBLOCK:
      return ErrnoError(ENOMEM, "LZ32 has no memory for " + Utf8OfPath(source));
    default:
      return HostError{0, 0, "SZDD data does not decode (LZ32 error " + std::to_string(code) + ")"};
  }
}

}  // namespace

Result<LzExpansion> LzExpand(const fs::path& source, AtomicFile& out) {
  HANDLE file =
      CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return win32::SystemError(error, "cannot open " + Utf8OfPath(source));
  }
  // LZInit hands back the file itself when it is not compressed, which LZCopy then copies.
  const INT input = LZInit(AsLzFile(file));
  if (input < 0) {
    HostError failure = LzFailure(input, source);
    CloseHandle(file);
    return failure;
  }
  const bool decoded = input != AsLzFile(file);
  const LONG bytes = LZCopy(input, AsLzFile(reinterpret_cast<HANDLE>(out.NativeHandle())));
  Result<LzExpansion> result = bytes < 0 ? Result<LzExpansion>(LzFailure(bytes, source))
                                         : Result<LzExpansion>(LzExpansion{bytes, decoded});
  LZClose(input);  // closes the file as well
  return result;
}

}  // namespace sorana::platform::host
