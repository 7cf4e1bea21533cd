#include "update/accepted_lists.h"

#include <charconv>

#include "platform/profile.h"

namespace sorana::update {

namespace {

constexpr std::string_view kSection = "AcceptedLists";

std::string FileOf(const std::string& installRoot) { return installRoot + std::string(kAcceptedListsName); }

}  // namespace

uint64_t LastAcceptedSequence(const std::string& installRoot, std::string_view phase) {
  const std::string text = platform::ReadProfileString(FileOf(installRoot), kSection, phase, "0");
  uint64_t sequence = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), sequence);
  // Whoever could damage the entry could remove the file: a damaged one counts as none.
  if (error != std::errc() || end != text.data() + text.size()) return 0;
  return sequence;
}

platform::Status RecordAcceptedSequence(const std::string& installRoot, std::string_view phase,
                                        uint64_t sequence) {
  if (sequence <= LastAcceptedSequence(installRoot, phase)) return {};
  return platform::StoreProfileString(FileOf(installRoot), kSection, phase, std::to_string(sequence));
}

}  // namespace sorana::update
