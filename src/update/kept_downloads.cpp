#include "update/kept_downloads.h"

#include <charconv>
#include <optional>
#include <sstream>
#include <utility>

#include "download/tipw_http.h"
#include "platform/file_system.h"

namespace sorana::update {

namespace {

using Clock = std::chrono::steady_clock;

std::optional<int64_t> ParseLength(std::string_view text) {
  int64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 0)
    return std::nullopt;
  return value;
}

// A field of the ledger holds no tab and no line end.
bool Storable(std::string_view text) { return text.find_first_of("\t\r\n") == std::string_view::npos; }

}  // namespace

KeptDownloads::KeptDownloads(std::string folder) : folder_(std::move(folder)) {
  platform::Result<std::string> text = platform::ReadWholeFile(folder_ + std::string(kKeptLedgerName));
  if (!text) return;
  std::istringstream lines(*text);
  for (std::string line; std::getline(lines, line);) {
    std::string fields[4];
    size_t count = 0;
    for (size_t begin = 0; count < 4; ++count) {
      size_t tab = line.find('\t', begin);
      fields[count] = line.substr(begin, tab == std::string::npos ? std::string::npos : tab - begin);
      if (tab == std::string::npos) break;
      begin = tab + 1;
    }
    std::optional<int64_t> length = ParseLength(fields[1]);
    if (count != 3 || fields[0].empty() || !length || (fields[2].empty() && fields[3].empty())) continue;
    entries_[fields[0]] = Entry{*length, fields[2], fields[3]};
  }
}

void KeptDownloads::Prepare(const std::string& name, download::TipwHTTP& http) const {
  // What arrives is judged afterwards, by what the server said.
  http.KeepPartial = true;
  auto found = entries_.find(name);
  platform::Result<uint64_t> size = platform::FileSize(folder_ + name);
  if (found == entries_.end() || !size) return;
  const Entry& entry = found->second;
  if (static_cast<int64_t>(*size) == entry.length) {
    if (!entry.eTag.empty()) {
      http.IfNoneMatch = entry.eTag;
    } else {
      http.IfModifiedSince = entry.lastModified;
    }
  } else if (*size > 0 && static_cast<int64_t>(*size) < entry.length) {
    // A range needs a strong validator: a weak tag may name other bytes.
    const bool strongTag = !entry.eTag.empty() && !entry.eTag.starts_with("W/");
    http.IfRange = strongTag ? entry.eTag : entry.lastModified;
    if (!http.IfRange.empty()) http.StartByte = static_cast<int64_t>(*size);
  }
}

void KeptDownloads::Arrived(const std::string& name, const download::TipwHTTP& http, bool failed) {
  Arrived(name, http.LastResponse(), failed);
}

bool KeptDownloads::Holds(const std::string& name) const {
  return entries_.count(name) > 0 && platform::FileSize(folder_ + name).has_value();
}

void KeptDownloads::Arrived(const std::string& name, const download::TipwHTTP::Response& response,
                            bool failed) {
  // A fetch that wrote nothing left the file, and what is known of it, as they were.
  if (!response.written) return;
  const bool keepable = (!response.eTag.empty() || !response.lastModified.empty()) &&
                        response.entityLength >= 0 && Storable(response.eTag) &&
                        Storable(response.lastModified);
  platform::Result<uint64_t> size = platform::FileSize(folder_ + name);
  if (keepable && size && static_cast<int64_t>(*size) <= response.entityLength) {
    entries_[name] = Entry{response.entityLength, response.eTag, response.lastModified};
    changed_ = true;
    return;
  }
  changed_ = entries_.erase(name) > 0 || changed_;
  // A whole file with nothing to ask again by is this attempt's still; a cut one is no one's.
  if (failed) platform::RemoveFile(folder_ + name);
}

void KeptDownloads::Forget(const std::string& name) {
  changed_ = entries_.erase(name) > 0 || changed_;
  platform::RemoveFile(folder_ + name);
}

void KeptDownloads::Save(bool now) {
  const Clock::time_point at = Clock::now();
  if (!changed_ || (!now && at - lastSave_ < std::chrono::seconds(1))) return;
  std::string text;
  for (const auto& [name, entry] : entries_) {
    text += name + "\t" + std::to_string(entry.length) + "\t" + entry.eTag + "\t" + entry.lastModified + "\n";
  }
  // A ledger that cannot be written only costs the next attempt its shortcut.
  if (platform::WriteFileAtomic(folder_ + std::string(kKeptLedgerName), text)) changed_ = false;
  lastSave_ = at;
}

void KeptDownloads::Clear() {
  entries_.clear();
  changed_ = false;
  platform::RemoveFile(folder_ + std::string(kKeptLedgerName));
}

}  // namespace sorana::update
