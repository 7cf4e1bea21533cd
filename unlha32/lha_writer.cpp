#include "unlha32/lha_writer.h"

#include <ctime>
#include <stdexcept>

#include "unlha32/crc16.h"

namespace unlha32 {

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

// The C runtime's thread-safe local time: localtime_r, or localtime_s on Windows.
bool ToLocalTime(time_t t, struct tm* local) {
#ifdef _WIN32
  return localtime_s(local, &t) == 0;
#else
  return localtime_r(&t, local) != nullptr;
#endif
}

// MS-DOS date and time (local time) as level 0 headers keep them; 0 for none.
uint32_t DosTime(int64_t unixTime) {
  if (unixTime <= 0) return 0;
  time_t t = static_cast<time_t>(unixTime);
  struct tm local {};
  if (!ToLocalTime(t, &local) || local.tm_year < 80) return 0;
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

// The extended headers after a base header that ends in the size of the
// first: each is type, data and the size of the next, and the size in front
// of one counts all three. Returns the offset of the header CRC's field, or 0.
size_t PutExtensions(std::string& header, const MemberFields& fields, bool withCrc, bool withName) {
  size_t sizeField = header.size() - 2;
  auto add = [&](uint8_t type, std::string_view bytes) {
    SetUint16(header, sizeField, static_cast<uint32_t>(bytes.size() + 3));
    PutExtension(header, type, bytes);
    sizeField = header.size() - 2;
  };
  const size_t crcOffset = withCrc ? header.size() + 1 : 0;
  if (withCrc) add(0x00, std::string(2, '\0'));
  if (withName && !fields.name.empty()) add(0x01, fields.name);
  if (!fields.folder.empty()) add(0x02, fields.folder);
  if (fields.unixPermissions >= 0) {
    std::string perms;
    PutUint16(perms, static_cast<uint32_t>(fields.unixPermissions));
    add(0x50, perms);
  }
  return crcOffset;
}

}  // namespace

void LhaWriter::AddFile(std::string_view storedPath, std::string_view data, int64_t unixTime,
                        HeaderLevel level) {
  CheckDataSize(data);
  MemberFields fields;
  fields.level = level;
  fields.data = std::string(data);
  fields.unixTime = unixTime;
  size_t cut = LastSeparator(storedPath, '\\');
  if (level != HeaderLevel::kLevel2) {
    fields.name = std::string(storedPath);
  } else if (cut != std::string_view::npos) {
    fields.folder = FolderField(storedPath.substr(0, cut + 1), '\\');
    fields.name = std::string(storedPath.substr(cut + 1));
  } else {
    fields.name = std::string(storedPath);
  }
  AddMember(fields);
}

void LhaWriter::AddMember(const MemberFields& fields) {
  CheckDataSize(fields.data);
  if (fields.level == HeaderLevel::kLevel2) {
    AddLevel2(fields);
  } else {
    AddLevel0Or1(fields);
  }
}

void LhaWriter::AddFolder(std::string_view storedPath, int64_t unixTime) {
  MemberFields fields;
  fields.method = "-lhd-";
  fields.folder = FolderField(storedPath, '\\');
  fields.attribute = 0x10;
  fields.unixTime = unixTime;
  AddLevel2(fields);
}

void LhaWriter::AddSymlink(std::string_view storedPath, std::string_view target) {
  // Unix archivers store "<path>|<target>" and split it at the last '/', so the
  // link target's folders end up in the folder header.
  std::string whole;
  for (char c : storedPath) whole.push_back(c == '\\' ? '/' : c);
  whole += '|';
  whole += target;
  MemberFields fields;
  fields.method = "-lhd-";
  size_t cut = whole.rfind('/');
  if (cut != std::string::npos) {
    fields.folder = FolderField(std::string_view(whole).substr(0, cut + 1), '/');
    fields.name = whole.substr(cut + 1);
  } else {
    fields.name = whole;
  }
  fields.osType = 'U';
  fields.unixPermissions = 0120777;
  AddLevel2(fields);
}

void LhaWriter::AddLevel0Or1(const MemberFields& fields) {
  const bool level1 = fields.level == HeaderLevel::kLevel1;
  // The base header's size byte counts from the method to its end.
  const size_t baseSize = 22 + fields.name.size() + (level1 ? 3 : 0);
  if (baseSize > 0xFF) throw std::length_error("LHA level 0 or 1 name longer than the header holds");
  std::string header;
  header.push_back(static_cast<char>(baseSize));
  header.push_back(0);  // checksum, below
  header += fields.method;
  PutUint32(header, 0);  // compressed size (level 1: extensions included), below
  PutUint32(header, fields.data.size());
  PutUint32(header, DosTime(fields.unixTime));
  header.push_back(static_cast<char>(fields.attribute));
  header.push_back(static_cast<char>(fields.level));
  header.push_back(static_cast<char>(fields.name.size()));
  header += fields.name;
  PutUint16(header, Crc16(fields.data));
  if (level1) {
    header.push_back(static_cast<char>(fields.osType));
    PutUint16(header, 0);
  }
  const size_t base = header.size();
  if (level1) PutExtensions(header, fields, false, false);
  std::string size;
  PutUint32(size, header.size() - base + fields.data.size());
  header.replace(7, 4, size);
  unsigned sum = 0;
  for (size_t i = 2; i < base; ++i) sum += static_cast<unsigned char>(header[i]);
  header[1] = static_cast<char>(sum & 0xFF);
  bytes_ += header;
  bytes_ += fields.data;
}

void LhaWriter::AddLevel2(const MemberFields& fields) {
  std::string header;
  PutUint16(header, 0);  // total header size, below
  header += fields.method;
  PutUint32(header, fields.data.size());
  PutUint32(header, fields.data.size());
  PutUint32(header, static_cast<uint64_t>(fields.unixTime > 0 ? fields.unixTime : 0));
  header.push_back(static_cast<char>(fields.attribute));
  header.push_back(2);
  PutUint16(header, Crc16(fields.data));
  header.push_back(static_cast<char>(fields.osType));
  PutUint16(header, 0);  // size of the first extended header
  const size_t crcOffset = PutExtensions(header, fields, true, true);
  // A header whose size has a zero low byte would read as the end mark.
  if ((header.size() & 0xFF) == 0) header.push_back(0);
  if (header.size() > 0xFFFF) throw std::length_error("LHA level 2 header too long");
  SetUint16(header, 0, static_cast<uint32_t>(header.size()));
  SetUint16(header, crcOffset, Crc16(header));
  bytes_ += header;
  bytes_ += fields.data;
}

std::string LhaWriter::Finish() const { return bytes_ + std::string(1, '\0'); }

}  // namespace unlha32
