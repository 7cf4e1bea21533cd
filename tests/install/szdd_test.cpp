// SZDD round trips through our compressor and the platform's expansion
// (libmspack, LZ32), a fixture made by Debian's mscompress, and the downloads
// that must not expand.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "install/szdd_compress.h"
#include "install/szdd_expand.h"

namespace sorana::install {
namespace {

namespace fs = std::filesystem;
enum class Outcome { Expanded, Copied, Failed };

Outcome OutcomeOf(const platform::Result<ExpandOutcome>& result) {
  if (!result) return Outcome::Failed;
  return *result == ExpandOutcome::Expanded ? Outcome::Expanded : Outcome::Copied;
}

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Spill(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class SzddTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    dir_ = fs::temp_directory_path() / ("sorana-szdd-" + std::to_string(random()));
    ASSERT_TRUE(fs::create_directory(dir_));
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }
  // Compresses `data`, expands the result, and returns what came out.
  std::string RoundTrip(const std::string& data) {
    Spill(dir_ / "in.EX_", SzddCompress(data, 'E'));
    platform::Result<ExpandOutcome> result = ExpandFile(dir_ / "in.EX_", dir_ / "in.EXE");
    EXPECT_EQ(OutcomeOf(result), Outcome::Expanded) << result.error().what;
    return Slurp(dir_ / "in.EXE");
  }
  size_t EntriesInDir() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
  }
  fs::path dir_;
};

std::string RandomBytes(size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::string out(size, '\0');
  for (char& c : out) c = static_cast<char>(rng() & 0xFF);
  return out;
}

TEST_F(SzddTest, RoundTripsAcrossContentShapes) {
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "<tr><td>工事写真 " + std::to_string(i % 97) + "</td></tr>\r\n";
  const std::string cases[] = {
      "",
      "x",
      "ab",
      std::string(5000, ' '),    // blanks like the window's initial fill
      std::string(100000, 'A'),  // overlapping back-references
      "   leading blanks then text",
      text,                   // far more than one window
      RandomBytes(70000, 7),  // incompressible
      RandomBytes(3000, 9) + text.substr(0, 20000) + RandomBytes(3000, 9),
  };
  for (const std::string& data : cases) {
    EXPECT_TRUE(RoundTrip(data) == data) << "size " << data.size();
  }
}

TEST_F(SzddTest, CompressorUsesBackReferences) {
  std::string text;
  for (int i = 0; i < 500; ++i) text += "LIST.TXT TEMPLATE.TXT ";
  std::string packed = SzddCompress(text);
  EXPECT_LT(packed.size(), text.size() / 4);
  EXPECT_EQ(packed.substr(0, 10), std::string("SZDD\x88\xF0\x27\x33"
                                              "A\0",
                                              10));
  // Length in the header, little-endian.
  EXPECT_EQ(static_cast<unsigned char>(packed[10]) | (static_cast<unsigned char>(packed[11]) << 8),
            static_cast<int>(text.size() & 0xFFFF));
}

TEST_F(SzddTest, ExpandsFileMadeByMscompress) {
  const fs::path data = SORANA_TEST_DATA_DIR "/szdd";
  platform::Result<ExpandOutcome> result = ExpandFile(data / "page.ht_", dir_ / "page.htm");
  ASSERT_EQ(OutcomeOf(result), Outcome::Expanded) << result.error().what;
  EXPECT_EQ(Slurp(dir_ / "page.htm"), Slurp(data / "page.htm"));

  // A Japanese folder deeper than the 128 characters an LZOpenFile path may have.
  const fs::path deep = dir_ / u8"ソラナギ" / std::string(130, 'd');
  fs::create_directories(deep);
  fs::copy_file(data / "page.ht_", deep / u8"ヘルプ.HT_");
  result = ExpandFile(deep / u8"ヘルプ.HT_", deep / u8"ヘルプ.HTM");
  ASSERT_EQ(OutcomeOf(result), Outcome::Expanded) << result.error().what;
  EXPECT_EQ(Slurp(deep / u8"ヘルプ.HTM"), Slurp(data / "page.htm"));
}

TEST_F(SzddTest, CopiesFilesThatAreNotSzddUnchanged) {
  const std::string cases[] = {
      "",    // empty download
      "SZ",  // shorter than a signature
      std::string("\x1f-lh0-\x05\0\0\0", 10) + "payload of an archive",
      std::string("SZDD\x88\xF0\x27\x34", 8) + "almost a signature",
      RandomBytes(3 * 1024 * 1024 + 17, 3),  // more than one buffer
  };
  for (const std::string& data : cases) {
    Spill(dir_ / "CORINS0.lzh", data);
    platform::Result<ExpandOutcome> result = ExpandFile(dir_ / "CORINS0.lzh", dir_ / "CORINS0.KOU");
    ASSERT_EQ(OutcomeOf(result), Outcome::Copied) << result.error().what;
    EXPECT_TRUE(Slurp(dir_ / "CORINS0.KOU") == data) << "size " << data.size();
  }
}

TEST_F(SzddTest, RejectsSzddWhoseLengthDoesNotMatch) {
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "KOKDO202003.SP_ ";
  const std::string packed = SzddCompress(text);
  const std::string cases[] = {
      packed.substr(0, packed.size() / 2),  // cut download: decodes quietly to less
      packed + "trailing garbage",          // decodes to more than the header says
      packed.substr(0, 11),                 // signature but no whole header
  };
  for (const std::string& broken : cases) {
    Spill(dir_ / "in.SP_", broken);
    Spill(dir_ / "in.SPI", "previous");
    platform::Result<ExpandOutcome> result = ExpandFile(dir_ / "in.SP_", dir_ / "in.SPI");
    EXPECT_EQ(OutcomeOf(result), Outcome::Failed);
    EXPECT_EQ(result.error().code, 0) << result.error().what;
    // Nothing partial replaces the target, and no temporary is left behind.
    EXPECT_EQ(Slurp(dir_ / "in.SPI"), "previous");
    EXPECT_EQ(EntriesInDir(), 2u);
  }
}

TEST_F(SzddTest, ReportsFileErrorsWithErrno) {
  platform::Result<ExpandOutcome> missing = ExpandFile(dir_ / "absent.EX_", dir_ / "absent.EXE");
  EXPECT_EQ(OutcomeOf(missing), Outcome::Failed);
  EXPECT_EQ(missing.error().code, ENOENT);
  EXPECT_FALSE(fs::exists(dir_ / "absent.EXE"));

  // A read-only folder attribute does not stop Windows writing into it.
#ifndef _WIN32
  if (geteuid() != 0) {  // root writes into read-only folders regardless
    Spill(dir_ / "in.EX_", SzddCompress("program"));
    fs::permissions(dir_, fs::perms::owner_write, fs::perm_options::remove);
    platform::Result<ExpandOutcome> locked = ExpandFile(dir_ / "in.EX_", dir_ / "in.EXE");
    fs::permissions(dir_, fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(OutcomeOf(locked), Outcome::Failed);
    EXPECT_EQ(locked.error().code, EACCES);
  }
#endif
}

TEST_F(SzddTest, ExpandsOntoItsOwnName) {
  // "X.KOU" downloads expand to the same name: the source must be read whole first.
  const std::string data = std::string(9000, 'z') + "end";
  Spill(dir_ / "X.KOU", SzddCompress(data));
  ASSERT_TRUE(ExpandFile(dir_ / "X.KOU", dir_ / "X.KOU").has_value());
  EXPECT_TRUE(Slurp(dir_ / "X.KOU") == data);

#ifndef _WIN32
  // A link planted at the expanded name is replaced, not written through.
  Spill(dir_ / "victim", "precious");
  for (const char* name : {"Y.EX_", "Y.lzh"}) {
    fs::path target = dir_ / (std::string(name) + ".out");
    fs::create_symlink(dir_ / "victim", target);
    Spill(dir_ / name, std::string(name) == "Y.EX_" ? SzddCompress(data) : data);
    ASSERT_TRUE(ExpandFile(dir_ / name, target).has_value()) << name;
    EXPECT_FALSE(fs::is_symlink(target)) << name;
    EXPECT_TRUE(Slurp(target) == data) << name;
  }
  EXPECT_EQ(Slurp(dir_ / "victim"), "precious");
#endif
}

}  // namespace
}  // namespace sorana::install
