#include "support/finding.h"

#include <cstdio>
#include <cstdlib>

#include "write_guard.h"

namespace sorana::fuzz {

std::string_view AsText(std::span<const uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

void Finding(std::string_view what) {
  sorana_write_guard_disarm();
  std::fprintf(stderr, "==finding== %.*s\n", static_cast<int>(what.size()), what.data());
  std::abort();
}

}  // namespace sorana::fuzz
