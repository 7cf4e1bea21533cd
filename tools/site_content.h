// Deterministic stand-in contents for the product's files: the same name and
// size always give the same bytes, so a site built twice is identical and a
// test can rebuild the expected contents of any file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "tools/program_file_writer.h"

namespace sorana::tools {

// A small, fast generator (splitmix64) seeded from a text.
class ContentRandom {
 public:
  explicit ContentRandom(std::string_view seed);
  uint64_t Next();
  // Uniform in [0, bound); bound > 0.
  uint64_t Below(uint64_t bound) { return Next() % bound; }
  // Uniform in [low, high].
  uint64_t Between(uint64_t low, uint64_t high) { return low + Below(high - low + 1); }

 private:
  uint64_t state_;
};

// `size` bytes that compress about as well as real program and data files:
// runs of CP932 record text, tables of small numbers and stretches of noise.
std::string MixedData(std::string_view seed, size_t size);

// A Windows program file of the version, padded with data to about `size` bytes.
std::string ProgramImage(const VersionParts& version, std::string_view seed, size_t size);

// A data plug-in (a library without version information plus its tables).
std::string PluginImage(std::string_view seed, size_t size);

// CP932 text with CR LF line ends, built from record lines, about `size` bytes.
std::string RecordText(std::string_view seed, size_t size);

// Converts UTF-8 text to CP932; throws SiteError for a character CP932 lacks.
std::string ToCp932(std::string_view utf8);

}  // namespace sorana::tools
