// Writes SZDD components of realistic content into a folder:
//   make_szdd_data FOLDER MEGABYTES
// Help pages and lists (CP932 text), settings, program-like binaries with
// string tables and padding, and some already-compressed image data, packed
// with the updater's SZDD compressor. Prints the file names, one a line.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "install/szdd_compress.h"

namespace {

const char* const kWords[] = {"電子納品", "工事写真", "図面",  "地質",    "報告書", "発注者",
                              "受注者",   "基準",     "photo", "drawing", "index",  "table",
                              "row",      "cell",     "PHOTO", "CAD",     "2020",   "03",
                              "KOKDO",    "<td>",     "</td>", "<tr>",    "</tr>",  "class=\"x\""};

std::string HelpText(std::mt19937& rng, size_t size) {
  std::string out;
  std::geometric_distribution<int> lineLength(0.08);
  std::uniform_int_distribution<size_t> word(0, std::size(kWords) - 1);
  while (out.size() < size) {
    out += "<p>";
    for (int n = lineLength(rng) + 3; n > 0; --n) {
      out += kWords[word(rng)];
      out += ' ';
    }
    out += std::to_string(rng() % 1000) + "</p>\r\n";
  }
  out.resize(size);
  return out;
}

std::string ProgramBytes(std::mt19937& rng, size_t size) {
  std::string out;
  std::vector<std::string> blocks;  // code sequences that recur, as in real programs
  for (int i = 0; i < 64; ++i) {
    std::string block(16 + rng() % 48, '\0');
    for (char& c : block) c = static_cast<char>(rng() % 7 == 0 ? 0 : rng() & 0xFF);
    blocks.push_back(block);
  }
  while (out.size() < size) {
    switch (rng() % 10) {
      case 0:
        out.append(256 + rng() % 1024, '\0');  // section padding
        break;
      case 1:
        out += "SoranaUpdaterResourceString" + std::to_string(rng() % 500) + '\0';
        break;
      case 2:
      case 3: {
        std::string fresh(32 + rng() % 64, '\0');
        for (char& c : fresh) c = static_cast<char>(rng() & 0xFF);
        out += fresh;
        break;
      }
      default:
        out += blocks[rng() % blocks.size()];
    }
  }
  out.resize(size);
  return out;
}

std::string ImageBytes(std::mt19937& rng, size_t size) {
  std::string out(size, '\0');
  for (char& c : out) c = static_cast<char>(rng() & 0xFF);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: make_szdd_data FOLDER MEGABYTES\n";
    return 2;
  }
  const std::string folder = argv[1];
  const size_t total = std::strtoull(argv[2], nullptr, 10) << 20;
  std::mt19937 rng(20240410);
  size_t written = 0;
  for (int i = 0; written < total; ++i) {
    const size_t size = std::min<size_t>(total - written, (3u << 20) + rng() % (3u << 20));
    std::string data;
    std::string name;
    switch (i % 5) {
      case 0:
      case 1:
        data = HelpText(rng, size);
        name = "PHOTO2020" + std::to_string(10 + i) + ".SP_";
        break;
      case 2:
      case 3:
        data = ProgramBytes(rng, size);
        name = "FDTOOL" + std::to_string(10 + i) + ".EX_";
        break;
      default:
        data = ProgramBytes(rng, size - size / 4) + ImageBytes(rng, size / 4);
        name = "CAD__2020" + std::to_string(10 + i) + ".sp_";
    }
    std::ofstream out(folder + "/" + name, std::ios::binary | std::ios::trunc);
    const std::string packed = sorana::install::SzddCompress(data);
    out.write(packed.data(), static_cast<std::streamsize>(packed.size()));
    if (!out) {
      std::cerr << "cannot write " << name << "\n";
      return 1;
    }
    written += size;
    std::cout << name << "\n";
  }
  return 0;
}
