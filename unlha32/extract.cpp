#include "unlha32/extract.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include <lhasa.h>

#include "platform/atomic_file.h"
#include "platform/file_system.h"

#include "unlha32/amiga_folders.h"
#include "unlha32/member_decoder.h"
#include "unlha32/member_name.h"
#include "unlha32/unlha32.h"

namespace unlha32 {
namespace fs = std::filesystem;
namespace {

// The archive in memory as a liblhasa input stream; the position tells where
// the next member's header must begin.
struct MemoryStream {
  std::string_view bytes;
  size_t position = 0;

  static int Read(void* handle, void* buffer, size_t length) {
    auto* self = static_cast<MemoryStream*>(handle);
    size_t count = std::min(length, self->bytes.size() - self->position);
    std::memcpy(buffer, self->bytes.data() + self->position, count);
    self->position += count;
    return static_cast<int>(count);
  }
  static int Skip(void* handle, size_t length) {
    auto* self = static_cast<MemoryStream*>(handle);
    if (length > self->bytes.size() - self->position) {
      self->position = self->bytes.size();
      return 0;
    }
    self->position += length;
    return 1;
  }
};

const LHAInputStreamType kMemoryStreamType = {MemoryStream::Read, MemoryStream::Skip, nullptr};

struct StreamDeleter {
  void operator()(LHAInputStream* stream) const { lha_input_stream_free(stream); }
};
struct ReaderDeleter {
  void operator()(LHAReader* reader) const { lha_reader_free(reader); }
};

// Collects the outcome: the first failure decides code and message.
class Report {
 public:
  void Fail(int code, const std::string& message) {
    if (failures_++ == 0) {
      code_ = code;
      message_ = message;
    }
  }
  bool Failed() const { return failures_ > 0; }
  ExtractOutcome Outcome(int extracted) const {
    ExtractOutcome outcome{code_, message_, extracted};
    if (failures_ > 1) outcome.message += " (" + std::to_string(failures_ - 1) + " more failures)";
    if (failures_ == 0) {
      outcome.message = std::to_string(extracted) + (extracted == 1 ? " file" : " files") + " extracted";
    }
    return outcome;
  }

 private:
  int failures_ = 0;
  int code_ = 0;
  std::string message_;
};

// A member's file under a temporary name in its folder until it is complete.
class PendingFile {
 public:
  explicit PendingFile(const fs::path& target) : file_(target), error_(file_.Error()) {}

  bool IsOpen() const { return file_.Ok(); }
  bool Write(const char* data, size_t size) { return Kept(file_.Write(data, size)); }
  // Why the file could not be created or its last step failed, in the system's words.
  std::string Reason() const { return std::strerror(error_.code); }

  // Sets the member's time, flushes and renames into place. A time the host
  // does not take is no reason to lose the member.
  bool Commit(unsigned int unixTime) {
    if (unixTime != 0) file_.SetWriteTime(unixTime);
    return Kept(file_.Commit(true, true));
  }

 private:
  bool Kept(const sorana::platform::Status& step) {
    if (!step) error_ = step.error();
    return step.has_value();
  }

  sorana::platform::host::AtomicFile file_;
  sorana::platform::HostError error_;
};

bool IsFolderEntry(const LHAFileHeader& header) {
  return std::strcmp(header.compress_method, LHA_COMPRESS_TYPE_DIR) == 0;
}

// Decodes the current member (its data begins at `data`), writing it to `file`
// when set; true when the whole stream has the header's length and CRC.
bool DecodeMember(const LHAFileHeader& header, std::string_view data, PendingFile* file, bool* writeFailed) {
  MemberDecoder decoder(header, data);
  std::vector<uint8_t> buffer(size_t{64} * 1024);
  for (;;) {
    size_t count = decoder.Read(buffer.data(), buffer.size());
    if (count == 0) break;
    if (file != nullptr && !file->Write(reinterpret_cast<const char*>(buffer.data()), count)) {
      *writeFailed = true;
      return false;
    }
  }
  return decoder.Intact();
}

}  // namespace

ExtractOutcome ExtractArchive(std::string_view archive, const Destination* destination,
                              const ExtractOptions& options) {
  // Folder entries written on an Amiga read as the folders they are.
  if (std::optional<std::string> marked = MarkAmigaFolders(archive)) {
    return ExtractArchive(*marked, destination, options);
  }
  // An archive is installed whole or not at all: every member is checked
  // (names, methods, CRCs, the archive's structure) before the first is written.
  if (destination != nullptr) {
    ExtractOutcome check = ExtractArchive(archive, nullptr, options);
    if (check.code != 0) return check;
  }
  Report report;
  int extracted = 0;
  MemoryStream memory{archive};
  std::unique_ptr<LHAInputStream, StreamDeleter> stream(lha_input_stream_new(&kMemoryStreamType, &memory));
  if (!stream) return ExtractOutcome{UNLHA_ERROR_INTERNAL, "out of memory", 0};
  std::unique_ptr<LHAReader, ReaderDeleter> reader(lha_reader_new(stream.get()));
  if (!reader) return ExtractOutcome{UNLHA_ERROR_INTERNAL, "out of memory", 0};
  lha_reader_set_dir_policy(reader.get(), LHA_READER_DIR_PLAIN);

  int members = 0;
  size_t nextHeader = 0;
  std::string lastMember;
  while (LHAFileHeader* header = lha_reader_next_file(reader.get())) {
    ++members;
    const size_t dataStart = memory.position;
    nextHeader = dataStart + header->compressed_length;
    const bool isLink = header->symlink_target != nullptr;
    StoredPath stored = ReadStoredPath(*header);
    MemberPath path = DecodeStoredPath(isLink ? LinkPath(stored) : stored);
    lastMember = path.display;
    const std::string member = "member " + path.display;
    const bool isFolder = !isLink && IsFolderEntry(*header);
    // A folder entry for the root itself stands for the destination.
    if (isFolder && path.isRoot) continue;
    if (!path.ok) {
      bool encoding = path.problem.find("CP932") != std::string::npos;
      report.Fail(encoding ? UNLHA_ERROR_MEMBER_NAME : UNLHA_ERROR_UNSAFE_MEMBER,
                  member + " refused: " + path.problem);
      continue;
    }
    MemberPath target;
    if (isLink) {
      target = DecodeLinkTarget(header->symlink_target, options.keepFolders ? path.components.size() - 1 : 0);
      if (!target.ok) {
        report.Fail(UNLHA_ERROR_UNSAFE_MEMBER, member + " refused: " + target.problem);
        continue;
      }
    }
    if (isFolder && !options.keepFolders) continue;
    if (!isFolder && !isLink && lha_decoder_for_name(header->compress_method) == nullptr) {
      report.Fail(UNLHA_ERROR_METHOD,
                  member + ": compression method " + std::string(header->compress_method) + " not supported");
      continue;
    }
    std::vector<std::string> components = path.components;
    if (!options.keepFolders) components = {components.back()};
    const std::string_view data = archive.substr(std::min(dataStart, archive.size()));

    if (destination == nullptr) {
      if (!isFolder && !isLink && !DecodeMember(*header, data, nullptr, nullptr)) {
        report.Fail(UNLHA_ERROR_FILE_CRC, member + ": CRC or length does not match");
      }
      continue;
    }
    if (isLink) {
      std::string joined;
      for (const std::string& name : target.components) joined += (joined.empty() ? "" : "/") + name;
      Placement link = destination->PlaceLink(components, joined);
      if (link.code != 0) {
        report.Fail(link.code, member + ": " + link.problem);
      } else {
        ++extracted;
      }
      continue;
    }
    Placement place = destination->Place(components, isFolder);
    if (place.code != 0) {
      report.Fail(place.code, member + ": " + place.problem);
      continue;
    }
    if (isFolder) continue;
    PendingFile file(place.path);
    if (!file.IsOpen()) {
      report.Fail(UNLHA_ERROR_FILE_OPEN,
                  member + ": cannot create " + Utf8OfPath(place.path) + ": " + file.Reason());
      continue;
    }
    bool writeFailed = false;
    if (!DecodeMember(*header, data, &file, &writeFailed)) {
      report.Fail(writeFailed ? UNLHA_ERROR_CANNOT_WRITE : UNLHA_ERROR_FILE_CRC,
                  member + (writeFailed ? ": cannot write " + Utf8OfPath(place.path) + ": " + file.Reason()
                                        : ": CRC or length does not match"));
      continue;
    }
    if (!file.Commit(header->timestamp)) {
      report.Fail(UNLHA_ERROR_CANNOT_WRITE,
                  member + ": cannot write " + Utf8OfPath(place.path) + ": " + file.Reason());
      continue;
    }
    ++extracted;
  }

  if (members == 0) return ExtractOutcome{UNLHA_ERROR_NOT_ARC_FILE, "not an LHA archive", 0};
  // liblhasa ends at the first header it cannot read; only an end mark (or
  // nothing) may follow the last member.
  if (nextHeader < archive.size() && archive[nextHeader] != '\0') {
    report.Fail(UNLHA_ERROR_HEADER_BROKEN, "archive damaged after member " + lastMember);
  } else if (nextHeader > archive.size()) {
    report.Fail(UNLHA_ERROR_HEADER_BROKEN, "archive truncated in member " + lastMember);
  }
  return report.Outcome(extracted);
}

ExtractOutcome ExtractArchiveFile(const fs::path& archive, Destination& destination,
                                  const ExtractOptions& options) {
  std::ifstream in(archive, std::ios::binary);
  std::string bytes;
  if (in) bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (!in.is_open() || in.bad()) {
    return ExtractOutcome{UNLHA_ERROR_ARC_FILE_OPEN, "cannot read archive " + Utf8OfPath(archive), 0};
  }
  Placement root = destination.Prepare();
  if (root.code != 0) return ExtractOutcome{root.code, root.problem, 0};
  return ExtractArchive(bytes, &destination, options);
}

int ExtractArchiveBytes(std::span<const uint8_t> archive, const fs::path& scratchFolder,
                        std::string* message) {
  Destination destination = Destination::OnHost(scratchFolder);
  ExtractOutcome outcome;
  Placement root = destination.Prepare();
  if (root.code != 0) {
    outcome = ExtractOutcome{root.code, root.problem, 0};
  } else {
    outcome = ExtractArchive(std::string_view(reinterpret_cast<const char*>(archive.data()), archive.size()),
                             &destination);
  }
  if (message != nullptr) *message = outcome.message;
  return outcome.code;
}

}  // namespace unlha32
