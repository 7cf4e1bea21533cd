// The settings file: lenient numbers, reading, writing and the proxy dialogs.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <set>

#include "app/lenient_number.h"
#include "app/proxy_menu.h"
#include "app/settings_file.h"
#include "app_prefix.h"
#include "form/app_error.h"

namespace sorana::app {
namespace {

TEST(LenientNumberTest, KeepsSignPointAndDigitsOnly) {
  EXPECT_EQ(LenientNumber("8080"), 8080);
  EXPECT_EQ(LenientNumber("8,080"), 8080);
  EXPECT_EQ(LenientNumber("80 "), 80);
  EXPECT_EQ(LenientNumber("+80"), 80);
  EXPECT_EQ(LenientNumber("port 3128!"), 3128);
  EXPECT_DOUBLE_EQ(LenientNumber("1.9"), 1.9);
  EXPECT_EQ(LenientNumber("80-"), -80);
}

TEST(LenientNumberTest, GivesZeroWithoutAValidNumber) {
  for (const char* text : {"", "abc", "1.2.3", "-", ".", "8-0", "--8", "-80-"}) {
    EXPECT_EQ(LenientNumber(text), 0) << text;
  }
}

TEST(PortFromNumberTest, TruncatesTowardZeroWithinRange) {
  EXPECT_EQ(PortFromNumber(1.9), 1);
  EXPECT_EQ(PortFromNumber(-0.5), 0);
  EXPECT_EQ(PortFromNumber(65535.9), 65535);
  EXPECT_FALSE(PortFromNumber(65536));
  EXPECT_FALSE(PortFromNumber(-1));
  EXPECT_FALSE(PortFromNumber(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_FALSE(PortFromNumber(LenientNumber(std::string(400, '9'))));  // beyond a double
}

TEST(ParseInitFileTest, FirstLineOfAKeyWinsInAnyLetterCase) {
  InitFileValues v = ParseInitFile("proxyip=10.0.0.1\r\nPROXYIP=10.0.0.2\r\nPath=C:\\X\\\r\n");
  EXPECT_EQ(v.ProxyIP, "10.0.0.1");
  EXPECT_EQ(v.Path, "C:\\X\\");
  EXPECT_EQ(v.ProxyPort, "");
  EXPECT_EQ(v.Ver, "");
}

TEST(ParseInitFileTest, TakesEverythingAfterTheFirstEqualsSignUntrimmed) {
  InitFileValues v = ParseInitFile("PROXYIP = x\r\nnoise\r\nVER=a=b \nPROXYPORT=80\rPATH=\r\n");
  EXPECT_EQ(v.ProxyIP, "");  // "PROXYIP " is another key
  EXPECT_EQ(v.Ver, "a=b ");
  EXPECT_EQ(v.ProxyPort, "80");
  EXPECT_EQ(v.Path, "");
}

class SettingsFileTest : public ::testing::Test {
 protected:
  SettingsFileTest() {
    state.InitFileName = "C:\\windows\\VMSORANA.INI";
    state.ProxyIP = "proxy";
    state.ProxyPortNo = 8080;
    state.WorkFolder = "C:\\ソラナギ\\OLD_BIN\\";
    state.InitVer = "0.0.0";
  }

  std::optional<std::string> FileText() const { return env.ReadC(state.InitFileName); }

  test::AppPrefix env;
  test::FakeWindow window;
  form::FormState state;
};

TEST_F(SettingsFileTest, WritesFourLinesInCp932WithCrLf) {
  // The Windows folder of a real system holds much else: what the write adds is compared.
  auto entries = [this] {
    std::set<std::filesystem::path> names;
    std::filesystem::create_directories(env.prefix.HostC("C:\\windows"));
    for (const auto& entry : std::filesystem::directory_iterator(env.prefix.HostC("C:\\windows"))) {
      names.insert(entry.path().filename());
    }
    return names;
  };
  std::set<std::filesystem::path> before = entries();
  before.insert("VMSORANA.INI");
  WriteInitFile(state);
  EXPECT_EQ(FileText(), "PROXYIP=proxy\r\nPROXYPORT=8080\r\nPATH=C:\\ソラナギ\\OLD_BIN\\\r\nVER=0.0.0\r\n");
  std::string raw = test::TempPrefix::ReadFile(env.prefix.HostC(state.InitFileName));
  EXPECT_NE(raw.find("\x83\x5c\x83\x89\x83\x69\x83\x4d"), std::string::npos);  // ソラナギ in CP932
  // Written under another name and renamed: nothing else is left in the folder.
  EXPECT_EQ(entries(), before);
}

TEST_F(SettingsFileTest, UnwritableFileRaisesTheCreationError) {
  state.InitFileName = "C:\\missing\\VMSORANA.INI";
  try {
    WriteInitFile(state);
    FAIL() << "no error";
  } catch (const form::AppError& error) {
    EXPECT_EQ(std::string(error.what()).rfind("ファイル \"C:\\missing\\VMSORANA.INI\" を作成できません。", 0),
              0u)
        << error.what();
  }
  state.InitFileName = "C:\\windows\\VMSORANA.INI";
  for (const char* host : {"😀", "a\nPATH=C:\\E\\"}) {  // no CP932 form; a line of its own
    state.ProxyIP = host;
    EXPECT_THROW(WriteInitFile(state), form::AppError) << host;
    EXPECT_FALSE(FileText()) << host;
  }
}

TEST_F(SettingsFileTest, ProxyDialogsRewriteTheFileAlsoOnCancel) {
  window.inputAnswers = {{false, ""}};
  ProxyIPMenuClick(state, window);
  EXPECT_EQ(state.ProxyIP, "proxy");
  EXPECT_EQ(FileText(), InitFileText(state));

  std::filesystem::remove(env.prefix.HostC(state.InitFileName));
  window.inputAnswers = {{false, ""}};
  ProxyPortMenuClick(state, window);
  EXPECT_EQ(state.ProxyPortNo, 8080);
  EXPECT_EQ(FileText(), InitFileText(state));
  EXPECT_EQ(window.inputCaptions, (std::vector<std::string>{"プロキシ設定", "プロキシ設定"}));
}

TEST_F(SettingsFileTest, ProxyDialogsTakeNewValues) {
  window.inputAnswers = {{true, ""}, {true, "3128"}};
  ProxyIPMenuClick(state, window);
  ProxyPortMenuClick(state, window);
  EXPECT_EQ(state.ProxyIP, "");
  EXPECT_EQ(state.ProxyPortNo, 3128);
  EXPECT_EQ(FileText(), "PROXYIP=\r\nPROXYPORT=3128\r\nPATH=C:\\ソラナギ\\OLD_BIN\\\r\nVER=0.0.0\r\n");
}

TEST_F(SettingsFileTest, BadPortOrHostChangesNothing) {
  struct Case {
    void (*menu)(form::FormState&, form::UpdateWindow&);
    const char* typed;
    const char* error;
  };
  constexpr const char* kLineBreak = "プロキシIPに改行を含めることはできません。";
  for (Case c :
       {Case{ProxyPortMenuClick, "65536", "範囲チェックエラー"},
        Case{ProxyPortMenuClick, "-1", "範囲チェックエラー"},
        Case{ProxyPortMenuClick, "80a", "'80a' は整数ではありません"},
        Case{ProxyPortMenuClick, "", "'' は整数ではありません"},
        Case{ProxyPortMenuClick, "99999999999", "'99999999999' は整数ではありません"},
        // A pasted second line would become a setting of its own.
        Case{ProxyIPMenuClick, "host\nPATH=C:\\elsewhere\\", kLineBreak},
        Case{ProxyIPMenuClick, "host\r", kLineBreak}, Case{ProxyIPMenuClick, "\r\nhost", kLineBreak}}) {
    window.inputAnswers = {{true, c.typed}};
    try {
      c.menu(state, window);
      ADD_FAILURE() << c.typed << " accepted";
    } catch (const form::AppError& error) {
      EXPECT_STREQ(error.what(), c.error);
    }
    EXPECT_EQ(state.ProxyPortNo, 8080);
    EXPECT_EQ(state.ProxyIP, "proxy");
    EXPECT_FALSE(FileText()) << c.typed;
  }
}

}  // namespace
}  // namespace sorana::app
