// The part of the crash points that is the same on every host.
#include <atomic>
#include <charconv>
#include <optional>
#include <string>

#include "platform/crash_point.h"
#include "platform/environment.h"

namespace sorana::platform {

static_assert(std::atomic_ref<uint64_t>::is_always_lock_free, "the counter is shared between processes");

uint64_t CrashPointStop() {
  const std::optional<std::string> at = EnvironmentVariable("SORANA_CRASH_AT");
  uint64_t n = 0;
  if (!at) return 0;
  auto [end, error] = std::from_chars(at->data(), at->data() + at->size(), n);
  return error == std::errc() && end == at->data() + at->size() ? n : 0;
}

uint64_t CountCrashPoint(uint64_t* counter) { return std::atomic_ref<uint64_t>(*counter).fetch_add(1) + 1; }

}  // namespace sorana::platform
