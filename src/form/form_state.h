// The state the update window shares with the download driver, the transfer
// events and the installation. It lives here, not in widgets, so that the core
// reads and writes it without Qt.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "product_version.h"

namespace sorana::form {

inline constexpr const char* kUpVersion = kProductVersionText;

// The length a transfer has before its header tells one.
inline constexpr double kNoContentLength = 2147483647.0;

// The prompt of MsgLabel whenever the window waits for the start button.
inline constexpr const char* kStartPrompt = "[アップデート開始]をクリックして作業を開始してください。";

struct FormState {
  // Start-up and settings.
  std::string InitFileName;  // full path of VMSORANA.INI
  std::string ProxyIP;       // proxy host, empty for none
  uint16_t ProxyPortNo = 0;  // proxy port, 0 for the component's default
  std::string InitVer = "0.0.0";
  std::string WorkFolder;   // InstallRoot at rest, a phase's folder during an update
  std::string InstallRoot;  // product folder, never changed after start-up
  std::string NowVersion;   // version text of the installed main program
  bool StartupAccepted = true;
  bool ListLoaded = false;  // the standards list was loaded from its record

  // Download driver and transfer events.
  std::vector<std::string> FileList;
  bool Cancelled = false;
  bool PhaseComplete = false;
  bool PhaseIntact = true;  // every file of the phase so far arrived whole
  int32_t LastBytes = 0;
  double ContentLength = kNoContentLength;
  int FileIndex = 0;  // 1-based position of the file being fetched
  bool OldPhase = false;
  bool LayoutReady = true;
  std::string DownloadFolder;

  // Lifecycle.
  bool Updating = false;  // a DownLoadButtonClick is running
  bool Closed = false;    // FormClose has run; a running update unwinds
};

}  // namespace sorana::form
