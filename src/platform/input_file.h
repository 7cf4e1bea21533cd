// A host file opened for reading in a stream, with seeks, for decoders that
// pull their input in pieces. Failures record the error as LastError
// (file_system.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>

namespace sorana::platform::host {

class InputFile {
 public:
  explicit InputFile(const std::filesystem::path& path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // False when the file could not be opened (LastError tells why).
  bool Ok() const { return handle_ != kNoHandle; }
  // Up to `size` bytes from the current position: their count, 0 at the end, -1 on failure.
  int64_t Read(void* data, size_t size);
  // Moves to `offset` bytes from the start.
  bool Seek(int64_t offset);
  std::optional<int64_t> Size();

 private:
  static constexpr intptr_t kNoHandle = -1;
  intptr_t handle_ = kNoHandle;
};

}  // namespace sorana::platform::host
