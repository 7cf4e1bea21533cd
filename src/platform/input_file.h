// A host file opened for reading in a stream, with seeks, for decoders that
// pull their input in pieces. Each step returns why it failed (result.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "platform/result.h"

namespace sorana::platform::host {

class InputFile {
 public:
  explicit InputFile(const std::filesystem::path& path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // False when the file could not be opened; Error() tells why.
  bool Ok() const { return handle_ != kNoHandle; }
  const HostError& Error() const { return openError_; }
  // Up to `size` bytes from the current position: their count, 0 at the end.
  Result<size_t> Read(void* data, size_t size);
  // Moves to `offset` bytes from the start.
  Status Seek(int64_t offset);
  Result<int64_t> Size();

 private:
  static constexpr intptr_t kNoHandle = -1;
  intptr_t handle_ = kNoHandle;
  HostError openError_;
};

}  // namespace sorana::platform::host
