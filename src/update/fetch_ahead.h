// Fetch ahead, report in order. While the driver fetches and reports one file
// of a phase on its own component, the next files of the phase are already on
// their way on further components (each with its own kept-alive connection to
// the same server, through the same proxy, with the same login) into the
// download folder. What they bring is held back: when a file's turn comes the
// driver takes it from here, and it is reported through the same transfer
// events, with the same texts, as if it were fetched then (what already
// arrived at once, the rest as it comes); its failure, too, is raised only then.
//
// On a long path this turns a round trip per file into one per phase. A
// server or proxy that refuses or resets the extra connections costs one lane
// each time, down to none, and the files it refused are fetched at their turn.
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "download/tipw_http.h"
#include "download/transfer_progress.h"
#include "update/kept_downloads.h"

namespace sorana::update {

// How many transfers run at once, the driver's own included:
// SORANA_PARALLEL_FETCHES from the environment when it is a number from 1 to
// 16, else the build's setting (CMake's SORANA_PARALLEL_FETCHES, 4 by default).
// 1 fetches strictly one file after another.
int ParallelFetches();

class FetchAhead {
 public:
  // Sets a component up for one file of the phase: proxy, login, LocalFile.
  using Prepare = std::function<void(download::TipwHTTP& http, const std::string& name)>;

  // How far beyond the file whose turn it is files are fetched: a lane that
  // finished early starts the next one, while a file that stalls at its turn
  // does not draw the rest of the phase in behind it.
  static size_t Reach(int lanes) { return 4 * static_cast<size_t>(std::max(lanes, 1) - 1); }

  // `lanes` as ParallelFetches; `pump` processes the window's messages.
  FetchAhead(int lanes, download::TransferProgress& progress, std::function<void(int maxWaitMs)> pump);
  ~FetchAhead();

  void SetTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds idle);
  void SetStallLimit(int64_t bytesPerSecond, std::chrono::milliseconds window);

  // A phase's loop begins: its files and their URLs, in order. Files `kept`
  // holds are not fetched ahead.
  void BeginPhase(std::vector<std::string> names, std::vector<std::string> urls, const KeptDownloads& kept,
                  Prepare prepare);
  // Moves the transfers ahead on and starts further ones; never waits and
  // never processes messages (the driver calls it from its message pump).
  void Service();
  // The turn of file `position`. True when it was fetched ahead: it has been
  // reported, waited for while the window processes its messages, and its
  // failure is raised as the fetch's would be (Answer then has its response).
  // False: the driver fetches it itself.
  bool Take(size_t position);
  // The final response of the file taken at `position`; nullptr when it was not fetched ahead.
  const download::TipwHTTP::Response* Answer(size_t position) const;
  // The driver's own fetch failed as `error`: when that is a refusal of its
  // connection after transfers ahead held others (the first in the phase),
  // they give way (stopped, their files left to their turn, their connections
  // closed), nothing more goes ahead this phase, and true says to fetch once more.
  bool GiveWay(const download::EipwHTTP& error, const download::TipwHTTP::Response& response);
  // Cancel or close: every transfer ahead ends now, and none starts until the next phase.
  void StopAll();
  // The phase's loop is over: what runs is stopped, and what arrived for
  // files whose turn never came is handed to `kept` for the next click.
  void EndPhase(KeptDownloads& kept);

 private:
  struct Lane;
  struct Ahead;

  void Start(Lane& lane, size_t position);
  // The lane's transfer is over: its outcome goes to its file's record.
  void Conclude(Lane& lane);
  // Stops a lane's transfer and waits (a poll) for its end.
  void Halt(Lane& lane);
  size_t Running() const;

  int lanes_;    // as configured
  int allowed_;  // what the server has not refused this phase
  download::TransferProgress& progress_;
  std::function<void(int)> pump_;
  std::chrono::milliseconds connect_{30000}, idle_{60000}, stallWindow_{60000};
  int64_t stallRate_ = 1024;

  std::vector<std::unique_ptr<Lane>> pool_;
  std::map<size_t, Ahead> ahead_;  // by position in the phase
  std::vector<std::string> names_, urls_;
  std::vector<bool> mayGoAhead_;
  Prepare prepare_;
  size_t turn_ = 0;
  size_t next_ = 0;       // the next position to start ahead
  bool blocked_ = false;  // a file ahead failed: nothing after it starts
  bool stopped_ = true;
  bool ranAhead_ = false;  // a lane ran this phase, and the driver's connection has not been given way to
};

}  // namespace sorana::update
