// What every fuzz target reports with, the pure-format ones included.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace sorana::fuzz {

std::string_view AsText(std::span<const uint8_t> bytes);

// Reports a finding on stderr and aborts, so that the fuzzer keeps the input.
[[noreturn]] void Finding(std::string_view what);

}  // namespace sorana::fuzz
