// The extractor of libunlha32.so and UNLHA32.DLL on real archives: fixtures
// made by an LHA archiver, and archives written here with exactly the headers a
// case needs.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

#include "formats/ascii_case.h"
#include "platform/file_system.h"
#include "support/temp_prefix.h"
#include "unlha32/extract.h"
#include "unlha32/lha_writer.h"
#include "unlha32/unlha32.h"

namespace unlha32 {
namespace {

namespace fs = std::filesystem;
namespace platform = sorana::platform;
namespace formats = sorana::formats;
using sorana::test::TempPrefix;

const fs::path kFixtures = SORANA_LHA_FIXTURES;

std::string Repeat(std::string_view text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

std::string Bytes0To255(int times) {
  std::string one;
  for (int i = 0; i < 256; ++i) one.push_back(static_cast<char>(i));
  return Repeat(one, times);
}

const std::string kReadme = Repeat("LHA fixture: compressed member\n", 40);
const std::string kJapanese = Repeat("能力表示 テスト\n", 10);
const std::string kStored = "stored without compression\n";

std::string Utf8(const std::u8string& text) { return std::string(text.begin(), text.end()); }

// Every entry below `folder`, as relative generic UTF-8 paths; links are listed,
// not followed.
void CollectTree(const fs::path& folder, const fs::path& base, std::vector<std::string>* names) {
  for (const auto& entry : fs::directory_iterator(folder)) {
    names->push_back(Utf8(entry.path().lexically_relative(base).generic_u8string()));
    auto attributes = platform::host::AttributesOf(entry.path());
    if (attributes && (*attributes & platform::kAttrDirectory) &&
        !(*attributes & platform::kAttrReparsePoint)) {
      CollectTree(entry.path(), base, names);
    }
  }
}
std::vector<std::string> Tree(const fs::path& folder) {
  std::vector<std::string> names;
  CollectTree(folder, folder, &names);
  std::sort(names.begin(), names.end());
  return names;
}

// The entries of `folder` whose names equal `name` ignoring ASCII case.
std::vector<std::string> EntriesNamed(const fs::path& folder, std::string_view name) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    std::string entryName = Utf8(entry.path().filename().u8string());
    if (formats::AsciiUpper(entryName) == formats::AsciiUpper(name)) names.push_back(entryName);
  }
  return names;
}

// Folder links, as a user or another program may leave them; removed with the
// test. A Windows program under Wine cannot make one (CreateSymbolicLinkW does
// nothing there), so the host's own ln makes it on the Unix side, where Wine
// shows it as a reparse point, and the host's rm removes it. Wine starts such a
// host program without a handle to wait on, so the folder's change
// notifications tell when it is done.
class FolderLinks {
 public:
  ~FolderLinks() {
#ifdef _WIN32
    for (const fs::path& link : links_) {
      const std::wstring unixLink = UnixName(link);
      if (unixLink.empty()) {
        RemoveDirectoryW(link.c_str());
      } else {
        RunOnHost(L"rm", {L"-f", unixLink}, link, false);
      }
    }
#endif
  }

  void Make(const fs::path& target, const fs::path& link) {
#ifdef _WIN32
    links_.push_back(link);
    constexpr DWORD kUnprivileged = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
    CreateSymbolicLinkW(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY | kUnprivileged);
    if (!Exists(link)) RunOnHost(L"ln", {L"-s", UnixName(target), UnixName(link)}, link, true);
    ASSERT_NE(GetFileAttributesW(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u) << "no folder link made";
#else
    fs::create_directory_symlink(target, link);
#endif
  }

 private:
#ifdef _WIN32
  static bool Exists(const fs::path& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  // Empty when this is not Wine.
  static std::wstring UnixName(const fs::path& path) {
    using Convert = char*(CDECL*)(const wchar_t*);
    auto convert = reinterpret_cast<Convert>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    char* name = convert != nullptr ? convert(path.c_str()) : nullptr;
    if (name == nullptr) return L"";
    std::wstring wide = fs::path(name).wstring();
    HeapFree(GetProcessHeap(), 0, name);
    return wide;
  }

  // Runs /bin/<tool> and waits, at most 10 s, until `entry` exists (or is gone).
  static void RunOnHost(const std::wstring& tool, const std::vector<std::wstring>& arguments,
                        const fs::path& entry, bool exists) {
    HANDLE change = FindFirstChangeNotificationW(entry.parent_path().c_str(), FALSE,
                                                 FILE_NOTIFY_CHANGE_DIR_NAME | FILE_NOTIFY_CHANGE_FILE_NAME);
    const std::wstring program = L"Z:\\bin\\" + tool;
    std::wstring command = program;
    for (const std::wstring& argument : arguments) command += L" \"" + argument + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                        nullptr, &startup, &process);
    const ULONGLONG deadline = GetTickCount64() + 10000;
    while (started && change != INVALID_HANDLE_VALUE && Exists(entry) != exists) {
      const ULONGLONG now = GetTickCount64();
      if (now >= deadline || WaitForSingleObject(change, static_cast<DWORD>(deadline - now)) != WAIT_OBJECT_0)
        break;
      FindNextChangeNotification(change);
    }
    if (change != INVALID_HANDLE_VALUE) FindCloseChangeNotification(change);
    if (process.hThread) CloseHandle(process.hThread);
    if (process.hProcess) CloseHandle(process.hProcess);
  }

  std::vector<fs::path> links_;
#endif
};

class ExtractTest : public ::testing::Test {
 protected:
  ExtractOutcome ExtractInto(const fs::path& archive, const std::string& windowsFolder) {
    Destination destination =
        Destination::InPrefix(sorana::platform::WindowsSystem(prefix.Root()), windowsFolder);
    return ExtractArchiveFile(archive, destination);
  }
  ExtractOutcome ExtractBytes(const std::string& archive, const fs::path& folder) {
    Destination destination = Destination::OnHost(folder);
    EXPECT_EQ(destination.Prepare().code, 0);
    return ExtractArchive(archive, &destination);
  }

  TempPrefix prefix;
};

TEST_F(ExtractTest, ArchiverFixturesExtractWithFoldersAndCp932Names) {
  ExtractOutcome mixed = ExtractInto(kFixtures / "mixed.lzh", "C:\\out2");
  EXPECT_EQ(mixed.code, 0) << mixed.message;
  EXPECT_EQ(mixed.extracted, 4);
  fs::path out2 = prefix.HostC("C:\\out2");
  EXPECT_EQ(TempPrefix::ReadFile(out2 / "readme.txt"), kReadme);  // -lh5-
  EXPECT_EQ(TempPrefix::ReadFile(out2 / "sub" / "data.bin"), Bytes0To255(4));
  EXPECT_EQ(TempPrefix::ReadFile(out2 / u8"ソフト" / u8"表示.txt"), kJapanese);
  EXPECT_EQ(TempPrefix::ReadFile(out2 / "stored.txt"), kStored);  // -lh0-

  // Level 0 keeps "ソフト\表示.txt" in one field where 0x5C also ends "ソ" and "表".
  ExtractOutcome level0 = ExtractInto(kFixtures / "level0.lzh", "C:\\out0");
  EXPECT_EQ(level0.code, 0) << level0.message;
  EXPECT_EQ(Tree(prefix.HostC("C:\\out0")),
            (std::vector<std::string>{"sub", "sub/data.bin", "ソフト", "ソフト/表示.txt"}));
  EXPECT_EQ(TempPrefix::ReadFile(prefix.HostC("C:\\out0") / u8"ソフト" / u8"表示.txt"), kJapanese);

  ExtractOutcome level1 = ExtractInto(kFixtures / "level1.lzh", "C:\\out1");
  EXPECT_EQ(level1.code, 0) << level1.message;
  EXPECT_EQ(TempPrefix::ReadFile(prefix.HostC("C:\\out1") / u8"ソフト" / u8"表示.txt"), kJapanese);
  EXPECT_EQ(TempPrefix::ReadFile(prefix.HostC("C:\\out1\\readme.txt")), kReadme);
}

TEST_F(ExtractTest, ExistingFoldersMatchIgnoringCaseAndFilesAreReplaced) {
  // The destination and a member folder exist in other letter case; the member
  // file exists too, under other case and with other content.
  TempPrefix::WriteFile(prefix.HostC("C:\\Corins5.0\\SUB\\DATA.BIN"), "old");
  TempPrefix::WriteFile(prefix.HostC("C:\\Corins5.0\\readme.txt"), "old readme");
  ExtractOutcome outcome = ExtractInto(kFixtures / "mixed.lzh", "c:\\CORINS5.0\\");
  ASSERT_EQ(outcome.code, 0) << outcome.message;
  fs::path root = prefix.HostC("C:\\Corins5.0");
  EXPECT_EQ(Tree(root), (std::vector<std::string>{"SUB", "SUB/DATA.BIN", "readme.txt", "stored.txt", "ソフト",
                                                  "ソフト/表示.txt"}));
  EXPECT_EQ(TempPrefix::ReadFile(root / "SUB" / "DATA.BIN"), Bytes0To255(4));
  EXPECT_EQ(TempPrefix::ReadFile(root / "readme.txt"), kReadme);
  EXPECT_EQ(EntriesNamed(prefix.HostC("C:\\"), "CORINS5.0"), (std::vector<std::string>{"Corins5.0"}));
}

TEST_F(ExtractTest, NamesThatAreNotCp932AreReadAsUtf8OrRefused) {
  LhaWriter readable;
  readable.AddFile("\xC4\x80.txt", "utf-8 name");  // "Ā": valid UTF-8, not CP932
  readable.AddFile("ok.txt", "fine");
  fs::path out = prefix.Scratch() / "names";
  EXPECT_EQ(ExtractBytes(readable.Finish(), out).code, 0);
  EXPECT_EQ(Tree(out), (std::vector<std::string>{"ok.txt", "Ā.txt"}));

  // A name that is neither refuses the whole archive: nothing of it is written.
  LhaWriter unreadable;
  unreadable.AddFile("bad\x80.txt", "neither");
  unreadable.AddFile("new.txt", "fine");
  ExtractOutcome outcome = ExtractBytes(unreadable.Finish(), out);
  EXPECT_EQ(outcome.code, UNLHA_ERROR_MEMBER_NAME);
  EXPECT_NE(outcome.message.find("bad\\x80.txt"), std::string::npos) << outcome.message;
  EXPECT_EQ(Tree(out), (std::vector<std::string>{"ok.txt", "Ā.txt"}));
}

TEST_F(ExtractTest, HostileMembersAreRefusedAndNothingLandsOutside) {
  fs::path out = prefix.Scratch() / "hostile" / "dest";
  fs::path outside = prefix.Scratch() / "hostile" / "outside";
  fs::create_directories(out);
  fs::create_directories(outside);
  // A folder link inside the destination that points out of it, and one that stays inside.
  FolderLinks folderLinks;
  folderLinks.Make(outside, out / "escape");
  fs::create_directories(out / "real");
  folderLinks.Make(out / "real", out / "inner");
  folderLinks.Make(out, out / "self");

  // Unsafe names refuse the whole archive before anything is written; a root
  // in front of a path is taken off, so those members alone would land inside.
  LhaWriter writer;
  writer.AddFile("..\\up.txt", "x", 0, HeaderLevel::kLevel0);
  writer.AddFile("a\\..\\..\\up2.txt", "x", 0, HeaderLevel::kLevel0);
  writer.AddFile("\\abs.txt", "x", 0, HeaderLevel::kLevel0);
  writer.AddFile("C:\\drive.txt", "x");
  writer.AddFile("/tmp/abs2.txt", "x");
  writer.AddSymlink("link", "../outside");
  writer.AddFile("good.txt", "good");
  ExtractOutcome outcome = ExtractBytes(writer.Finish(), out);
  EXPECT_EQ(outcome.code, UNLHA_ERROR_UNSAFE_MEMBER);
  EXPECT_NE(outcome.message.find("..\\up.txt"), std::string::npos) << outcome.message;
  EXPECT_NE(outcome.message.find("2 more"), std::string::npos) << outcome.message;
  EXPECT_EQ(outcome.extracted, 0);
  EXPECT_FALSE(fs::exists(prefix.Scratch() / "hostile" / "up.txt"));
  EXPECT_FALSE(fs::exists(prefix.Scratch() / "up2.txt"));
  EXPECT_FALSE(fs::exists("/abs.txt"));
  EXPECT_FALSE(fs::exists("/tmp/abs2.txt"));
  EXPECT_EQ(Tree(out), (std::vector<std::string>{"escape", "inner", "real", "self"}));

  // Folder links found on the way are judged member by member: one that leads
  // out is refused, one that stays inside is followed; a new link is judged
  // where it really lands ("self\up" is "../x" from the destination itself).
  LhaWriter links;
  links.AddSymlink("self\\up", "../x");
  links.AddFile("escape\\through-link.txt", "x");
  links.AddFile("ESCAPE\\case-link.txt", "x");
  links.AddFile("inner\\kept.txt", "inside link");
  links.AddFile("good.txt", "good");
  ExtractOutcome linked = ExtractBytes(links.Finish(), out);
  EXPECT_EQ(linked.code, UNLHA_ERROR_UNSAFE_MEMBER);
  EXPECT_EQ(linked.extracted, 2);
  EXPECT_TRUE(fs::is_empty(outside));
  EXPECT_NE(linked.message.find("2 more"), std::string::npos) << linked.message;
  EXPECT_EQ(Tree(out),
            (std::vector<std::string>{"escape", "good.txt", "inner", "real", "real/kept.txt", "self"}));
}

TEST_F(ExtractTest, EachRefusalNamesItsMember) {
  struct Case {
    const char* stored;
    HeaderLevel level;
    const char* problem;
  };
  const Case cases[] = {
      {"..\\x", HeaderLevel::kLevel0, "\"..\""},
      {"a\\..\\x", HeaderLevel::kLevel2, "\"..\""},
      {"\\..\\x", HeaderLevel::kLevel0, "\"..\""},
      {"a\\d:x", HeaderLevel::kLevel0, "colon"},
      {"a\\. .\\x", HeaderLevel::kLevel2, "dots"},
      {"a\x01"
       "b",
       HeaderLevel::kLevel0, "control"},
      {"a\\what?.txt", HeaderLevel::kLevel0, "not allow"},
      {"a<b>.txt", HeaderLevel::kLevel2, "not allow"},
      {"nul\\x", HeaderLevel::kLevel2, "device"},
      {"Com1 .txt", HeaderLevel::kLevel2, "device"},
  };
  for (const Case& c : cases) {
    LhaWriter writer;
    writer.AddFile(c.stored, "data", 0, c.level);
    fs::path out = prefix.Scratch() / "each";
    ExtractOutcome outcome = ExtractBytes(writer.Finish(), out);
    EXPECT_EQ(outcome.code, UNLHA_ERROR_UNSAFE_MEMBER) << c.stored;
    EXPECT_NE(outcome.message.find(c.problem), std::string::npos) << outcome.message;
    EXPECT_TRUE(fs::is_empty(out)) << c.stored;
  }
}

TEST_F(ExtractTest, DamagedMemberNeverStaysUnderItsName) {
  LhaWriter writer;
  writer.AddFile("first.txt", "intact");
  writer.AddFile("broken.txt", "this member's data is damaged below");
  writer.AddFile("last.txt", "also intact");
  std::string archive = writer.Finish();
  archive[archive.find("damaged")] ^= 0x20;

  fs::path out = prefix.Scratch() / "crc";
  TempPrefix::WriteFile(out / "broken.txt", "previous version");
  ExtractOutcome outcome = ExtractBytes(archive, out);
  EXPECT_EQ(outcome.code, UNLHA_ERROR_FILE_CRC);
  EXPECT_NE(outcome.message.find("broken.txt"), std::string::npos) << outcome.message;
  // Nothing of the archive is written: the earlier file stays as it was, and
  // no temporary file is left behind.
  EXPECT_EQ(TempPrefix::ReadFile(out / "broken.txt"), "previous version");
  EXPECT_EQ(Tree(out), (std::vector<std::string>{"broken.txt"}));

  // A compressed member of an archiver's fixture, damaged in its data.
  std::string mixed = TempPrefix::ReadFile(kFixtures / "mixed.lzh");
  mixed[0x40] ^= 0x55;  // inside readme.txt's -lh5- data
  fs::path out2 = prefix.Scratch() / "crc2";
  ExtractOutcome lh5 = ExtractBytes(mixed, out2);
  EXPECT_NE(lh5.code, 0);
  EXPECT_NE(lh5.message.find("readme.txt"), std::string::npos) << lh5.message;
  EXPECT_FALSE(fs::exists(out2 / "readme.txt"));
  EXPECT_FALSE(fs::exists(out2 / "stored.txt"));
}

TEST_F(ExtractTest, TruncatedOrForeignInputIsAnError) {
  LhaWriter writer;
  writer.AddFile("one.txt", "first member");
  writer.AddFile("two.txt", "second member, cut short");
  std::string archive = writer.Finish();
  fs::path out = prefix.Scratch() / "cut";

  // Cut inside the second member's data: a length error, and no file under its name.
  ExtractOutcome cut = ExtractBytes(archive.substr(0, archive.size() - 10), out);
  EXPECT_EQ(cut.code, UNLHA_ERROR_FILE_CRC) << cut.message;
  EXPECT_FALSE(fs::exists(out / "two.txt"));

  // Cut inside the second header: liblhasa just stops there.
  size_t second = archive.find("two.txt") - 32;  // start of its level 2 header
  ExtractOutcome header = ExtractBytes(archive.substr(0, second + 10), prefix.Scratch() / "cut2");
  EXPECT_EQ(header.code, UNLHA_ERROR_HEADER_BROKEN) << header.message;
  EXPECT_NE(header.message.find("one.txt"), std::string::npos) << header.message;

  EXPECT_EQ(ExtractBytes("<html>404 Not Found</html>", prefix.Scratch() / "html").code,
            UNLHA_ERROR_NOT_ARC_FILE);
  EXPECT_EQ(ExtractBytes("", prefix.Scratch() / "empty").code, UNLHA_ERROR_NOT_ARC_FILE);
}

TEST_F(ExtractTest, CheckingReadsEveryMemberAndWritesNothing) {
  std::string mixed = TempPrefix::ReadFile(kFixtures / "mixed.lzh");
  EXPECT_EQ(ExtractArchive(mixed, nullptr).code, 0);
  mixed[0x40] ^= 0x55;
  EXPECT_NE(ExtractArchive(mixed, nullptr).code, 0);
  LhaWriter hostile;
  hostile.AddFile("..\\x", "x", 0, HeaderLevel::kLevel0);
  EXPECT_EQ(ExtractArchive(hostile.Finish(), nullptr).code, UNLHA_ERROR_UNSAFE_MEMBER);
}

TEST_F(ExtractTest, BytesEntryExtractsIntoScratchFolder) {
  LhaWriter writer;
  writer.AddFolder("empty\\folder");
  writer.AddFile("dir\\file.txt", "content", 1700000000, HeaderLevel::kLevel0);
  std::string archive = writer.Finish();
  fs::path scratch = prefix.Scratch() / "fuzz" / "new";
  std::string message;
  int code = ExtractArchiveBytes({reinterpret_cast<const uint8_t*>(archive.data()), archive.size()}, scratch,
                                 &message);
  EXPECT_EQ(code, 0) << message;
  EXPECT_EQ(message, "1 file extracted");
  EXPECT_TRUE(fs::is_directory(scratch / "empty" / "folder"));
  EXPECT_EQ(TempPrefix::ReadFile(scratch / "dir" / "file.txt"), "content");
  // The member keeps its stored time.
  EXPECT_EQ(std::chrono::floor<std::chrono::seconds>(
                std::chrono::file_clock::to_sys(fs::last_write_time(scratch / "dir" / "file.txt"))),
            std::chrono::sys_seconds(std::chrono::seconds(1700000000)));
}

}  // namespace
}  // namespace unlha32
