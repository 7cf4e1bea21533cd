// The file-tree operations on both hosts; links, permissions and a second
// file system only where the host is Linux.
#include "platform/file_tree.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <set>
#include <vector>

#include "platform/file_system.h"
#include "support/temp_prefix.h"

namespace sorana::platform {
namespace {

namespace fs = std::filesystem;
using test::TempPrefix;

bool IsReadOnly(const fs::path& path) { return TempPrefix::IsReadOnly(path); }

std::set<std::string> Names(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

// A source list: each item followed by one NUL.
std::string List(std::initializer_list<std::string> items) {
  std::string list;
  for (const std::string& item : items) list += item + '\0';
  return list;
}

std::vector<std::string> SplitList(const std::string& list) {
  std::vector<std::string> items;
  size_t start = 0;
  for (size_t nul; (nul = list.find('\0', start)) != std::string::npos; start = nul + 1) {
    items.push_back(list.substr(start, nul - start));
  }
  EXPECT_EQ(start, list.size()) << "the list must end in a NUL";
  return items;
}

// Runs the test in a current folder of its own and comes back afterwards.
class CurrentFolderGuard {
 public:
  explicit CurrentFolderGuard(const fs::path& folder) : saved_(fs::current_path()) {
    fs::current_path(folder);
  }
  ~CurrentFolderGuard() { fs::current_path(saved_); }

 private:
  fs::path saved_;
};

TEST(FileTreeExpandFolderPath, ResolvesDotsAndEndsInOneBackslash) {
  EXPECT_EQ(ExpandFolderPath("C:\\root\\OLD_BIN\\..\\New_BIN\\"), "C:\\root\\New_BIN\\");
  EXPECT_EQ(ExpandFolderPath("C:\\a\\.\\b\\\\c\\..\\"), "C:\\a\\b\\");
  EXPECT_EQ(ExpandFolderPath("C:\\..\\..\\x"), "C:\\x\\");
  EXPECT_EQ(ExpandFolderPath("C:\\ヘルプ\\..\\ソラナギ"), "C:\\ソラナギ\\");
  EXPECT_EQ(ExpandFolderPath("\\\\server\\share\\..\\x"), "\\\\server\\share\\x\\");
  EXPECT_EQ(ExpandFolderPath(""), "");
}

TEST(FileTreeExpandFolderPath, RelativePathsStartAtTheCurrentFolder) {
  TempPrefix prefix;
  fs::create_directories(prefix.HostC("C:\\work\\here"));
  CurrentFolderGuard guard(prefix.HostC("C:\\work\\here"));

  EXPECT_EQ(ExpandFolderPath("sub\\..\\x"), "C:\\work\\here\\x\\");
  EXPECT_EQ(ExpandFolderPath("\\top"), "C:\\top\\");
  EXPECT_EQ(ExpandFolderPath("c:next"), "C:\\work\\here\\next\\");
  EXPECT_EQ(ExpandFolderPath("D:next"), "D:\\next\\");
}

TEST(FileTreeListFolderEntries, GivesOneItemPerEntry) {
  TempPrefix prefix;
  fs::create_directories(prefix.HostC("C:\\root\\A"));
  TempPrefix::WriteFile(prefix.HostC("C:\\root\\b.txt"), "b");
  TempPrefix::WriteFile(prefix.HostC("C:\\root\\A\\inner.txt"), "not listed");
  fs::create_directories(prefix.HostC("C:\\empty"));

  std::vector<std::string> items = SplitList(ListFolderEntries("C:\\root\\*"));
  std::sort(items.begin(), items.end());
  EXPECT_EQ(items, (std::vector<std::string>{"C:\\root\\A", "C:\\root\\b.txt"}));
  // The folder part is kept as the caller spelled it.
  EXPECT_EQ(ListFolderEntries("C:\\ROOT\\*.txt"), List({"C:\\ROOT\\b.txt"}));
  EXPECT_EQ(ListFolderEntries("C:\\empty\\*"), "");
  EXPECT_EQ(ListFolderEntries("C:\\missing\\*"), "");
}

TEST(FileTreeBackupDocuments, ReportsCollisionsAndKeepsGoing) {
  TempPrefix prefix;
  TempPrefix::WriteFile(prefix.HostC("C:\\p\\a.doc"), "doc");
  TempPrefix::WriteFile(prefix.HostC("C:\\p\\a.xls"), "xls");
  EXPECT_FALSE(BackupDocuments("C:\\p\\"));
  std::set<std::string> names = Names(prefix.HostC("C:\\p"));
  ASSERT_EQ(names.size(), 2u);
  EXPECT_TRUE(names.count("a.BAK"));
  EXPECT_TRUE(names.count("a.doc") + names.count("a.xls") == 1);

  // A read-only backup is not deleted, so its document cannot take the name;
  // the other document is still renamed.
  TempPrefix::WriteFile(prefix.HostC("C:\\q\\x.bak"), "old");
  TempPrefix::WriteFile(prefix.HostC("C:\\q\\y.doc"), "y");
  TempPrefix::WriteFile(prefix.HostC("C:\\q\\x.SPI"), "spi");
  TempPrefix::MakeReadOnly(prefix.HostC("C:\\q\\x.bak"));
  EXPECT_FALSE(BackupDocuments("C:\\q\\"));
  EXPECT_EQ(Names(prefix.HostC("C:\\q")), (std::set<std::string>{"x.bak", "y.BAK", "x.SPI"}));
  EXPECT_EQ(TempPrefix::ReadFile(prefix.HostC("C:\\q\\x.bak")), "old");
}

TEST(FileTreeBackupDocuments, RenamesWholeExtensionsOfThisFolderOnly) {
  TempPrefix prefix;
  TempPrefix::WriteFile(prefix.HostC("C:\\p\\Old.Bak"), "old");
  TempPrefix::WriteFile(prefix.HostC("C:\\p\\Sheet.XLS"), "sheet");
  TempPrefix::WriteFile(prefix.HostC("C:\\p\\plug.in.spi"), "spi");
  TempPrefix::WriteFile(prefix.HostC("C:\\p\\keep.docx"), "docx");
  TempPrefix::WriteFile(prefix.HostC("C:\\p\\doc"), "no extension");
  TempPrefix::WriteFile(prefix.HostC("C:\\p\\京都府納品書.Doc"), "納品書");
  TempPrefix::WriteFile(prefix.HostC("C:\\p\\sub\\inner.doc"), "inner");
  fs::create_directories(prefix.HostC("C:\\p\\folder.doc"));

  EXPECT_TRUE(BackupDocuments("C:\\P\\"));
  EXPECT_EQ(Names(prefix.HostC("C:\\p")),
            (std::set<std::string>{"Sheet.BAK", "plug.in.BAK", "keep.docx", "doc", "京都府納品書.BAK", "sub",
                                   "folder.doc"}));
  EXPECT_EQ(TempPrefix::ReadFile(prefix.HostC("C:\\p\\Sheet.BAK")), "sheet");
  EXPECT_TRUE(fs::exists(prefix.HostC("C:\\p\\sub\\inner.doc")));

  fs::create_directories(prefix.HostC("C:\\none"));
  EXPECT_TRUE(BackupDocuments("C:\\none\\"));
  EXPECT_TRUE(BackupDocuments("C:\\missing\\"));
}

class FileTreeResetReadOnly : public ::testing::Test {
 protected:
  // C:\top\root\ holds files f1 to f6, A\ (a1, a2, A\deep\d1) and a link to an
  // outside read-only folder; everything is read-only, the root folder and its
  // parent too. Several root files make it all but certain that some are listed after A.
  void SetUp() override {
    for (const char* file : {"f1", "f2", "f3", "f4", "f5", "f6", "A\\a1", "A\\a2", "A\\deep\\d1"}) {
      TempPrefix::WriteFile(Host(file), file);
    }
    TempPrefix::WriteFile(prefix.HostC("C:\\outside\\o1"), "o");
#ifndef _WIN32
    fs::create_directory_symlink(prefix.HostC("C:\\outside"), Host("link"));
#endif
    for (const char* entry : kEntries) {
      TempPrefix::MakeReadOnly(Host(entry));
    }
    TempPrefix::MakeReadOnly(prefix.HostC("C:\\top"));
    TempPrefix::MakeReadOnly(prefix.HostC("C:\\outside\\o1"));
    TempPrefix::MakeReadOnly(prefix.HostC("C:\\outside"));
  }

  static constexpr const char* kEntries[] = {"f1",    "f2",    "f3",          "f4",      "f5", "f6",
                                             "A\\a1", "A\\a2", "A\\deep\\d1", "A\\deep", "A",  ""};

  fs::path Host(const std::string& relative) const { return prefix.HostC("C:\\top\\root\\" + relative); }

  TempPrefix prefix;
};

TEST_F(FileTreeResetReadOnly, ClearsTheWholeTreeButNotThroughLinks) {
  int questions = 0;
  ResetReadOnly("C:\\top\\root\\", [&] { return ++questions, true; });
  EXPECT_EQ(questions, 0);
  for (const char* entry : kEntries) {
    EXPECT_FALSE(IsReadOnly(Host(entry))) << entry;
  }
  EXPECT_FALSE(IsReadOnly(prefix.HostC("C:\\top")));  // the parent, as through ".."
  // Wine keeps no read-only attribute on folders, so only Linux can tell an
  // outside folder that stayed read-only.
#ifndef _WIN32
  EXPECT_TRUE(IsReadOnly(prefix.HostC("C:\\outside")));
#endif
  EXPECT_TRUE(IsReadOnly(prefix.HostC("C:\\outside\\o1")));
}

TEST_F(FileTreeResetReadOnly, NoInsideASubFolderSkipsOnlyThatFolder) {
  std::vector<std::string> tried;
  int questions = 0;
  // The first attempt on a file of A fails; the user answers No.
  auto setter = [&](std::string_view path, uint32_t attributes) -> Status {
    tried.emplace_back(path);
    if (questions == 0 && (path == "C:\\top\\root\\A\\a1" || path == "C:\\top\\root\\A\\a2")) {
      return ErrnoError(EACCES);
    }
    return SetAttributes(path, attributes);
  };
  ResetReadOnly(
      "C:\\top\\root\\", [&] { return ++questions, false; }, setter);
  ASSERT_EQ(questions, 1);

  auto failed = std::find_if(tried.begin(), tried.end(), [](const std::string& p) {
    return p == "C:\\top\\root\\A\\a1" || p == "C:\\top\\root\\A\\a2";
  });
  ASSERT_NE(failed, tried.end());
  // Nothing more of A was tried after the refusal...
  for (auto it = std::next(failed); it != tried.end(); ++it) {
    EXPECT_NE(it->rfind("C:\\top\\root\\A\\", 0), 0u) << *it;
  }
  // ...but the root's own files, before and after A in the listing, were cleared.
  for (const char* file : {"f1", "f2", "f3", "f4", "f5", "f6"}) EXPECT_FALSE(IsReadOnly(Host(file))) << file;
  EXPECT_FALSE(IsReadOnly(Host("A")));  // A itself was cleared before its entries
  EXPECT_FALSE(IsReadOnly(Host("")));
}

#ifndef _WIN32
TEST_F(FileTreeResetReadOnly, UnreadableFolderIsNotWalked) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads any folder, whatever its permissions";
  fs::permissions(Host("A"), fs::perms::none);
  int questions = 0;
  ResetReadOnly("C:\\top\\root\\", [&] { return ++questions, true; });
  fs::permissions(Host("A"), fs::perms::owner_all);
  EXPECT_EQ(questions, 0);
  EXPECT_TRUE(IsReadOnly(Host("A\\a1")));
  EXPECT_FALSE(IsReadOnly(Host("f2")));
}
#endif

TEST(FileTreeMoveFiles, CreatesTheDestinationAndReplacesFiles) {
  TempPrefix prefix;
  TempPrefix::WriteFile(prefix.HostC("C:\\root\\fotodesk.exe"), "new exe");
  TempPrefix::WriteFile(prefix.HostC("C:\\root\\Template\\t1.xls"), "t1");
  TempPrefix::WriteFile(prefix.HostC("C:\\root\\Template\\sub\\t2.xls"), "t2");
  TempPrefix::WriteFile(prefix.HostC("C:\\root\\PICVIEW\\view.ocx"), "new ocx");
  TempPrefix::WriteFile(prefix.HostC("C:\\root\\PICVIEW\\VIEW.DLL"), "new dll");
  // Already in the destination: replaced whatever the case or read-only bit.
  TempPrefix::WriteFile(prefix.HostC("C:\\root\\OLD_BIN\\PICVIEW\\View.ocx"), "old ocx");
  TempPrefix::WriteFile(prefix.HostC("C:\\root\\OLD_BIN\\PICVIEW\\view.dll"), "old dll");
  TempPrefix::WriteFile(prefix.HostC("C:\\root\\OLD_BIN\\PICVIEW\\other"), "kept");
  TempPrefix::MakeReadOnly(prefix.HostC("C:\\root\\OLD_BIN\\PICVIEW\\view.dll"));

  std::string sources = ListFolderEntries("C:\\root\\*");
  sources.erase(sources.find("C:\\root\\OLD_BIN"), std::string("C:\\root\\OLD_BIN").size() + 1);
  ASSERT_TRUE(MoveFiles(sources, "C:\\root\\old_bin\\"));

  EXPECT_EQ(Names(prefix.HostC("C:\\root")), std::set<std::string>{"OLD_BIN"});
  const fs::path old = prefix.HostC("C:\\root\\OLD_BIN");
  EXPECT_EQ(TempPrefix::ReadFile(old / "fotodesk.exe"), "new exe");
  EXPECT_EQ(TempPrefix::ReadFile(old / "Template" / "sub" / "t2.xls"), "t2");
  EXPECT_EQ(Names(old / "PICVIEW"), (std::set<std::string>{"View.ocx", "view.dll", "other"}));
  EXPECT_EQ(TempPrefix::ReadFile(old / "PICVIEW" / "View.ocx"), "new ocx");
  EXPECT_EQ(TempPrefix::ReadFile(old / "PICVIEW" / "view.dll"), "new dll");
  EXPECT_EQ(TempPrefix::ReadFile(old / "PICVIEW" / "other"), "kept");

  // Into a destination that does not exist yet, with a wildcard item.
  ASSERT_TRUE(MoveFiles(List({"C:\\root\\OLD_BIN\\PICVIEW\\*.*"}), "C:\\root\\NEW_BIN\\PICVIEW"));
  EXPECT_TRUE(fs::is_empty(old / "PICVIEW"));
  EXPECT_EQ(Names(prefix.HostC("C:\\root\\NEW_BIN\\PICVIEW")),
            (std::set<std::string>{"View.ocx", "view.dll", "other"}));
}

TEST(FileTreeMoveFiles, FailuresGiveFalseAndLoseNothing) {
  TempPrefix prefix;
  TempPrefix::WriteFile(prefix.HostC("C:\\src\\a.txt"), "a");
  TempPrefix::WriteFile(prefix.HostC("C:\\src\\inner\\b.txt"), "b");
  TempPrefix::WriteFile(prefix.HostC("C:\\dst\\a.txt\\blocker"), "a folder where a file should go");

  // A missing item and a file onto a folder fail; the good item still moves.
  EXPECT_FALSE(MoveFiles(List({"C:\\src\\missing", "C:\\src\\a.txt", "C:\\src\\inner"}), "C:\\dst"));
  EXPECT_TRUE(fs::exists(prefix.HostC("C:\\src\\a.txt")));
  EXPECT_TRUE(fs::exists(prefix.HostC("C:\\dst\\inner\\b.txt")));

  // A folder into itself is refused and stays whole.
  EXPECT_FALSE(MoveFiles(List({"C:\\src"}), "C:\\src\\deeper"));
  EXPECT_TRUE(fs::exists(prefix.HostC("C:\\src\\a.txt")));
  EXPECT_FALSE(MoveFiles(List({"C:\\nowhere\\*.*"}), "C:\\dst"));
  EXPECT_FALSE(CopyFiles(List({"C:\\src\\missing", "C:\\src\\a.txt"}), "C:\\elsewhere"));
  EXPECT_TRUE(fs::exists(prefix.HostC("C:\\elsewhere\\a.txt")));
  EXPECT_FALSE(MoveFiles(List({"C:\\src\\a.txt"}), "Q:\\no drive"));
  // A pattern that matches nothing in an existing folder is nothing to do.
  EXPECT_TRUE(MoveFiles(List({"C:\\src\\*.none"}), "C:\\dst"));
}

TEST(FileTreeCopyFiles, CopiesFoldersWithTheirContents) {
  TempPrefix prefix;
  TempPrefix::WriteFile(prefix.HostC("C:\\OLD_BIN\\Template\\a.xls"), "a");
  TempPrefix::WriteFile(prefix.HostC("C:\\OLD_BIN\\Template\\set\\b.xls"), "b");
  TempPrefix::WriteFile(prefix.HostC("C:\\NEW_BIN\\template\\A.XLS"), "older a");
  ASSERT_TRUE(SetWriteTime("C:\\OLD_BIN\\Template\\set\\b.xls", 1'200'000'000));

  ASSERT_TRUE(CopyFiles(List({"C:\\OLD_BIN\\Template\\*.*"}), "C:\\NEW_BIN\\template"));
  EXPECT_EQ(TempPrefix::ReadFile(prefix.HostC("C:\\NEW_BIN\\template\\A.XLS")), "a");
  EXPECT_EQ(TempPrefix::ReadFile(prefix.HostC("C:\\NEW_BIN\\template\\set\\b.xls")), "b");
  EXPECT_EQ(fs::last_write_time(prefix.HostC("C:\\NEW_BIN\\template\\set\\b.xls")),
            fs::last_write_time(prefix.HostC("C:\\OLD_BIN\\Template\\set\\b.xls")));
  EXPECT_EQ(TempPrefix::ReadFile(prefix.HostC("C:\\OLD_BIN\\Template\\a.xls")), "a");  // source kept
  // Copying again merges into what is there.
  EXPECT_TRUE(CopyFiles(List({"C:\\OLD_BIN\\Template"}), "C:\\NEW_BIN\\"));
  EXPECT_EQ(TempPrefix::ReadFile(prefix.HostC("C:\\NEW_BIN\\template\\set\\b.xls")), "b");
  EXPECT_EQ(Names(prefix.HostC("C:\\NEW_BIN")), std::set<std::string>{"template"});
}

// What a stopped run leaves goes, in sub-folders too; look-alikes, folders,
// links of a file's shape and what a link leads to stay.
TEST(FileTreeRemoveStaleTemporaries, RemovesExactlyTheShapesWeMake) {
  TempPrefix prefix;
  enum class Kind { kFile, kReadOnly, kFolder, kLink };
  struct Case {
    const char* path;
    Kind kind;
    bool removed;
  };
  const Case cases[] = {
#ifdef _WIN32
      {"C:\\s\\.sorana-4711-3.tmp", Kind::kReadOnly, true},  // a copy of a read-only file
      {"C:\\s\\sub\\deep\\.sorana-1-22.tmp", Kind::kFile, true},
      {"C:\\s\\.sorana-1-2-3", Kind::kFile, false},
      {"C:\\s\\.sorana-1-2.tmp.bak", Kind::kFile, false},
      {"C:\\s\\.sorana-5-6.tmp", Kind::kFolder, false},
#else
      {"C:\\s\\.sorana-4711-3-123456789", Kind::kReadOnly, true},
      {"C:\\s\\sub\\deep\\.sorana-1-2-0", Kind::kFile, true},
      {"C:\\s\\.sorana-link-4711", Kind::kLink, true},
      {"C:\\s\\sub\\.sorana-link-4711-8", Kind::kLink, true},
      {"C:\\s\\.sorana-link-12", Kind::kFile, false},
      {"C:\\s\\.sorana-7-8-9", Kind::kLink, false},
      {"C:\\s\\.sorana-1-2.tmp", Kind::kFile, false},
      {"C:\\s\\.sorana-1-2-3-4", Kind::kFile, false},
      {"C:\\s\\.sorana-5-6-7", Kind::kFolder, false},
#endif
      {"C:\\s\\.sorana-notes.txt", Kind::kFile, false},
      {"C:\\s\\.sorana-12-x-3", Kind::kFile, false},
      {"C:\\s\\sorana-1-2-3", Kind::kFile, false},
      {"C:\\s\\.sorana--2.tmp", Kind::kFile, false},
  };
  size_t ours = 0;
  for (const Case& c : cases) {
    const fs::path path = prefix.HostC(c.path);
    fs::create_directories(path.parent_path());
    if (c.kind == Kind::kFolder) fs::create_directory(path);
    if (c.kind == Kind::kLink) fs::create_symlink("nowhere", path);
    if (c.kind == Kind::kFile || c.kind == Kind::kReadOnly) TempPrefix::WriteFile(path, "x");
    if (c.kind == Kind::kReadOnly) TempPrefix::MakeReadOnly(path);
    ours += c.removed;
  }
  TempPrefix::WriteFile(prefix.HostC("C:\\outside\\.sorana-1-2-3"), "not below the folder");
#ifndef _WIN32
  fs::create_directory_symlink(prefix.HostC("C:\\outside"), prefix.HostC("C:\\s\\link"));
#endif

  EXPECT_EQ(RemoveStaleTemporaries("C:\\s\\"), ours);
  for (const Case& c : cases) {
    EXPECT_EQ(fs::exists(fs::symlink_status(prefix.HostC(c.path))), !c.removed) << c.path;
  }
  EXPECT_TRUE(fs::exists(prefix.HostC("C:\\outside\\.sorana-1-2-3")));
  EXPECT_EQ(RemoveStaleTemporaries("C:\\missing\\"), 0u);
}

#ifndef _WIN32
TEST(FileTreeMoveFiles, MovesAcrossFileSystems) {
  TempPrefix prefix;
  const fs::path other = "/dev/shm";
  struct stat here {
  }, there{};
  if (stat(prefix.Root().c_str(), &here) != 0 || stat(other.c_str(), &there) != 0 ||
      here.st_dev == there.st_dev) {
    GTEST_SKIP() << "no second file system at /dev/shm";
  }
  std::string templ = (other / "sorana-move-XXXXXX").string();
  ASSERT_NE(mkdtemp(templ.data()), nullptr);
  const fs::path drive = templ;
  fs::create_directory_symlink(drive, prefix.Root() / "dosdevices" / "d:");

  TempPrefix::WriteFile(prefix.HostC("C:\\src\\f.txt"), "f");
  TempPrefix::WriteFile(prefix.HostC("C:\\src\\tree\\g.txt"), "g");
  TempPrefix::WriteFile(drive / "dest" / "f.txt", "old f");
  const bool moved = MoveFiles(List({"C:\\src\\*"}), "D:\\dest").has_value();
  std::string f = TempPrefix::ReadFile(drive / "dest" / "f.txt");
  std::string g = TempPrefix::ReadFile(drive / "dest" / "tree" / "g.txt");
  fs::remove_all(drive);

  EXPECT_TRUE(moved);
  EXPECT_EQ(f, "f");
  EXPECT_EQ(g, "g");
  EXPECT_TRUE(fs::is_empty(prefix.HostC("C:\\src")));
}
#endif

}  // namespace
}  // namespace sorana::platform
