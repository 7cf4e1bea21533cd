// The download driver on a temporary prefix against the test server, with a
// recording window and a stand-in installation: the fixture of the driver's tests.
#pragma once

#include "update/download_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>

#include "catalogue/catalogue.h"
#include "download/scoped_env.h"
#include "platform/folders.h"
#include "platform/windows_system.h"
#include "support/fake_window.h"
#include "support/http_test_server.h"
#include "support/pe_writer.h"
#include "support/temp_prefix.h"
#include "update/fetch_ahead.h"
#include "update/layout_conversion.h"

namespace sorana::update {

using catalogue::BuildFileList;
using catalogue::kNewProgramCount;
using catalogue::kOldProgramCount;
using catalogue::PhasePath;
using catalogue::StandardChoice;
using update::ViewerRegistrationCommand;
namespace driver_test {

namespace fs = std::filesystem;
using form::BoxKind;
using form::Control;
using std::chrono::milliseconds;
using test::HttpFault;

constexpr const char* kRoot = "C:\\SORANA\\";
#ifdef _WIN32
// The user's temporary folder, as the system names it.
inline const std::string kTemp = platform::GetTempFolder();
#else
// The prefix's temporary folder, as wineboot names it in user.reg.
inline const std::string kTemp = "C:\\users\\tester\\Temp\\";
#endif

// What the installation saw when it was called.
struct UnpressCall {
  std::vector<std::string> fileList;
  std::string downloadFolder;
  std::string workFolder;
  bool oldPhase = false;
  bool windowEnabled = false;
  bool cancelVisible = false;
  bool allFilesWhole = false;
};

inline std::string ContentOf(std::string_view name) {
  std::string body;
  while (body.size() < 700) body += std::string(name) + ";";
  return body;
}

class DownloadDriverTest : public ::testing::Test {
 protected:
  DownloadDriverTest()
      : server_(prefix_.Scratch() / "site"),
        serverEnv_("SORANA_UPDATE_SERVER", server_.BaseUrl()),
        driver_(state_, window_, [this](install::InstallJournal&) { return Unpress(); }) {
#ifdef _WIN32
    // The user's temporary folder outlives each test: its download folders do not.
    RemoveDownloadFolders();
#else
    tmp_.emplace("TMPDIR", (prefix_.Scratch() / "tmp").string());
    path_.emplace("PATH", (prefix_.Scratch() / "bin").string() + ":" + std::getenv("PATH"));
    fs::create_directories(prefix_.Scratch() / "tmp");
    std::ofstream(prefix_.Root() / "user.reg", std::ios::app)
        << "[Environment] 1\n\"TEMP\"=\"C:\\\\users\\\\tester\\\\Temp\"\n";
    fs::create_directories(prefix_.HostC(kTemp));
#endif
    for (bool oldPhase : {true, false}) {
      StandardChoice all;
      all.fill(true);
      fs::path folder = server_.Root() / fs::path(std::string(PhasePath(oldPhase))).relative_path();
      for (const std::string& name : BuildFileList(oldPhase, all)) {
        test::TempPrefix::WriteFile(folder / name, ContentOf(name));
      }
    }
#ifndef _WIN32
    // A stand-in wine that records its arguments, one per line, and then hangs
    // as a registration that crashed into Wine's debugger did.
    wineLog_ = prefix_.Scratch() / "wine.log";
    test::TempPrefix::WriteFile(
        prefix_.Scratch() / "bin" / "wine",
        "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" + wineLog_.string() + "'\nexec /bin/sleep 600\n");
    fs::permissions(prefix_.Scratch() / "bin" / "wine", fs::perms::owner_all);
#endif

    state_.InstallRoot = kRoot;
    state_.WorkFolder = kRoot;
    window_.onClose = [this] {
      state_.Closed = true;
      driver_.StopForClose();
    };
    driver_.SetTransferTimeouts(milliseconds(1000), milliseconds(1000));
  }
#ifdef _WIN32
  ~DownloadDriverTest() override { RemoveDownloadFolders(); }

  void RemoveDownloadFolders() const {
    std::error_code ec;
    for (const char* name : {"SorOldUp", "SorNewUp"}) fs::remove_all(prefix_.HostC(kTemp + name), ec);
  }
#endif

  // An installation already in the two-folder layout, with a main program of
  // that version (none: no fotodesk.exe).
  void Install(std::optional<test::VersionParts> version) {
    fs::create_directories(prefix_.HostC("C:\\SORANA\\OLD_BIN"));
    if (version) {
      auto [a, b, c, d] = *version;
      test::TempPrefix::WriteFile(prefix_.HostC("C:\\SORANA\\OLD_BIN\\fotodesk.exe"),
                                  test::MakeProgramFile(a, b, c, d));
    }
  }

  bool Unpress() {
    UnpressCall call{state_.FileList,
                     state_.DownloadFolder,
                     state_.WorkFolder,
                     state_.OldPhase,
                     window_.IsWindowEnabled(),
                     window_.IsVisible(Control::CancelButton),
                     true};
    for (const std::string& name : state_.FileList) {
      auto host = platform::ToHost(state_.DownloadFolder + name);
      call.allFilesWhole = call.allFilesWhole && host && fs::exists(*host) &&
                           test::TempPrefix::ReadFile(*host) == ContentOf(name);
    }
    calls_.push_back(call);
    bool ok = unpressResults_.empty() || unpressResults_.front();
    if (!unpressResults_.empty()) unpressResults_.pop_front();
    // As the installation does: close after a failure or the last phase.
    if (!ok || !state_.OldPhase) window_.Close();
    return ok;
  }

  std::vector<std::string> PathsRequested() const {
    std::vector<std::string> paths;
    for (const auto& request : server_.Requests()) paths.push_back(request.path);
    return paths;
  }

  // The run stopped at the file at `count`: nothing after it was asked beyond
  // what was already on its way ahead of it.
  static void ExpectRequestsUpTo(const std::vector<std::string>& paths, size_t count) {
    EXPECT_GE(paths.size(), count);
    EXPECT_LE(paths.size(), count + FetchAhead::Reach(ParallelFetches()));
  }

  void ExpectIdle() const {
    EXPECT_TRUE(window_.IsVisible(Control::DownLoadButton));
    EXPECT_FALSE(window_.IsVisible(Control::CancelButton));
    EXPECT_TRUE(window_.IsEnabled(Control::CheckListBox1));
    EXPECT_TRUE(window_.IsWindowEnabled());
  }

  test::TempPrefix prefix_;
  std::optional<test::ScopedEnv> tmp_;   // Linux: the prefix's own temporary folder
  std::optional<test::ScopedEnv> path_;  // Linux: the stand-in wine first
  test::HttpTestServer server_;
  test::ScopedEnv serverEnv_;
  form::FormState state_;
  test::FakeWindow window_;
  DownloadDriver driver_;
  std::vector<UnpressCall> calls_;
  std::deque<bool> unpressResults_;
  fs::path wineLog_;
};

}  // namespace driver_test
}  // namespace sorana::update
