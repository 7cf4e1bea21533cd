#include "platform/registry.h"
#include "platform/posix/wineserver_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "support/temp_prefix.h"

namespace sorana::platform {
namespace {

namespace fs = std::filesystem;
using test::TempPrefix;

// The product key as Wine writes it: ヴェルモラ\ソラナギ as UTF-16 escapes.
constexpr const char* kProductKey = "SOFTWARE\\ヴェルモラ\\ソラナギ";
constexpr const char* kEscapedProduct =
    "\\\\\\x30f4\\x30a7\\x30eb\\x30e2\\x30e9\\\\\\x30bd\\x30e9\\x30ca\\x30ae";

std::string Header(std::string_view arch) {
  return "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=" + std::string(arch) + "\n";
}

// A system.reg with the product key below `softwarePath` ("Software" or
// "Software\\\\Wow6432Node"), among keys before and after it.
std::string SystemReg(std::string_view arch, std::string_view softwarePath) {
  std::string s = Header(arch);
  s += "\n[Software\\\\Classes\\\\.txt] 1700000000\n#time=1d9f0e1c2b3a4f5\n@=\"txtfile\"\n";
  s += "\n[" + std::string(softwarePath) + kEscapedProduct + "] 1700000001\n#time=1d9f0e1c2b3a4f6\n";
  s += "\"Blob\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,18,\\\n  19,1a\n";
  s += "\"Exename\"=\"C:\\\\VELMORA\\\\SORANA\\\\OLD_BIN\\\\fotodesk.exe\"\n";
  s += "\"Path\"=str(2):\"%ProgramFiles%\\\\x\"\n";
  s += "\"Count\"=dword:00000001\n";
  s += "\n[System\\\\Other] 1700000002\n\"Exename\"=\"not this one\"\n";
  return s;
}

TEST(Registry, ReadsAndRewritesTheProductKeyInBothArchitectures) {
  for (auto [arch, software] :
       {std::pair{"win64", "Software\\\\Wow6432Node"}, std::pair{"win32", "Software"}}) {
    SCOPED_TRACE(arch);
    TempPrefix prefix(arch);
    const std::string before = SystemReg(arch, software);
    TempPrefix::WriteFile(prefix.Root() / "system.reg", before);

    Result<RegistryKey> key = RegistryKey::Open(Hive::LocalMachine, kProductKey, false);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->StoredPath(), std::string(arch) == "win64" ? "Software\\Wow6432Node\\ヴェルモラ\\ソラナギ"
                                                              : "Software\\ヴェルモラ\\ソラナギ");
    EXPECT_EQ(key->ReadString("exename"), "C:\\VELMORA\\SORANA\\OLD_BIN\\fotodesk.exe");
    EXPECT_EQ(key->ReadString("Path"), "%ProgramFiles%\\x");
    EXPECT_FALSE(key->ReadString("Count"));  // a dword is no text
    EXPECT_FALSE(key->ReadString("Blob"));
    EXPECT_FALSE(key->ReadString("Missing"));

    ASSERT_TRUE(key->WriteString("exename", "C:\\VELMORA\\SORANA\\FOTODESK.EXE"));
    std::string expected = before;
    const std::string oldLine = "\"Exename\"=\"C:\\\\VELMORA\\\\SORANA\\\\OLD_BIN\\\\fotodesk.exe\"";
    expected.replace(expected.find(oldLine), oldLine.size(),
                     "\"exename\"=\"C:\\\\VELMORA\\\\SORANA\\\\FOTODESK.EXE\"");
    EXPECT_EQ(TempPrefix::ReadFile(prefix.Root() / "system.reg"), expected);
    EXPECT_EQ(key->ReadString("Exename"), "C:\\VELMORA\\SORANA\\FOTODESK.EXE");
  }
}

TEST(Registry, CurrentUserIsNeverRedirected) {
  TempPrefix prefix("win64");
  Result<RegistryKey> key =
      RegistryKey::Open(Hive::CurrentUser, "Software\\ZUDUR011\\JanSDK8\\2004.0.1\\ENGOPTION\\PD0000R", true);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->StoredPath(), "Software\\ZUDUR011\\JanSDK8\\2004.0.1\\ENGOPTION\\PD0000R");
  ASSERT_TRUE(key->WriteBinary("ReadOption", std::vector<uint8_t>(12, 0)));
  std::string userReg = TempPrefix::ReadFile(prefix.Root() / "user.reg");
  EXPECT_NE(userReg.find("\n[Software\\\\ZUDUR011\\\\JanSDK8\\\\2004.0.1\\\\ENGOPTION\\\\PD0000R] "),
            std::string::npos);
  EXPECT_NE(userReg.find("\n#time="), std::string::npos);
  EXPECT_TRUE(userReg.ends_with("\n\"ReadOption\"=hex:00,00,00,00,00,00,00,00,00,00,00,00\n"));
  EXPECT_EQ(TempPrefix::ReadFile(prefix.Root() / "system.reg"), Header("win64") + "\n");
}

TEST(Registry, CreatesKeysWithTheSpellingOfExistingParents) {
  TempPrefix prefix("win64");
  const std::string before = Header("win64") + "\n[Software\\\\Wow6432Node\\\\Vendor] 1700000000\n";
  TempPrefix::WriteFile(prefix.Root() / "system.reg", before);

  EXPECT_FALSE(RegistryKey::Open(Hive::LocalMachine, "SOFTWARE\\VENDOR\\App", false));
  Result<RegistryKey> key = RegistryKey::Open(Hive::LocalMachine, "SOFTWARE\\VENDOR\\App", true);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->StoredPath(), "Software\\Wow6432Node\\Vendor\\App");
  // Nothing is written until a value is.
  EXPECT_EQ(TempPrefix::ReadFile(prefix.Root() / "system.reg"), before);

  ASSERT_TRUE(key->WriteString("", "default"));
  ASSERT_TRUE(key->WriteString("Second", "2"));
  std::string after = TempPrefix::ReadFile(prefix.Root() / "system.reg");
  EXPECT_TRUE(after.starts_with(before + "\n[Software\\\\Wow6432Node\\\\Vendor\\\\App] "));
  EXPECT_TRUE(after.ends_with("\n@=\"default\"\n\"Second\"=\"2\"\n"));
  EXPECT_EQ(RegistryKey::Open(Hive::LocalMachine, "software\\vendor\\app", false)->ReadString(""), "default");
  // An explicit Wow6432Node path is not redirected twice.
  EXPECT_EQ(RegistryKey::Open(Hive::LocalMachine, "Software\\Wow6432Node\\Vendor\\App", false)->StoredPath(),
            "Software\\Wow6432Node\\Vendor\\App");
}

TEST(Registry, EscapesRoundTripAsWineWritesThem) {
  TempPrefix prefix;
  Result<RegistryKey> key = RegistryKey::Open(Hive::LocalMachine, "Software\\ソラナギ", true);
  ASSERT_TRUE(key);
  // A hex digit after a non-ASCII character forces four digits; controls use C
  // or octal escapes; characters beyond the BMP are surrogate pairs.
  const std::string tricky =
      "é1ソa\"q\"\\back\nline\x01z\x02"
      "7😀";
  ASSERT_TRUE(key->WriteString("名前é", tricky));
  std::string text = TempPrefix::ReadFile(prefix.Root() / "system.reg");
  EXPECT_NE(text.find("\n[Software\\\\\\x30bd\\x30e9\\x30ca\\x30ae] "), std::string::npos);
  EXPECT_NE(
      text.find(
          "\n\"\\x540d\\x524d\\xe9\"=\"\\x00e91\\x30bda\\\"q\\\"\\\\back\\nline\\1z\\0027\\xd83d\\xde00\"\n"),
      std::string::npos)
      << text;
  EXPECT_EQ(key->ReadString("名前é"), tricky);

  // Raw UTF-8 in the file reads as well as escapes do.
  TempPrefix::WriteFile(prefix.Root() / "system.reg",
                        Header("win32") + "\n[Software\\\\ソラナギ] 1\n\"名前\"=\"ソ\\x30e9\"\n");
  EXPECT_EQ(RegistryKey::Open(Hive::LocalMachine, "Software\\ソラナギ", false)->ReadString("名前"), "ソラ");
  EXPECT_FALSE(key->WriteString("bad", "\xFF"));  // not UTF-8
}

TEST(Registry, ReplacesWrappedBinaryValuesWhole) {
  TempPrefix prefix;
  TempPrefix::WriteFile(prefix.Root() / "system.reg", SystemReg("win32", "Software"));
  Result<RegistryKey> key = RegistryKey::Open(Hive::LocalMachine, kProductKey, false);
  ASSERT_TRUE(key);
  std::vector<uint8_t> data(40);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(0xA0 + i);
  ASSERT_TRUE(key->WriteBinary("BLOB", data));
  std::string text = TempPrefix::ReadFile(prefix.Root() / "system.reg");
  EXPECT_EQ(text.find("19,1a"), std::string::npos);  // the old continuation line is gone
  const size_t at = text.find("\"BLOB\"=hex:a0,a1,");
  ASSERT_NE(at, std::string::npos);
  const size_t next = text.find("\"Exename\"", at);
  std::string value = text.substr(at, next - at);
  EXPECT_NE(value.find(",\\\n  "), std::string::npos);  // wrapped like Wine
  for (size_t pos = 0, lf; (lf = value.find('\n', pos)) != std::string::npos; pos = lf + 1) {
    EXPECT_LE(lf - pos, 80u);
  }
  EXPECT_EQ(key->ReadString("Exename"), "C:\\VELMORA\\SORANA\\OLD_BIN\\fotodesk.exe");
}

TEST(Registry, MissingOrForeignFilesGiveNoKey) {
  TempPrefix prefix;
  fs::remove(prefix.Root() / "system.reg");
  EXPECT_FALSE(RegistryKey::Open(Hive::LocalMachine, "Software\\X", true));
  TempPrefix::WriteFile(prefix.Root() / "system.reg", "not a registry\n[Software\\\\X] 1\n");
  EXPECT_FALSE(RegistryKey::Open(Hive::LocalMachine, "Software\\X", true));
  EXPECT_FALSE(RegistryKey::Open(Hive::CurrentUser, "", true));
}

TEST(Registry, NewValuesStandOnALineOfTheirOwn) {
  for (const char* tail : {"\"a\"=\"b\"\\\n", "\"a\"=\"b\"\\", "\"a\"=\"b\"\r"}) {
    TempPrefix prefix;
    TempPrefix::WriteFile(prefix.Root() / "system.reg", Header("win32") + "\n[Software\\\\X] 1\n" + tail);
    Result<RegistryKey> key = RegistryKey::Open(Hive::LocalMachine, "Software\\X", false);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->WriteString("Exename", "x"));
    EXPECT_EQ(key->ReadString("Exename"), "x") << tail;
  }
}

// Holds a write lock on `lockFile` from a child process (fcntl locks belong to
// processes, so the test process itself would not see its own lock).
class LockHolder {
 public:
  explicit LockHolder(const fs::path& lockFile) {
    int ready[2];
    if (pipe(ready) != 0 || pipe(release_) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      int fd = open(lockFile.c_str(), O_RDWR | O_CREAT, 0600);
      struct flock lock {};
      lock.l_type = F_WRLCK;
      lock.l_whence = SEEK_SET;
      char ok = (fd >= 0 && fcntl(fd, F_SETLK, &lock) == 0) ? 1 : 0;
      (void)!write(ready[1], &ok, 1);
      char ignored;
      (void)!read(release_[0], &ignored, 1);
      _exit(0);
    }
    char ok = 0;
    locked_ = read(ready[0], &ok, 1) == 1 && ok == 1;
    close(ready[0]);
    close(ready[1]);
  }
  ~LockHolder() { Release(); }
  bool Locked() const { return locked_; }
  void Release() {
    if (pid_ <= 0) return;
    char go = 1;
    (void)!write(release_[1], &go, 1);
    waitpid(pid_, nullptr, 0);
    close(release_[0]);
    close(release_[1]);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int release_[2] = {-1, -1};
  bool locked_ = false;
};

std::string ServerFolderName(const fs::path& prefixRoot) {
  struct stat st {};
  EXPECT_EQ(stat(prefixRoot.c_str(), &st), 0);
  char name[64];
  std::snprintf(name, sizeof name, "server-%llx-%llx", static_cast<unsigned long long>(st.st_dev),
                static_cast<unsigned long long>(st.st_ino));
  return name;
}

void ExpectWritesRefusedWhileLocked(TempPrefix& prefix, const fs::path& serverFolder) {
  fs::create_directories(serverFolder);
  Result<RegistryKey> key = RegistryKey::Open(Hive::CurrentUser, "Software\\X", true);
  ASSERT_TRUE(key);
  const std::string before = TempPrefix::ReadFile(prefix.Root() / "user.reg");
  {
    LockHolder server(serverFolder / "lock");
    ASSERT_TRUE(server.Locked());
    EXPECT_TRUE(WineServerRunning(ActiveSystem()));
    EXPECT_FALSE(key->WriteString("v", "1"));
    EXPECT_FALSE(key->WriteBinary("b", {1}));
    EXPECT_EQ(TempPrefix::ReadFile(prefix.Root() / "user.reg"), before);
  }
  // The lock file stays after the server ends; only the lock counts.
  ASSERT_TRUE(fs::exists(serverFolder / "lock"));
  EXPECT_FALSE(WineServerRunning(ActiveSystem()));
  EXPECT_TRUE(key->WriteString("v", "1"));
}

TEST(RegistryServerLock, RefusesWritesWhileTheUsersServerRuns) {
  TempPrefix prefix;
  fs::path base = fs::path("/tmp") / (".wine-" + std::to_string(getuid()));
  fs::path serverFolder = base / ServerFolderName(prefix.Root());
  ExpectWritesRefusedWhileLocked(prefix, serverFolder);
  std::error_code ec;
  fs::remove_all(serverFolder, ec);
}

// Debian's wine names the folder in the prefix and makes it under its TMPDIR,
// else under /tmp.
TEST(RegistryServerLock, FindsTheServerFolderNamedByThePrefix) {
  std::string tmpDir = "/tmp/sorana-tmpdir-XXXXXX";
  ASSERT_NE(mkdtemp(tmpDir.data()), nullptr);
  const char* saved = std::getenv("TMPDIR");
  const std::string savedTmpDir = saved ? saved : "";
  setenv("TMPDIR", tmpDir.c_str(), 1);
  for (const std::string& under : {std::string("/tmp"), tmpDir}) {
    SCOPED_TRACE(under);
    TempPrefix prefix;
    std::string base = under + "/wine-XXXXXX";
    ASSERT_NE(mkdtemp(base.data()), nullptr);
    TempPrefix::WriteFile(prefix.Root() / "wineserver", fs::path(base).filename().string() + "\n");
    ExpectWritesRefusedWhileLocked(prefix, fs::path(base) / ServerFolderName(prefix.Root()));
    std::error_code ec;
    fs::remove_all(base, ec);
  }
  if (saved)
    setenv("TMPDIR", savedTmpDir.c_str(), 1);
  else
    unsetenv("TMPDIR");
  std::error_code ec;
  fs::remove_all(tmpDir, ec);
}

TEST(Registry, RewritesALargeFileQuickly) {
  TempPrefix prefix("win64");
  std::string text = Header("win64");
  for (int i = 0; i < 10000; ++i) {
    text += "\n[Software\\\\Classes\\\\CLSID\\\\{" + std::to_string(100000 + i) + "}] 1700000000\n";
    text += "#time=1d9f0e1c2b3a4f5\n@=\"Component " + std::to_string(i) + "\"\n";
  }
  text += "\n[Software\\\\Wow6432Node" + std::string(kEscapedProduct) + "] 1700000001\n\"Exename\"=\"x\"\n";
  for (int i = 0; i < 2000; ++i) text += "\n[System\\\\Key" + std::to_string(i) + "] 1\n\"v\"=\"w\"\n";
  TempPrefix::WriteFile(prefix.Root() / "system.reg", text);

  const auto start = std::chrono::steady_clock::now();
  Result<RegistryKey> key = RegistryKey::Open(Hive::LocalMachine, kProductKey, false);
  ASSERT_TRUE(key);
  ASSERT_TRUE(key->WriteString("Exename", "C:\\FOTODESK.EXE"));
  EXPECT_EQ(key->ReadString("Exename"), "C:\\FOTODESK.EXE");
  const auto elapsed = std::chrono::steady_clock::now() - start;
  RecordProperty("milliseconds",
                 static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));
  std::string after = TempPrefix::ReadFile(prefix.Root() / "system.reg");
  EXPECT_EQ(after.size(), text.size() + std::string("C:\\\\FOTODESK.EXE").size() - 1);
}

}  // namespace
}  // namespace sorana::platform
