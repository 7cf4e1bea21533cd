// What a phase's download folder keeps from an earlier attempt: for each file,
// the validator the server gave with it and the whole file's length. The next
// attempt asks the server only whether a whole kept file changed (304: it is
// kept) and only for the rest of a cut one (a range guarded by If-Range), so a
// broken connection costs what was missing, not the phase. Nothing is guessed:
// a file the server gave no validator for is fetched again.
//
// The ledger is "SorFetch.lst" beside the files, written through the host's
// atomic writer, one line a file: name, length, entity tag, Last-Modified.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "download/tipw_http.h"

namespace sorana::update {

inline constexpr std::string_view kKeptLedgerName = "SorFetch.lst";

class KeptDownloads {
 public:
  // Reads the ledger of `folder` (a Windows path text ending in a backslash);
  // a missing or unreadable one keeps nothing.
  explicit KeptDownloads(std::string folder);

  // Sets `http` (its LocalFile already the file's) up to fetch `name`: a
  // conditional request for a whole kept file, a range for a cut one, else a
  // plain one. Whatever arrives is left in LocalFile for Arrived to judge.
  void Prepare(const std::string& name, download::TipwHTTP& http) const;
  // After the fetch of `name`, over or failed: remembers what the folder now
  // holds of it. What a failed fetch left that cannot be continued is removed.
  void Arrived(const std::string& name, const download::TipwHTTP& http, bool failed);
  // The same, from the final response of that fetch.
  void Arrived(const std::string& name, const download::TipwHTTP::Response& response, bool failed);
  // True when the folder holds something of `name` that the ledger knows: it
  // is asked again at its turn (conditionally, or for its rest), never ahead.
  bool Holds(const std::string& name) const;
  // Forgets `name` and removes what the folder holds of it.
  void Forget(const std::string& name);
  // Writes the ledger when it changed: at once, or at most once a second.
  void Save(bool now);
  // The phase is installed: the ledger goes.
  void Clear();

 private:
  struct Entry {
    int64_t length = 0;
    std::string eTag;
    std::string lastModified;
  };

  std::string folder_;
  std::map<std::string, Entry> entries_;
  bool changed_ = false;
  std::chrono::steady_clock::time_point lastSave_{};
};

}  // namespace sorana::update
