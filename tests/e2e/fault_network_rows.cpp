// Faults of the update server and of the proxy during the download: a failed
// fetch shows one communication-error box naming the file, a file that arrives
// short shows none; either way nothing of the phase is installed, the window is
// ready again and the next click updates.
#include <chrono>

#include "app/form_lifecycle.h"
#include "e2e/fault_matrix.h"
#include "e2e/installed_tree.h"
#include "install/unpress.h"
#include "update/download_driver.h"
#include "update/fetch_ahead.h"

namespace sorana::e2e {
namespace {

namespace fs = std::filesystem;
using form::BoxKind;
using form::Control;
using test::HttpFault;

// The communication-error box for the entry at `position` of the phase.
std::string FetchErrorPrefix(const FaultMatrix& m, size_t position) {
  return "通信エラーが発生しました[" + std::to_string(position + 1) + "]\r" + m.list.at(position) + "\r\r";
}

// Ready again, not left cancelled (the next click starts a fresh run), nothing
// installed, the user's files as before.
void ExpectStoppedAndReady(FaultMatrix& m) {
  EXPECT_TRUE(m.session->IsReady());
  EXPECT_FALSE(m.session->form.State().Cancelled);
  ExpectPhaseUntouched(m);
  ExpectUserFilesUnchanged(m);
}

void RefuseConnections(FaultMatrix& m) {
  m.scenario->UseServer("http://127.0.0.1:" + std::to_string(ClosedPort()));
  m.clear = [](FaultMatrix& m) { m.scenario->UseServer(m.scenario->Server().BaseUrl()); };
}

// Routes every request through a proxy on a closed port (no `answer`) or
// through a listener that answers every connection with `answer`.
FaultStep Proxy(const char* answer, bool waitForRequest = true) {
  return [answer, waitForRequest](FaultMatrix& m) {
    if (answer) m.listener = std::make_unique<CannedTcpServer>(answer, waitForRequest);
    m.proxyPort = m.listener ? m.listener->Port() : ClosedPort();
    WriteHostFile(m.scenario->Product("VMSORANA.INI"),
                  "PROXYIP=127.0.0.1\r\nPROXYPORT=" + std::to_string(m.proxyPort) +
                      "\r\nPATH=" + kInstallRoot + "\r\nVER=2.4.0\r\n");
    m.userFiles = m.scenario->SnapshotUserFiles();
  };
}

void ProxyWasUsed(FaultMatrix& m) {
  EXPECT_EQ(m.session->form.State().ProxyPortNo, m.proxyPort);
  EXPECT_TRUE(m.scenario->Server().Requests().empty());
  EXPECT_TRUE(!m.listener || m.listener->Connections() > 0);
}

// A click, then a click on the cancel button while the plug-in's body arrives.
void ClickThenCancelInBody(FaultMatrix& m) {
  m.session = std::make_unique<FormSession>();
  FormSession& session = *m.session;
  ASSERT_TRUE(session.Start());
  const form::FormState& state = session.form.State();
  bool cancelled = false;
  session.window.onProcessMessages = [&] {
    if (!cancelled && state.FileIndex == static_cast<int>(kPluginPosition + 1) && state.LastBytes > 0) {
      cancelled = true;
      EXPECT_TRUE(session.window.IsVisible(Control::CancelButton));
      session.form.CancelButtonClick();
    }
  };
  session.form.DownLoadButtonClick();
  session.window.onProcessMessages = nullptr;
  EXPECT_TRUE(cancelled);
}

// Several files at a time, unless SORANA_PARALLEL_FETCHES says one after another.
bool FetchesAhead() { return update::ParallelFetches() > 1; }

// A click; the plug-in, answered at once, must have been asked while an
// earlier file was still being reported (when files are fetched ahead), and
// its box must not show before its turn.
void ClickWithThePluginAhead(FaultMatrix& m) {
  m.session = std::make_unique<FormSession>();
  FormSession& session = *m.session;
  ASSERT_TRUE(session.Start());
  const form::FormState& state = session.form.State();
  const std::string plugin = "/" + m.list[kPluginPosition];
  bool askedEarly = false;
  session.window.onProcessMessages = [&] {
    if (askedEarly || state.FileIndex > static_cast<int>(kPluginPosition)) return;
    for (const test::HttpRequest& request : m.scenario->Server().Requests()) {
      askedEarly = askedEarly || request.path.ends_with(plugin);
    }
    if (askedEarly) {
      EXPECT_TRUE(session.Boxes(BoxKind::Error).empty());  // not before its turn
    }
  };
  session.form.DownLoadButtonClick();
  session.window.onProcessMessages = nullptr;
  EXPECT_EQ(askedEarly, FetchesAhead());
}

// A click, then the cancel button while the plug-in's body arrives and every
// transfer the setting allows is in flight; each of them ends at once.
void ClickThenCancelInFlight(FaultMatrix& m) {
  m.session = std::make_unique<FormSession>();
  FormSession& session = *m.session;
  ASSERT_TRUE(session.Start());
  const form::FormState& state = session.form.State();
  test::HttpTestServer& server = m.scenario->Server();
  bool cancelled = false;
  session.window.onProcessMessages = [&] {
    if (!cancelled && state.FileIndex == static_cast<int>(kPluginPosition + 1) && state.LastBytes > 0 &&
        server.Responding() >= update::ParallelFetches()) {
      cancelled = true;
      session.form.CancelButtonClick();
    }
  };
  session.form.DownLoadButtonClick();
  session.window.onProcessMessages = nullptr;
  EXPECT_TRUE(cancelled);
  EXPECT_TRUE(server.WaitForNoneResponding(std::chrono::seconds(1))) << server.Responding() << " still sent";
}

// The first click installed the phase: no box but the completion.
void InstalledAtOnce(FaultMatrix& m) {
  EXPECT_TRUE(m.session->Boxes(BoxKind::Error).empty());
  EXPECT_EQ(m.session->Boxes(BoxKind::Information), std::vector<std::string>{kCompletionBox});
  ExpectFilesInstalled(*m.scenario, ExpectedPhaseFiles(false, m.chosen));
}

// MainForm keeps the download driver's limits to itself, so this attempt
// wires the same core parts with a short idle limit (1 s) and stall limit
// (1 KB/s over 2 s), and expects the box the first one that ends the fetch shows.
FaultStep UpdateWithShortLimits(std::string messagePart) {
  return [messagePart](FaultMatrix& m) {
    LoadArchiveLibrary();
    test::FakeWindow window;
    form::FormState state;
    app::FormLifecycle lifecycle(state, window);
    update::DownloadDriver driver(state, window);
    driver.SetTransferTimeouts(std::chrono::milliseconds(1000), std::chrono::milliseconds(1000));
    driver.SetStallLimit(1024, std::chrono::milliseconds(2000));
    ASSERT_TRUE(lifecycle.FormCreate());
    lifecycle.FormActivate();
    auto start = std::chrono::steady_clock::now();
    driver.DownLoadButtonClick();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));

    ASSERT_EQ(window.boxes.size(), 2u);  // the start notice, then the error
    EXPECT_EQ(window.boxes[1].kind, BoxKind::Error);
    EXPECT_TRUE(window.boxes[1].text.starts_with(FetchErrorPrefix(m, kPluginPosition)))
        << window.boxes[1].text;
    EXPECT_NE(window.boxes[1].text.find(messagePart), std::string::npos) << window.boxes[1].text;
    EXPECT_TRUE(window.IsWindowEnabled() && window.IsVisible(Control::DownLoadButton));
  };
}

FaultStep NotKept(size_t position) {
  return [position](FaultMatrix& m) {
    EXPECT_FALSE(fs::exists(m.scenario->DownloadFolder(false) / m.list.at(position)));
  };
}

// Half of the file kept for the next click to continue.
void HalfKept(FaultMatrix& m) {
  const std::string& name = m.list.at(kPluginPosition);
  std::error_code error;
  EXPECT_EQ(fs::file_size(m.scenario->DownloadFolder(false) / name, error),
            m.scenario->Served(false, name).size() / 2);
}

// One box naming the file (with `messagePart` in it); the run stopped there;
// nothing of the file kept (or, with `kept`, half of it), nothing installed; ready.
FaultStep FetchBox(size_t position, std::string messagePart, bool kept = false) {
  return [position, messagePart, kept](FaultMatrix& m) {
    std::vector<std::string> errors = m.session->Boxes(BoxKind::Error);
    EXPECT_EQ(errors.size(), 1u);
    if (!errors.empty()) {
      EXPECT_TRUE(errors[0].starts_with(FetchErrorPrefix(m, position))) << errors[0];
      EXPECT_NE(errors[0].find(messagePart), std::string::npos) << errors[0];
    }
    kept ? HalfKept(m) : NotKept(position)(m);
    EXPECT_TRUE(m.session->Boxes(BoxKind::Information).empty());
    ExpectStoppedAndReady(m);
  };
}

// No error or completion box, the start prompt again, nothing installed, ready.
void QuietStop(FaultMatrix& m) {
  EXPECT_TRUE(m.session->Boxes(BoxKind::Error).empty());
  EXPECT_TRUE(m.session->Boxes(BoxKind::Information).empty());
  EXPECT_EQ(m.session->window.Caption(Control::MsgLabel), kStartPrompt);
  ExpectStoppedAndReady(m);
}

// Each row has its own server, and a start fetches nothing: nothing is
// fetched after the plug-in, or the loop goes on after a short file.
// Files on their way ahead of the plug-in when it failed are all that may follow it.
void NothingAfterThePlugin(FaultMatrix& m) {
  const size_t requests = m.scenario->Server().Requests().size();
  EXPECT_GE(requests, kPluginPosition + 1);
  EXPECT_LE(requests, kPluginPosition + 1 + update::FetchAhead::Reach(update::ParallelFetches()));
}
void EveryFileRequested(FaultMatrix& m) { EXPECT_EQ(m.scenario->Server().Requests().size(), m.list.size()); }

// The site gives validators; the plug-in's connection is reset halfway (while
// another file of the site is served under its name, when `changed`). The
// next click meets the plug-in as it is, with `next`.
FaultStep CutHalfway(HttpFault next, bool changed) {
  return [next, changed](FaultMatrix& m) {
    const std::string name = m.list[kPluginPosition];
    const std::string original = m.scenario->Served(false, name);
    m.scenario->Server().SetValidators(true);
    m.scenario->Server().SetFault(name, HttpFault::ResetMidBody);
    if (changed) m.scenario->Serve(false, name, m.scenario->Served(false, m.list[kPluginPosition + 1]));
    m.clear = [next, changed, name, original](FaultMatrix& m) {
      if (changed) m.scenario->Serve(false, name, original);
      m.scenario->Server().SetFault(name, next);
    };
  };
}

// The next click asked only whether each whole file changed, and for the rest
// of the cut one: the latest request for each file is the next click's.
void OnlyTheRestAsked(FaultMatrix& m) {
  const std::vector<test::HttpRequest> requests = m.scenario->Server().Requests();
  auto latest = [&](const std::string& name) {
    for (auto request = requests.rbegin(); request != requests.rend(); ++request) {
      if (request->path.ends_with("/" + name)) return *request;
    }
    ADD_FAILURE() << name << " was never asked";
    return test::HttpRequest{};
  };
  for (size_t i = 0; i < kPluginPosition; ++i)
    EXPECT_EQ(latest(m.list[i]).headers.count("if-none-match"), 1u);
  const size_t half = m.scenario->Served(false, m.list[kPluginPosition]).size() / 2;
  EXPECT_EQ(latest(m.list[kPluginPosition]).headers["range"], "bytes=" + std::to_string(half) + "-");
}

// clang-format off
FaultRow ResumeRow(const char* name, const char* fault, HttpFault next, bool changed) {
  return {.name = name, .fault = fault,
          .outcome = "box [51], half kept; next click continues it and installs byte for byte",
          .inject = CutHalfway(next, changed),
          .seen = {FetchBox(kPluginPosition, "", true), NothingAfterThePlugin, NextAttemptInstalls(false)}};
}

FaultRow ServerRow(const char* name, const char* fault, HttpFault injected, const char* messagePart) {
  return {.name = name, .fault = fault,
          .outcome = "box [51] with the file, nothing installed, ready; next click installs",
          .inject = ServerFault(injected),
          .seen = {FetchBox(kPluginPosition, messagePart), NothingAfterThePlugin,
                   NextAttemptInstalls(false)}};
}

FaultRow ProxyRow(const char* name, const char* fault, FaultStep inject, const char* messagePart) {
  return {.name = name, .fault = fault, .outcome = "box [1] with the file, nothing installed, ready",
          .inject = std::move(inject), .seen = {FetchBox(0, messagePart), ProxyWasUsed}};
}

}  // namespace

std::vector<FaultRow> NetworkRows() {
  const char* quietOutcome = "no box, phase not installed, ready; next click installs";
  return {
    ServerRow("NotFound", "server: 404", HttpFault::NotFound, "404 Not Found"),
    ServerRow("ServerError", "server: 500", HttpFault::ServerError, "500 Internal Server Error"),
    ServerRow("Moved", "server: 301 (not followed)", HttpFault::Moved, "301 Moved Permanently"),
    ServerRow("Found", "server: 302 (not followed)", HttpFault::Found, "302 Found"),
    ServerRow("ResetMidBody", "server without validators: reset in the middle of a body", HttpFault::ResetMidBody, ""),
    ServerRow("BadLength", "server: bad Content-Length", HttpFault::BadLength,
              "'12abc' は整数ではありません"),
    {.name = "ShortBody", .fault = "server: short body", .outcome = quietOutcome,
     .inject = ServerFault(HttpFault::ShortBody),
     .seen = {QuietStop, EveryFileRequested, NextAttemptInstalls(false)}},
    {.name = "NoLength", .fault = "server: no Content-Length", .outcome = quietOutcome,
     .inject = ServerFault(HttpFault::NoLength),
     .seen = {QuietStop, EveryFileRequested, NextAttemptInstalls(false)}},
    {.name = "RefusedConnection", .fault = "server: connection refused",
     .outcome = "box [1] with the file, nothing installed, ready; next click installs",
     .inject = RefuseConnections, .seen = {FetchBox(0, "127.0.0.1"), NextAttemptInstalls(false)}},
    {.name = "CancelDuringTrickle", .fault = "server: slow trickle, cancel in the middle",
     .outcome = "no box, nothing installed, ready; next click installs",
     .inject = ServerFault(HttpFault::Trickle, 64), .attempt = ClickThenCancelInBody,
     .seen = {[](FaultMatrix& m) {  // only the notice of the cancel
                const std::vector<test::ShownBox>& boxes = m.session->window.boxes;
                EXPECT_TRUE(boxes.size() == 1 && boxes[0].kind == BoxKind::Notice); },
              QuietStop, NothingAfterThePlugin, NotKept(kPluginPosition),
              NextAttemptInstalls(false)}},
    {.name = "StallBeyondLimit", .fault = "server: stall beyond the time limit",
     .outcome = "time-out box with the file, nothing installed, ready",
     .inject = ServerFault(HttpFault::Stall),
     .attempt = UpdateWithShortLimits("No data received from the server for 1 seconds"),
     .seen = {ExpectPhaseUntouched, ExpectUserFilesUnchanged}},
    {.name = "TrickleBelowRate", .fault = "server: a trickle, never silent, below 1 KB/s",
     .outcome = "too-slow box with the file, nothing installed, ready",
     .inject = ServerFault(HttpFault::Trickle, 8),
     .attempt = UpdateWithShortLimits("less than 1024 bytes a second for 2 seconds"),
     .seen = {ExpectPhaseUntouched, ExpectUserFilesUnchanged}},
    [] {
      FaultRow row = ResumeRow("CutThenContinued", "server with validators: reset halfway", HttpFault::None, false);
      row.seen.push_back(OnlyTheRestAsked);
      return row;
    }(),
    ResumeRow("CutFileChanged", "... and the file changed before the next click", HttpFault::None, true),
    ResumeRow("CutRangesIgnored", "... and the next click's range ignored (200)", HttpFault::IgnoreRanges, false),
    ResumeRow("CutWrongRange", "... and the next click's range answered from byte 0", HttpFault::WrongRange, false),
    {.name = "OneConnectionOnly", .fault = "server: one connection at a time, any further one reset",
     .outcome = "no box; goes on with fewer connections, down to one, and installs",
     .inject = [](FaultMatrix& m) { m.scenario->Server().SetConnectionLimit(1); },
     .seen = {InstalledAtOnce, [](FaultMatrix& m) {
                EXPECT_EQ(m.scenario->Server().RefusedConnections() > 0, FetchesAhead());
                EXPECT_EQ(m.scenario->Server().ConnectionCount(), 1); }}},
    {.name = "AheadFailsAtItsTurn", .fault = "server: 404 for a file fetched ahead while the one before it trickles",
     .outcome = "box [51] only at its turn, after file 50 arrived; next click installs",
     .inject = [](FaultMatrix& m) {
                ServerFault(HttpFault::NotFound)(m);
                const std::string before = m.list[kPluginPosition - 1];
                m.scenario->Server().SetFault(before, HttpFault::Trickle);
                m.scenario->Server().SetTrickle(std::max<size_t>(m.scenario->Served(false, before).size() / 20, 1),
                                                std::chrono::milliseconds(20));
                m.clear = [before](FaultMatrix& m) {
                  m.scenario->Server().SetFault(before, HttpFault::None);
                  m.scenario->Server().SetFault(m.list[kPluginPosition], HttpFault::None);
                }; },
     .attempt = ClickWithThePluginAhead,
     .seen = {FetchBox(kPluginPosition, "404 Not Found"), NothingAfterThePlugin, NextAttemptInstalls(false)}},
    {.name = "CancelWithAllInFlight", .fault = "server: the plug-in and the files after it trickle, cancel with 4 in flight",
     .outcome = "no box, every transfer ends at once, nothing installed, ready; next click installs",
     .inject = [](FaultMatrix& m) {
                for (size_t i = 0; i < 4; ++i) m.scenario->Server().SetFault(m.list[kPluginPosition + i], HttpFault::Trickle);
                m.scenario->Server().SetTrickle(8, std::chrono::milliseconds(20));
                m.clear = [](FaultMatrix& m) {
                  for (size_t i = 0; i < 4; ++i) m.scenario->Server().SetFault(m.list[kPluginPosition + i], HttpFault::None);
                }; },
     .attempt = ClickThenCancelInFlight,
     .seen = {QuietStop, NextAttemptInstalls(false)}},
    ProxyRow("ProxyRefused", "proxy: refused", Proxy(nullptr), "127.0.0.1"),
    ProxyRow("ProxyNotAProxy", "proxy: wrong port (not a proxy)",
             Proxy("SSH-2.0-OpenSSH_9.2\r\n", false), ""),
    [] {  // the login box once; cancelled, the proxy's answer is the box
      FaultRow row = ProxyRow("ProxyDemandsLogin", "proxy: answers 407, login box cancelled",
                              Proxy("HTTP/1.1 407 Proxy Authentication Required\r\n"
                                    "Proxy-Authenticate: Basic realm=\"office\"\r\n"
                                    "Content-Length: 0\r\nConnection: close\r\n\r\n"), "407");
      row.seen.push_back([](FaultMatrix& m) { EXPECT_EQ(m.session->window.loginPrompts.size(), 1u); });
      return row;
    }(),
  };
}
// clang-format on

}  // namespace sorana::e2e
