// Archives in the header forms of many LHA archivers, extracted by the real
// `lhasa` command and by our extractor: whatever lhasa extracts, ours extracts
// to the same tree (letter case aside), and what it refuses, ours refuses. The
// few forms ours refuses on purpose are rows of their own.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "formats/ascii_case.h"
#include "platform/windows_system.h"
#include "support/temp_prefix.h"
#include "unlha32/extract.h"
#include "unlha32/lha_writer.h"
#include "unlha32/unlha32.h"

extern char** environ;

namespace unlha32 {
namespace {

namespace fs = std::filesystem;
using sorana::test::TempPrefix;

// lhasa extracts into `folder`, forced and quiet, within 30 seconds; its exit status.
int RunLhasa(const fs::path& archive, const fs::path& folder) {
  std::string into = "xfq2w=" + folder.string();
  std::string path = archive.string();
  const char* argv[] = {"timeout", "30", "lhasa", into.c_str(), path.c_str(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int fd = 0; fd <= 2; ++fd) {
    posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
  }
  pid_t pid = 0;
  int spawned = posix_spawnp(&pid, "timeout", &actions, nullptr, const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// Every entry below `root` by its lower-cased relative path: a file's bytes, a
// link's target, or "<folder>".
std::map<std::string, std::string> Tree(const fs::path& root) {
  std::map<std::string, std::string> tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    std::string key = sorana::formats::AsciiUpper(entry.path().lexically_relative(root).generic_string());
    if (entry.is_symlink()) {
      tree[key] = "-> " + fs::read_symlink(entry.path()).string();
    } else if (entry.is_directory()) {
      tree[key] = "<folder>";
    } else {
      tree[key] = TempPrefix::ReadFile(entry.path());
    }
  }
  return tree;
}

// The 128-byte MacBinary header MacLHA writes, then the forks, padded to 128 bytes.
std::string MacBinary(std::string_view name, std::string_view dataFork, std::string_view resourceFork,
                      int64_t unixTime) {
  std::string out(128, '\0');
  auto put32 = [&](size_t at, uint64_t value) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((value >> (24 - 8 * i)) & 0xFF);
  };
  out[1] = static_cast<char>(name.size());
  out.replace(2, name.size(), name);
  out.replace(0x41, 8, "TEXTttxt");
  put32(0x53, dataFork.size());
  put32(0x57, resourceFork.size());
  const int64_t macTime = unixTime + 2082844800 + 9 * 3600;  // local time of Tokyo
  put32(0x5B, macTime);
  put32(0x5F, macTime);
  out += dataFork;
  out += resourceFork;
  out.resize((out.size() + 127) / 128 * 128, '\0');
  return out;
}

MemberFields Member(HeaderLevel level, std::string name, std::string data, uint8_t osType = 'M') {
  MemberFields fields;
  fields.level = level;
  fields.name = std::move(name);
  fields.data = std::move(data);
  fields.osType = osType;
  fields.unixTime = 1700000000;
  return fields;
}

MemberFields Folder(HeaderLevel level, std::string name, std::string folder = {}) {
  MemberFields fields = Member(level, std::move(name), {});
  fields.method = "-lhd-";
  fields.attribute = 0x10;
  fields.folder = std::move(folder);
  return fields;
}

// lhasa keeps a drive letter as a folder (or name) "X:", which Windows cannot
// hold; ours takes it off as Windows archivers do.
std::map<std::string, std::string> WithoutDrive(const std::map<std::string, std::string>& tree) {
  std::map<std::string, std::string> out;
  for (const auto& [key, value] : tree) {
    std::string rest = key.size() >= 2 && key[1] == ':' ? key.substr(key[2] == '/' ? 3 : 2) : key;
    if (!rest.empty()) out[rest] = value;
  }
  return out;
}

// kSameTreeAndFolders: lhasa 0.3.1 stops at an entry that later versions read
// as a folder; ours has lhasa's tree and those folders.
enum class Expect { kSameTree, kSameTreeWithoutDrive, kSameTreeAndFolders, kBothRefuse, kOursRefuses };

struct Form {
  const char* name;
  std::function<void(LhaWriter&)> build;
  Expect expect;
  const char* damage = nullptr;  // a bit of these bytes is flipped in the archive
};

const std::string kText = "hello world\n";
const std::string kResource = "resource fork bytes";

TEST(LhasaAgreementTest, EveryHeaderFormExtractsAsLhasaExtractsIt) {
  using enum HeaderLevel;
  const Form forms[] = {
      {"LHmelt root path, folder entry after its file",
       [](LhaWriter& w) {
         w.AddMember(Member(kLevel0, "\\subdir\\sub2\\hello.txt", kText));
         w.AddMember(Folder(kLevel0, "\\subdir\\sub2\\"));
       },
       Expect::kSameTree},
      {"level 1 root path and a root folder entry",
       [](LhaWriter& w) {
         w.AddMember(Folder(kLevel1, "\\"));
         w.AddMember(Member(kLevel1, "\\Top\\a.txt", kText, 'W'));
       },
       Expect::kSameTree},
      {"MacLHA full path: the folder extension begins at the root",
       [](LhaWriter& w) {
         MemberFields m = Member(kLevel2, "hello.txt", kText, 'm');
         m.folder = "\xFFUntitled\xFFsubdir\xFF";
         w.AddMember(m);
       },
       Expect::kSameTree},
      {"Unix absolute path in the folder extension",
       [](LhaWriter& w) {
         MemberFields m = Member(kLevel2, "abs.txt", kText, 'U');
         m.folder = "\xFFtmp\xFF";
         w.AddMember(m);
       },
       Expect::kSameTree},
      {"drive letter (Tascal LHA)",
       [](LhaWriter& w) { w.AddMember(Member(kLevel0, "C:\\Data\\a.txt", kText)); },
       Expect::kSameTreeWithoutDrive},
      {"drive-relative name", [](LhaWriter& w) { w.AddMember(Member(kLevel0, "d:b.txt", kText)); },
       Expect::kSameTreeWithoutDrive},
      {"a '/' in a level 2 file name belongs to the name",
       [](LhaWriter& w) { w.AddMember(Member(kLevel2, "a/b.txt", kText)); }, Expect::kSameTree},
      {"level 1 name field with folders and a folder extension",
       [](LhaWriter& w) {
         MemberFields m = Member(kLevel1, "old\\n.txt", kText, 'U');
         m.folder = "new\xFF";
         w.AddMember(m);
       },
       Expect::kSameTree},
      {"MacLHA MacBinary, level 1 and 2",
       [](LhaWriter& w) {
         w.AddMember(Member(kLevel1, "gpl", MacBinary("gpl", kText, {}, 1700000000), 'm'));
         MemberFields m = Member(kLevel2, "doc.txt", MacBinary("doc.txt", kText, kResource, 1700000000), 'm');
         m.folder = "sub\xFF";
         w.AddMember(m);
       },
       Expect::kSameTree},
      {"MacLHA MacBinary with only a resource fork",
       [](LhaWriter& w) {
         w.AddMember(Member(kLevel2, "res", MacBinary("res", {}, kResource, 1700000000), 'm'));
       },
       Expect::kSameTree},
      {"an archived MacBinary file (other name, other time) stays whole",
       [](LhaWriter& w) {
         w.AddMember(Member(kLevel2, "app.bin", MacBinary("app", kText, {}, 1700000000), 'm'));
         w.AddMember(Member(kLevel2, "late", MacBinary("late", kText, {}, 1700000000 + 20 * 3600), 'm'));
       },
       Expect::kSameTree},
      {"Amiga file note after the name, level 0 and 1",
       [](LhaWriter& w) {
         w.AddMember(Member(kLevel0, std::string("noted.txt\0a file note", 21), kText));
         w.AddMember(Member(kLevel1, std::string("dir\\amiga.txt\0note", 19), kText, 'A'));
       },
       Expect::kSameTree},
      {"Amiga LhA 1.22 folder extension without its last separator, folder entry last",
       [](LhaWriter& w) {
         MemberFields m = Member(kLevel2, "hello.txt", kText, 'A');
         m.folder = "subdir\xFFsub2";
         w.AddMember(m);
         w.AddMember(Folder(kLevel2, {}, "subdir\xFF"));
         w.AddMember(Folder(kLevel2, {}, "empty\xFF"));
       },
       Expect::kSameTree},
      {"Amiga LhA 1.22 folder entries as -lh0- without data or a name, level 1 and 2",
       [](LhaWriter& w) {
         MemberFields m = Member(kLevel2, "hello.txt", kText, 'A');
         m.folder = "subdir\xFF";
         w.AddMember(m);
         for (HeaderLevel level : {kLevel2, kLevel1}) {
           MemberFields folder = Member(level, {}, {}, 'A');
           folder.folder = level == kLevel2 ? "subdir\xFF" : "empty\xFF";
           folder.attribute = 0x10;
           w.AddMember(folder);
         }
       },
       Expect::kSameTreeAndFolders},
      {"links inside the destination; a file replaces a link of its name",
       [](LhaWriter& w) {
         w.AddFile("target.txt", kText);
         w.AddSymlink("sub\\link", "../target.txt");
         w.AddSymlink("foo.txt", "bar.txt");
         w.AddFile("foo.txt", kText);
       },
       Expect::kSameTree},
      {"a link to an absolute path", [](LhaWriter& w) { w.AddSymlink("sub\\abs", "/absolute/path"); },
       Expect::kOursRefuses},
      {"a link that climbs out", [](LhaWriter& w) { w.AddSymlink("sub\\up", "../../etc"); },
       Expect::kOursRefuses},
      {"\"..\" in a path, which lhasa drops silently",
       [](LhaWriter& w) { w.AddFile("a\\..\\..\\evil.txt", kText, 0, kLevel0); }, Expect::kOursRefuses},
      {"a member whose data is damaged",
       [](LhaWriter& w) { w.AddMember(Member(kLevel2, "bad.txt", "data damaged below")); },
       Expect::kBothRefuse, "damaged"},
  };
  TempPrefix prefix;
  int index = 0;
  for (const Form& form : forms) {
    SCOPED_TRACE(form.name);
    LhaWriter writer;
    form.build(writer);
    std::string bytes = writer.Finish();
    if (form.damage != nullptr) bytes[bytes.find(form.damage)] ^= 0x20;
    const fs::path root = prefix.Scratch() / std::to_string(index++);
    const fs::path archive = root / "form.lzh";
    TempPrefix::WriteFile(archive, bytes);
    fs::create_directories(root / "lhasa");
    const int lhasa = RunLhasa(archive, root / "lhasa");
    ASSERT_GE(lhasa, 0) << "the lhasa command (Debian package lhasa) did not run";

    Destination destination = Destination::OnHost(root / "ours");
    ASSERT_EQ(destination.Prepare().code, 0);
    ExtractOutcome ours = ExtractArchive(bytes, &destination);
    switch (form.expect) {
      case Expect::kSameTree:
      case Expect::kSameTreeWithoutDrive: {
        EXPECT_EQ(lhasa, 0);
        EXPECT_EQ(ours.code, 0) << ours.message;
        auto expected = Tree(root / "lhasa");
        EXPECT_FALSE(expected.empty());
        if (form.expect == Expect::kSameTreeWithoutDrive) expected = WithoutDrive(expected);
        EXPECT_EQ(Tree(root / "ours"), expected);
        break;
      }
      case Expect::kSameTreeAndFolders: {
        EXPECT_EQ(ours.code, 0) << ours.message;
        std::map<std::string, std::string> tree = Tree(root / "ours");
        for (const auto& [key, value] : Tree(root / "lhasa")) EXPECT_EQ(tree[key], value) << key;
        EXPECT_EQ(tree["EMPTY"], "<folder>");
        break;
      }
      case Expect::kBothRefuse:
        EXPECT_NE(lhasa, 0);
        EXPECT_NE(ours.code, 0);
        break;
      case Expect::kOursRefuses:
        EXPECT_EQ(lhasa, 0);
        EXPECT_EQ(ours.code, UNLHA_ERROR_UNSAFE_MEMBER) << ours.message;
        EXPECT_TRUE(fs::is_empty(root / "ours"));
        break;
    }
  }
}

}  // namespace
}  // namespace unlha32
