// The SZDD expansion of the Linux host: libmspack's decoder over the host's
// input file and the atomic output, through large buffers. libmspack refuses
// a file without the signature, where LZ32 would copy it: the installation
// copies those itself.
#include "platform/lz_expand.h"

#include <mspack.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <utility>

#include "platform/input_file.h"

namespace sorana::platform::host {

namespace {

namespace fs = std::filesystem;

// libmspack's LZSS decoder hands over every output byte on its own and reads
// in 2 KiB pieces, so both directions go through large buffers here.
constexpr size_t kBufferSize = size_t{1} << 20;

struct BufferedSystem;

struct BufferedFile {
  BufferedSystem* owner = nullptr;
  std::unique_ptr<InputFile> source;  // reading
  AtomicFile* sink = nullptr;         // writing
  bool writing = false;
  std::unique_ptr<unsigned char[]> buffer;
  size_t pos = 0;         // reading: next unread byte; writing: bytes pending
  size_t end = 0;         // reading: bytes held
  off_t bufferStart = 0;  // file offset of buffer[0]
};

struct BufferedSystem {
  mspack_system base{};            // first member: libmspack hands back its address
  std::optional<HostError> error;  // the first failed file operation
  int64_t outputBytes = 0;
  AtomicFile* output = nullptr;  // the one file the decoder writes

  void Record(HostError failure) {
    if (!error) error = failure.code != 0 ? std::move(failure) : ErrnoError(EIO);
  }
  void Record(int code) { Record(ErrnoError(code)); }
};

BufferedFile* AsFile(mspack_file* file) { return reinterpret_cast<BufferedFile*>(file); }
BufferedSystem* AsSystem(mspack_system* system) { return reinterpret_cast<BufferedSystem*>(system); }

bool Flush(BufferedFile* file) {
  if (!file->writing || file->pos == 0) return true;
  if (Status written = file->sink->Write(file->buffer.get(), file->pos); !written) {
    file->owner->Record(written.error());
    return false;
  }
  file->bufferStart += static_cast<off_t>(file->pos);
  file->pos = 0;
  return true;
}

mspack_file* Open(mspack_system* self, const char* filename, int mode) noexcept {
  BufferedSystem* system = AsSystem(self);
  if (mode == MSPACK_SYS_OPEN_WRITE) {
    // The output goes to the file beside the target, whatever name the decoder passes.
    if (system->output == nullptr) {
      system->Record(EINVAL);
      return nullptr;
    }
  } else if (mode != MSPACK_SYS_OPEN_READ) {
    system->Record(EINVAL);
    return nullptr;
  }
  auto* file = new (std::nothrow) BufferedFile;
  unsigned char* buffer = new (std::nothrow) unsigned char[kBufferSize];
  if (file == nullptr || buffer == nullptr) {
    delete file;
    delete[] buffer;
    system->Record(ENOMEM);
    return nullptr;
  }
  file->buffer.reset(buffer);
  file->owner = system;
  file->writing = mode == MSPACK_SYS_OPEN_WRITE;
  if (file->writing) {
    file->sink = std::exchange(system->output, nullptr);
    return reinterpret_cast<mspack_file*>(file);
  }
  file->source.reset(new (std::nothrow) InputFile(filename));
  if (file->source == nullptr || !file->source->Ok()) {
    system->Record(file->source == nullptr ? ErrnoError(ENOMEM) : file->source->Error());
    delete file;
    return nullptr;
  }
  return reinterpret_cast<mspack_file*>(file);
}

void Close(mspack_file* handle) noexcept {
  BufferedFile* file = AsFile(handle);
  if (file == nullptr) return;
  if (file->writing) {
    // Output is written in order, so its end is its length.
    file->owner->outputBytes += file->bufferStart + static_cast<off_t>(file->pos);
    Flush(file);
  }
  delete file;
}

int Read(mspack_file* handle, void* out, int bytes) noexcept {
  BufferedFile* file = AsFile(handle);
  if (bytes < 0 || file->writing) return -1;
  auto* dest = static_cast<unsigned char*>(out);
  const auto wanted = static_cast<size_t>(bytes);
  size_t copied = 0;
  while (copied < wanted) {
    if (file->pos == file->end) {
      const Result<size_t> got = file->source->Read(file->buffer.get(), kBufferSize);
      if (!got) {
        file->owner->Record(got.error());
        return -1;
      }
      if (*got == 0) break;
      file->bufferStart += static_cast<off_t>(file->end);
      file->pos = 0;
      file->end = *got;
    }
    size_t take = std::min(file->end - file->pos, wanted - copied);
    std::memcpy(dest + copied, file->buffer.get() + file->pos, take);
    file->pos += take;
    copied += take;
  }
  return static_cast<int>(copied);
}

// Every write but the decoder's single bytes; kept out of line so the
// one-byte path needs no registers saved.
[[gnu::noinline]] int WriteBlock(BufferedFile* file, void* in, int bytes) noexcept {
  if (bytes < 0 || !file->writing) return -1;
  const auto size = static_cast<size_t>(bytes);
  if (kBufferSize - file->pos < size) {
    if (!Flush(file)) return -1;
    if (size > kBufferSize) {
      if (Status written = file->sink->Write(in, size); !written) {
        file->owner->Record(written.error());
        return -1;
      }
      file->bufferStart += static_cast<off_t>(size);
      return bytes;
    }
  }
  std::memcpy(file->buffer.get() + file->pos, in, size);
  file->pos += size;
  return bytes;
}

int Write(mspack_file* handle, void* in, int bytes) noexcept {
  BufferedFile* file = AsFile(handle);
  // The decoder's usual call: one byte. Keep it to a store and an increment.
  if (bytes == 1 && file->pos < kBufferSize && file->writing) [[likely]] {
    file->buffer[file->pos++] = *static_cast<unsigned char*>(in);
    return 1;
  }
  return WriteBlock(file, in, bytes);
}

off_t Tell(mspack_file* handle) noexcept {
  BufferedFile* file = AsFile(handle);
  return file->bufferStart + static_cast<off_t>(file->pos);
}

int Seek(mspack_file* handle, off_t offset, int mode) noexcept {
  BufferedFile* file = AsFile(handle);
  // The output is a stream: written in order, never sought.
  if (file->writing) return -1;
  off_t target;
  switch (mode) {
    case MSPACK_SYS_SEEK_START:
      target = offset;
      break;
    case MSPACK_SYS_SEEK_CUR:
      target = Tell(handle) + offset;
      break;
    case MSPACK_SYS_SEEK_END: {
      const Result<int64_t> size = file->source->Size();
      if (!size) {
        file->owner->Record(size.error());
        return -1;
      }
      target = static_cast<off_t>(*size) + offset;
      break;
    }
    default:
      return -1;
  }
  if (target < 0) return -1;
  if (!file->writing && target >= file->bufferStart &&
      target <= file->bufferStart + static_cast<off_t>(file->end)) {
    file->pos = static_cast<size_t>(target - file->bufferStart);
    return 0;
  }
  if (Status sought = file->source->Seek(target); !sought) {
    file->owner->Record(sought.error());
    return -1;
  }
  file->bufferStart = target;
  file->pos = 0;
  file->end = 0;
  return 0;
}

void Message(mspack_file*, const char*, ...) noexcept {}
void* Alloc(mspack_system*, size_t bytes) noexcept { return std::malloc(bytes); }
void Free(void* ptr) noexcept { std::free(ptr); }
void Copy(void* src, void* dest, size_t bytes) noexcept { std::memmove(dest, src, bytes); }

void InitSystem(BufferedSystem& system) {
  system.base.open = Open;
  system.base.close = Close;
  system.base.read = Read;
  system.base.write = Write;
  system.base.seek = Seek;
  system.base.tell = Tell;
  system.base.message = Message;
  system.base.alloc = Alloc;
  system.base.free = Free;
  system.base.copy = Copy;
  system.base.null_ptr = nullptr;
}

// The file operation that failed first, else the decoder's own complaint.
HostError Failure(const std::optional<HostError>& error, std::string detail) {
  if (!error) return HostError{0, 0, std::move(detail)};
  HostError failure = *error;
  failure.what = failure.what.empty() ? std::move(detail) : detail + " (" + failure.what + ")";
  return failure;
}

bool SelfTestPassed() {
  static const bool passed = [] {
    int result = MSPACK_ERR_OK;
    MSPACK_SYS_SELFTEST(result);
    return result == MSPACK_ERR_OK;
  }();
  return passed;
}

}  // namespace

Result<LzExpansion> LzExpand(const fs::path& source, AtomicFile& out) {
  if (!SelfTestPassed()) return Failure(std::nullopt, "libmspack was built for another off_t");
  BufferedSystem system;
  InitSystem(system);
  system.output = &out;
  msszdd_decompressor* decompressor = mspack_create_szdd_decompressor(&system.base);
  if (decompressor == nullptr) return ErrnoError(ENOMEM, "cannot create the SZDD decompressor");
  Result<LzExpansion> result = LzExpansion{};
  msszddd_header* header = decompressor->open(decompressor, source.c_str());
  if (header == nullptr) {
    int code = decompressor->last_error(decompressor);
    result = Failure(system.error, "unreadable SZDD header (libmspack error " + std::to_string(code) + ")");
  } else {
    int code = decompressor->extract(decompressor, header, "expanded output");
    decompressor->close(decompressor, header);
    if (code != MSPACK_ERR_OK) {
      result =
          Failure(system.error, "SZDD data does not decode (libmspack error " + std::to_string(code) + ")");
    } else if (system.error) {
      result = Failure(system.error, "cannot write the expanded file");
    } else {
      result = LzExpansion{system.outputBytes, true};
    }
  }
  mspack_destroy_szdd_decompressor(decompressor);
  return result;
}

}  // namespace sorana::platform::host
