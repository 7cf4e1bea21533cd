#include "platform/input_file.h"

#include "platform/win32/wide_text.h"
#include "platform/win32/windows_api.h"

namespace sorana::platform::host {

namespace {

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

InputFile::InputFile(const std::filesystem::path& path) {
  HANDLE file =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    openError_ = LastSystemError();
    return;
  }
  handle_ = reinterpret_cast<intptr_t>(file);
}

InputFile::~InputFile() {
  if (handle_ != kNoHandle) CloseHandle(AsHandle(handle_));
}

Result<size_t> InputFile::Read(void* data, size_t size) {
  DWORD got = 0;
  DWORD wanted = static_cast<DWORD>(size < (1u << 30) ? size : (1u << 30));
  if (!ReadFile(AsHandle(handle_), data, wanted, &got, nullptr)) return LastSystemError();
  return static_cast<size_t>(got);
}

Status InputFile::Seek(int64_t offset) {
  LARGE_INTEGER to{};
  to.QuadPart = offset;
  if (!SetFilePointerEx(AsHandle(handle_), to, nullptr, FILE_BEGIN)) return LastSystemError();
  return {};
}

Result<int64_t> InputFile::Size() {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(AsHandle(handle_), &size)) return LastSystemError();
  return static_cast<int64_t>(size.QuadPart);
}

}  // namespace sorana::platform::host
