// Faults of the update server and of the proxy during the download: a failed
// fetch shows one communication-error box naming the file, a file that arrives
// short shows none; either way nothing of the phase is installed, the window is
// ready again and the next click updates.
#include <chrono>

#include "app/form_lifecycle.h"
#include "download/download_driver.h"
#include "e2e/canned_tcp_server.h"
#include "e2e/fault_matrix.h"
#include "e2e/installed_tree.h"
#include "install/unpress.h"

namespace sorana::e2e {
namespace {

using app::BoxKind;
using app::Control;
using test::HttpFault;

class FaultMatrixNetwork : public FaultMatrixTest {
 protected:
  void SetUp() override {
    Prepare();
    list_ = catalogue::BuildFileList(false, Chosen());
  }

  // The communication-error box for the entry at `position` of the phase.
  std::string FetchErrorPrefix(size_t position) const {
    return "通信エラーが発生しました[" + std::to_string(position + 1) + "]\r" + list_.at(position) + "\r\r";
  }

  // Uses the settings file to route every request through a proxy.
  void UseProxy(int port) {
    WriteHostFile(scenario_->Product("VMSORANA.INI"),
                  "PROXYIP=127.0.0.1\r\nPROXYPORT=" + std::to_string(port) + "\r\nPATH=" + kInstallRoot +
                      "\r\nVER=2.4.0\r\n");
    userFiles_ = scenario_->SnapshotUserFiles();
  }

  // One box naming the file; the run stopped there; nothing of the file kept,
  // nothing installed; ready.
  void ExpectFetchFailure(FormSession& session, size_t position, const std::string& messagePart) {
    std::vector<std::string> errors = session.Boxes(BoxKind::Error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].starts_with(FetchErrorPrefix(position))) << errors[0];
    EXPECT_NE(errors[0].find(messagePart), std::string::npos) << errors[0];
    EXPECT_FALSE(std::filesystem::exists(scenario_->DownloadFolder(false) / list_.at(position)));
    EXPECT_TRUE(session.Boxes(BoxKind::Information).empty());
    ExpectStoppedAndReady(session);
  }

  void ExpectStoppedAndReady(FormSession& session) {
    EXPECT_TRUE(session.IsReady());
    EXPECT_FALSE(session.form.State().Cancelled);  // the next click starts a fresh run
    ExpectPhaseUntouched();
    ExpectUserFilesUnchanged();
  }

  // After the fault is gone the same window updates completely.
  void ExpectNextClickUpdates(FormSession& session) {
    session.window.onProcessMessages = nullptr;
    session.form.DownLoadButtonClick();
    EXPECT_EQ(session.Boxes(BoxKind::Information), std::vector<std::string>{kCompletionBox});
    ExpectFilesInstalled(*scenario_, ExpectedPhaseFiles(false, Chosen()));
  }

  size_t RequestCount() { return scenario_->Server().Requests().size(); }

  std::vector<std::string> list_;
};

constexpr size_t kPluginPosition = 50;  // a plug-in among the chosen standards' rows

struct ServerFault {
  HttpFault fault;
  const char* row;
  const char* messagePart;
};

TEST_F(FaultMatrixNetwork, ServerFaultsStopTheRunAtTheFile) {
  const ServerFault faults[] = {
      {HttpFault::NotFound, "server: 404", "404 Not Found"},
      {HttpFault::ServerError, "server: 500", "500 Internal Server Error"},
      {HttpFault::Moved, "server: 301 (not followed)", "301 Moved Permanently"},
      {HttpFault::Found, "server: 302 (not followed)", "302 Found"},
      {HttpFault::ResetMidBody, "server: reset in the middle of a body", ""},
      {HttpFault::BadLength, "server: bad Content-Length", "'12abc' は整数ではありません"},
  };
  std::string outcomes;
  for (const ServerFault& fault : faults) {
    SCOPED_TRACE(fault.row);
    FormSession session;
    ASSERT_TRUE(session.Start());
    scenario_->Server().SetFault(list_[kPluginPosition], fault.fault);
    size_t before = RequestCount();
    session.form.DownLoadButtonClick();
    ExpectFetchFailure(session, kPluginPosition, fault.messagePart);
    EXPECT_EQ(RequestCount() - before, kPluginPosition + 1);  // nothing fetched after it
    scenario_->Server().SetFault(list_[kPluginPosition], HttpFault::None);
    AddMatrixRow(fault.row, "box [51] with the file, nothing installed, ready", !HasFailure());
  }
  FormSession last;
  ASSERT_TRUE(last.Start());
  ExpectNextClickUpdates(last);
  Row("server: recovery after the faults above", "next click installs the phase");
}

TEST_F(FaultMatrixNetwork, ShortFilesInstallNothingAndShowNoBox) {
  for (HttpFault fault : {HttpFault::ShortBody, HttpFault::NoLength}) {
    FormSession session;
    ASSERT_TRUE(session.Start());
    scenario_->Server().SetFault(list_[kPluginPosition], fault);
    size_t before = RequestCount();
    session.form.DownLoadButtonClick();
    EXPECT_TRUE(session.Boxes(BoxKind::Error).empty());
    EXPECT_TRUE(session.Boxes(BoxKind::Information).empty());
    EXPECT_EQ(RequestCount() - before, list_.size());  // the loop goes on after a short file
    EXPECT_EQ(session.window.Caption(Control::MsgLabel), kStartPrompt);
    ExpectStoppedAndReady(session);
    scenario_->Server().SetFault(list_[kPluginPosition], HttpFault::None);
    if (fault == HttpFault::NoLength) ExpectNextClickUpdates(session);
  }
  Row("server: short body; no Content-Length", "no box, phase not installed, ready; next click installs");
}

TEST_F(FaultMatrixNetwork, RefusedConnectionShowsTheFirstFile) {
  scenario_->UseServer("http://127.0.0.1:" + std::to_string(ClosedPort()));
  FormSession session;
  ASSERT_TRUE(session.Start());
  session.form.DownLoadButtonClick();
  ExpectFetchFailure(session, 0, "127.0.0.1");
  Row("server: connection refused", "box [1] with the file, nothing installed, ready");
}

TEST_F(FaultMatrixNetwork, CancelDuringASlowTrickleInstallsNothing) {
  scenario_->Server().SetFault(list_[kPluginPosition], HttpFault::Trickle);
  scenario_->Server().SetTrickle(64, std::chrono::milliseconds(20));
  FormSession session;
  ASSERT_TRUE(session.Start());
  app::FormState& state = session.form.State();
  bool cancelled = false;
  session.window.onProcessMessages = [&] {
    if (!cancelled && state.FileIndex == static_cast<int>(kPluginPosition + 1) && state.LastBytes > 0) {
      cancelled = true;
      EXPECT_TRUE(session.window.IsVisible(Control::CancelButton));
      session.form.CancelButtonClick();
    }
  };
  session.form.DownLoadButtonClick();
  EXPECT_TRUE(cancelled);
  EXPECT_TRUE(session.window.boxes.size() == 1 && session.window.boxes[0].kind == BoxKind::Notice);
  EXPECT_EQ(session.window.Caption(Control::MsgLabel), kStartPrompt);
  EXPECT_EQ(RequestCount(), kPluginPosition + 1);
  EXPECT_FALSE(std::filesystem::exists(scenario_->DownloadFolder(false) / list_[kPluginPosition]));
  ExpectStoppedAndReady(session);
  scenario_->Server().SetFault(list_[kPluginPosition], HttpFault::None);
  ExpectNextClickUpdates(session);
  Row("server: slow trickle, cancel in the middle", "no box, nothing installed, ready; next click installs");
}

// MainForm keeps the download driver's limits to itself, so this case wires
// the same core parts with a short idle limit.
TEST_F(FaultMatrixNetwork, StallBeyondTheLimitShowsTheTimeOut) {
  scenario_->Server().SetFault(list_[kPluginPosition], HttpFault::Stall);
  test::FakeWindow window;
  app::FormState state;
  app::FormLifecycle lifecycle(state, window);
  install::Installer installer(state, window);
  download::DownloadDriver driver(state, window, [&] { return installer.Unpress(); });
  driver.SetTransferTimeouts(std::chrono::milliseconds(1000), std::chrono::milliseconds(1000));
  ASSERT_TRUE(lifecycle.FormCreate());
  lifecycle.FormActivate();
  auto start = std::chrono::steady_clock::now();
  driver.DownLoadButtonClick();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));

  ASSERT_EQ(window.boxes.size(), 2u);  // the start notice, then the error
  EXPECT_EQ(window.boxes[1].kind, BoxKind::Error);
  EXPECT_TRUE(window.boxes[1].text.starts_with(FetchErrorPrefix(kPluginPosition))) << window.boxes[1].text;
  EXPECT_NE(window.boxes[1].text.find("No data received from the server for 1 seconds"), std::string::npos);
  EXPECT_TRUE(window.IsWindowEnabled() && window.IsVisible(Control::DownLoadButton));
  ExpectPhaseUntouched();
  ExpectUserFilesUnchanged();
  Row("server: stall beyond the time limit", "time-out box with the file, nothing installed, ready");
}

TEST_F(FaultMatrixNetwork, ProxyFaultsStopAtTheFirstFile) {
  CannedTcpServer demandsLogin(
      "HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic realm=\"office\"\r\n"
      "Content-Length: 0\r\nConnection: close\r\n\r\n");
  CannedTcpServer notAProxy("SSH-2.0-OpenSSH_9.2\r\n", false);
  struct ProxyFault {
    int port;
    const char* row;
    const char* messagePart;
  };
  const ProxyFault faults[] = {
      {ClosedPort(), "proxy: refused", "127.0.0.1"},
      {notAProxy.Port(), "proxy: wrong port (not a proxy)", ""},
      {demandsLogin.Port(), "proxy: answers 407", "407"},
  };
  for (const ProxyFault& fault : faults) {
    SCOPED_TRACE(fault.row);
    UseProxy(fault.port);
    FormSession session;
    ASSERT_TRUE(session.Start());
    EXPECT_EQ(session.form.State().ProxyPortNo, fault.port);
    session.form.DownLoadButtonClick();
    ExpectFetchFailure(session, 0, fault.messagePart);
    AddMatrixRow(fault.row, "box [1] with the file, nothing installed, ready", !HasFailure());
  }
  EXPECT_TRUE(scenario_->Server().Requests().empty());
  EXPECT_GT(demandsLogin.Connections(), 0);
  EXPECT_GT(notAProxy.Connections(), 0);
}

}  // namespace
}  // namespace sorana::e2e
