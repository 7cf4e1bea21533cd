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
    win32::FailWithLastError();
    return;
  }
  handle_ = reinterpret_cast<intptr_t>(file);
}

InputFile::~InputFile() {
  if (handle_ != kNoHandle) CloseHandle(AsHandle(handle_));
}

int64_t InputFile::Read(void* data, size_t size) {
  DWORD got = 0;
  DWORD wanted = static_cast<DWORD>(size < (1u << 30) ? size : (1u << 30));
  if (!ReadFile(AsHandle(handle_), data, wanted, &got, nullptr)) {
    win32::FailWithLastError();
    return -1;
  }
  return got;
}

bool InputFile::Seek(int64_t offset) {
  LARGE_INTEGER to{};
  to.QuadPart = offset;
  return SetFilePointerEx(AsHandle(handle_), to, nullptr, FILE_BEGIN) || win32::FailWithLastError();
}

std::optional<int64_t> InputFile::Size() {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(AsHandle(handle_), &size)) {
    win32::FailWithLastError();
    return std::nullopt;
  }
  return size.QuadPart;
}

}  // namespace sorana::platform::host
