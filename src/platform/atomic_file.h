// A file written in a stream under a fresh name beside its target and renamed
// onto it on Commit; dropped uncommitted (a failure, an exception), it is
// removed, so the target is never left half written.
//
// The fresh name is created exclusively and a link planted at it is not
// followed. The rename replaces a symbolic link at the target itself, never the
// file it points to. Each step returns why it failed (result.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "platform/result.h"

namespace sorana::platform::host {

class AtomicFile {
 public:
  // Creates the fresh file in the target's folder (0666 less the umask on POSIX).
  explicit AtomicFile(const std::filesystem::path& target);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // False when the fresh file could not be created; Error() tells why.
  bool Ok() const { return handle_ != kNoHandle; }
  const HostError& Error() const { return openError_; }
  Status Write(const void* data, size_t size);
  // Sets the file's last-write time (seconds since the Unix epoch); before Commit.
  Status SetWriteTime(int64_t unixSeconds);
  // Closes the file and renames it onto the target; without `replace` an
  // existing target makes it fail with EEXIST. `durable` flushes the data and
  // the rename to the disk first: files the system owns (settings, records,
  // registry) are written so; plain copies and expanded downloads are not, as
  // Windows' CopyFileA does not flush either and an installation writes
  // hundreds of files.
  Status Commit(bool replace, bool durable);

  // The open file of this host (a descriptor, a HANDLE), for the host's own
  // steps such as permissions and times.
  intptr_t NativeHandle() const { return handle_; }

 private:
  static constexpr intptr_t kNoHandle = -1;
  std::filesystem::path target_;
  std::filesystem::path name_;
  intptr_t handle_ = kNoHandle;
  HostError openError_;
};

}  // namespace sorana::platform::host
