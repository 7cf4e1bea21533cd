#include "unlha32/lha_writer.h"

#include <ctime>
#include <stdexcept>

#include "unlha32/crc16.h"

namespace unlha32 {

struct LhaWriter::Level2Fields {
  std::string method;    // "-lh0-" or "-lhd-"
  std::string folder;    // 0xFF-separated, ending in 0xFF; empty for none
  std::string fileName;  // empty for none
  uint8_t attribute = 0x20;
  uint8_t osType = 'w';
  int64_t unixTime = 0;
  int unixPermissions = -1;  // written when not negative
};

namespace {

void PutUint16(std::string& out, uint32_t value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

void PutUint32(std::string& out, uint64_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

void SetUint16(std::string& out, size_t offset, uint32_t value) {
  out[offset] = static_cast<char>(value & 0xFF);
  out[offset + 1] = static_cast<char>((value >> 8) & 0xFF);
}

// MS-DOS date and time (local time) as level 0 headers keep them; 0 for none.
uint32_t DosTime(int64_t unixTime) {
  if (unixTime <= 0) return 0;
  time_t t = static_cast<time_t>(unixTime);
  struct tm local {};
  if (localtime_r(&t, &local) == nullptr || local.tm_year < 80) return 0;
  uint32_t date = ((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday;
  uint32_t time = (local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2);
  return (date << 16) | time;
}

// Position of the last backslash that separates folders (not the second byte of
// a CP932 character); npos when there is none.
size_t LastSeparator(std::string_view path, char separator) {
  size_t last = std::string_view::npos;
  for (size_t i = 0; i < path.size(); ++i) {
    if (IsCp932LeadByte(static_cast<unsigned char>(path[i]))) {
      ++i;
    } else if (path[i] == separator) {
      last = i;
    }
  }
  return last;
}

// Folder part in the 0xFF-separated form of level 2 headers.
std::string FolderField(std::string_view folder, char separator) {
  std::string out;
  for (size_t i = 0; i < folder.size(); ++i) {
    auto byte = static_cast<unsigned char>(folder[i]);
    if (IsCp932LeadByte(byte) && i + 1 < folder.size()) {
      out += folder.substr(i, 2);
      ++i;
    } else {
      out.push_back(folder[i] == separator ? '\xFF' : folder[i]);
    }
  }
  if (!out.empty() && out.back() != '\xFF') out.push_back('\xFF');
  return out;
}

void CheckDataSize(std::string_view data) {
  if (data.size() > 0xFFFFFFFFu) throw std::length_error("LHA member larger than 4 GiB");
}

void PutExtension(std::string& header, uint8_t type, std::string_view data) {
  if (data.size() + 3 > 0xFFFF) throw std::length_error("LHA extended header too long");
  header.push_back(static_cast<char>(type));
  header += data;
  PutUint16(header, 0);  // size of the next extended header, patched by the caller
}

}  // namespace

void LhaWriter::AddFile(std::string_view storedPath, std::string_view data, int64_t unixTime,
                        HeaderLevel level) {
  CheckDataSize(data);
  if (level == HeaderLevel::kLevel0) {
    AddLevel0(storedPath, data, unixTime);
    return;
  }
  Level2Fields fields;
  fields.method = "-lh0-";
  size_t cut = LastSeparator(storedPath, '\\');
  if (cut != std::string_view::npos) {
    fields.folder = FolderField(storedPath.substr(0, cut + 1), '\\');
    fields.fileName = std::string(storedPath.substr(cut + 1));
  } else {
    fields.fileName = std::string(storedPath);
  }
  fields.unixTime = unixTime;
  AddLevel2(fields, data);
}

void LhaWriter::AddFolder(std::string_view storedPath, int64_t unixTime) {
  Level2Fields fields;
  fields.method = "-lhd-";
  fields.folder = FolderField(storedPath, '\\');
  fields.attribute = 0x10;
  fields.unixTime = unixTime;
  AddLevel2(fields, {});
}

void LhaWriter::AddSymlink(std::string_view storedPath, std::string_view target) {
  // Unix archivers store "<path>|<target>" and split it at the last '/', so the
  // link target's folders end up in the folder header.
  std::string whole;
  for (char c : storedPath) whole.push_back(c == '\\' ? '/' : c);
  whole += '|';
  whole += target;
  Level2Fields fields;
  fields.method = "-lhd-";
  size_t cut = whole.rfind('/');
  if (cut != std::string::npos) {
    fields.folder = FolderField(std::string_view(whole).substr(0, cut + 1), '/');
    fields.fileName = whole.substr(cut + 1);
  } else {
    fields.fileName = whole;
  }
  fields.osType = 'U';
  fields.unixPermissions = 0120777;
  AddLevel2(fields, {});
}

void LhaWriter::AddLevel0(std::string_view storedPath, std::string_view data, int64_t unixTime) {
  if (storedPath.size() > 233) throw std::length_error("LHA level 0 path longer than 233 bytes");
  std::string header;
  header.push_back(static_cast<char>(22 + storedPath.size()));  // bytes after the first two
  header.push_back(0);                                          // checksum, below
  header += "-lh0-";
  PutUint32(header, data.size());  // compressed size
  PutUint32(header, data.size());  // original size
  PutUint32(header, DosTime(unixTime));
  header.push_back(0x20);  // archive attribute
  header.push_back(0);     // header level
  header.push_back(static_cast<char>(storedPath.size()));
  header += storedPath;
  PutUint16(header, Crc16(data));
  unsigned sum = 0;
  for (size_t i = 2; i < header.size(); ++i) sum += static_cast<unsigned char>(header[i]);
  header[1] = static_cast<char>(sum & 0xFF);
  bytes_ += header;
  bytes_ += data;
}

void LhaWriter::AddLevel2(const Level2Fields& fields, std::string_view data) {
  std::string header;
  PutUint16(header, 0);  // total header size, below
  header += fields.method;
  PutUint32(header, data.size());
  PutUint32(header, data.size());
  PutUint32(header, static_cast<uint64_t>(fields.unixTime > 0 ? fields.unixTime : 0));
  header.push_back(static_cast<char>(fields.attribute));
  header.push_back(2);
  PutUint16(header, Crc16(data));
  header.push_back(static_cast<char>(fields.osType));
  PutUint16(header, 0);  // size of the first extended header

  // Each extended header: type, data, size of the next one. The size field in
  // front of an extension counts type, data and that trailing size field.
  size_t sizeField = header.size() - 2;
  auto add = [&](uint8_t type, std::string_view bytes) {
    SetUint16(header, sizeField, static_cast<uint32_t>(bytes.size() + 3));
    PutExtension(header, type, bytes);
    sizeField = header.size() - 2;
  };
  const size_t crcOffset = header.size() + 1;
  add(0x00, std::string(2, '\0'));  // header CRC, computed last
  if (!fields.fileName.empty()) add(0x01, fields.fileName);
  if (!fields.folder.empty()) add(0x02, fields.folder);
  if (fields.unixPermissions >= 0) {
    std::string perms;
    PutUint16(perms, static_cast<uint32_t>(fields.unixPermissions));
    add(0x50, perms);
  }
  // A header whose size has a zero low byte would read as the end mark.
  if ((header.size() & 0xFF) == 0) header.push_back(0);
  if (header.size() > 0xFFFF) throw std::length_error("LHA level 2 header too long");
  SetUint16(header, 0, static_cast<uint32_t>(header.size()));
  SetUint16(header, crcOffset, Crc16(header));
  bytes_ += header;
  bytes_ += data;
}

std::string LhaWriter::Finish() const { return bytes_ + std::string(1, '\0'); }

}  // namespace unlha32
