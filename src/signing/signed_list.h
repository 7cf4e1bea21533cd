// A phase's signed list: every file of the phase with its size and SHA-256,
// the phase it belongs to, a sequence number that only grows from one
// publication to the next, and the time after which it is no longer good.
//
//   sorana signed list 1
//   phase /sorana/20240410/
//   sequence 42
//   expires 1767225600
//   file 123456 <64 lowercase hex digits> FOTODESK.EX_
//
// Every line ends in a line feed; fields are separated by one blank; numbers
// are decimal without leading zeros (expires: seconds since 1970, UTC); a
// name is the rest of its line. The list arrives from the network: it is read
// only after its signature was checked, and even then strictly.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace sorana::signing {

inline constexpr std::string_view kListName = "files.list";
inline constexpr std::string_view kSignatureName = "files.list.minisig";
// Bounds of what the updater fetches before it knows anything.
inline constexpr int64_t kLongestList = 1 << 20;
inline constexpr int64_t kLongestSignature = 4096;

using Sha256 = std::array<uint8_t, 32>;

struct ListedFile {
  int64_t size = 0;
  Sha256 sha256{};
};

struct SignedList {
  std::string phase;  // the phase's path on the server, "/sorana/20240410/"
  uint64_t sequence = 0;
  int64_t expires = 0;
  std::map<std::string, ListedFile> files;
};

// The list, or nullopt with `why` (the line and what is wrong with it).
std::optional<SignedList> ParseSignedList(std::string_view text, std::string* why);
std::string FormatSignedList(const SignedList& list);

std::string HexOf(const Sha256& digest);

}  // namespace sorana::signing
