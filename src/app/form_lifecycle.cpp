#include "app/form_lifecycle.h"

#include <exception>
#include <optional>
#include <string>

#include "app/lenient_number.h"
#include "app/product_registry.h"
#include "app/settings_file.h"
#include "app/standards_record.h"
#include "catalogue/standards.h"
#include "form/window_layout.h"
#include "formats/ascii_case.h"
#include "formats/version_resource.h"
#include "formats/win_path_text.h"
#include "platform/file_system.h"
#include "platform/version_info.h"
#include "platform/windows_system.h"
#include "update/update_record.h"

namespace sorana::app {

namespace {

constexpr const char* kOverwriteQuestion =
    "既に同バージョンまたは上位バージョンがインストールされています。\r上書き更新を行いますか？";
constexpr const char* kUnfinishedNotice =
    "前回のアップデートは完了していません。\r[アップデート開始]をクリックすると、アップデートを完了します。";
constexpr const char* kMenuNotice =
    "このアップデートを行うと、ナギメニューを御使用の場合はバージョン1.07i以降が必要になります\r\r"
    "必ずナギメニューのバージョンをご確認下さい";

// Removes the first occurrence of `name`, in any letter case: a PATH written
// during an update may spell the staging folder New_BIN\.
void EraseFirstFolderName(std::string& path, std::string_view name) {
  size_t at = formats::AsciiUpper(path).find(name);
  if (at != std::string::npos) path.erase(at, name.size());
}

// Restores the window's enabled state however the guarded steps end.
class WindowDisabledDuring {
 public:
  explicit WindowDisabledDuring(form::UpdateWindow& window)
      : window_(window), wasEnabled_(window.IsWindowEnabled()) {
    window_.SetWindowEnabled(false);
  }
  ~WindowDisabledDuring() { window_.SetWindowEnabled(wasEnabled_); }
  WindowDisabledDuring(const WindowDisabledDuring&) = delete;
  WindowDisabledDuring& operator=(const WindowDisabledDuring&) = delete;

 private:
  form::UpdateWindow& window_;
  bool wasEnabled_;
};

bool SameWindowsPath(std::string_view a, std::string_view b) {
  return formats::AsciiUpper(a) == formats::AsciiUpper(b);
}

}  // namespace

bool FormLifecycle::FormCreate() {
  RepairRegisteredProgramPath();
  ResetEngineReadOption();

  window_.SetVisible(form::Control::CancelButton, false);
  window_.SetVisible(form::Control::DownLoadButton, true);
  window_.SetEnabled(form::Control::DownLoadButton, false);
  window_.SetClientSize(form::kClientWidth, form::kClientHeight);
  window_.SetCaption(form::Control::ProgressLabel, "");
  state_.StartupAccepted = true;
  state_.ListLoaded = false;
  state_.WorkFolder.clear();
  state_.ProxyIP.clear();
  state_.ProxyPortNo = 0;
  state_.InitVer = "0.0.0";

  state_.InitFileName = LocateInitFile();
  ReadSettings();
  // No PATH in the settings file: the registry still knows the product folder.
  if (state_.WorkFolder.empty()) state_.WorkFolder = RegisteredProductFolder();
  if (state_.WorkFolder.empty()) return false;

  EraseFirstFolderName(state_.WorkFolder, "OLD_BIN\\");
  EraseFirstFolderName(state_.WorkFolder, "NEW_BIN\\");
  state_.WorkFolder = formats::IncludeTrailingBackslash(state_.WorkFolder);
  state_.InstallRoot = state_.WorkFolder;

  state_.NowVersion = platform::GetFileVersionText(state_.WorkFolder + kMainProgramName);
  window_.SetCaption(form::Control::NowVersionLabel, "NowVersion: " + state_.NowVersion);
  window_.SetCaption(form::Control::UpVersionLabel, std::string("UpVersion: ") + form::kUpVersion);

  // An update that was stopped dead is finished by the next click, whatever
  // version its half-installed main program carries.
  const std::optional<update::UpdateRecord> unfinished = update::ReadUpdateRecord(state_.InstallRoot);
  if (!unfinished) AskBeforeOverwrite();
  if (!state_.StartupAccepted) return true;

  LoadStandards(state_, window_);
  if (unfinished) {
    // The choice that run was installing, which it never recorded.
    for (int i = 0; i < catalogue::kStandardCount; ++i)
      window_.SetChecked(i, unfinished->standards[static_cast<size_t>(i)]);
  }
  state_.FileList.clear();
  state_.PhaseComplete = false;
  state_.LastBytes = 0;
  window_.ShowBox(form::BoxKind::Notice, kMenuNotice);
  if (unfinished) window_.ShowBox(form::BoxKind::Information, kUnfinishedNotice);
  return true;
}

void FormLifecycle::ReadSettings() {
  if (state_.InitFileName.empty() || !platform::FileExists(state_.InitFileName)) return;
  std::optional<InitFileValues> values = ReadInitFile(state_.InitFileName);
  if (!values) {
    window_.ShowBox(form::BoxKind::Error, "ファイル \"" + state_.InitFileName + "\" を読み込めません。");
    return;
  }
  state_.ProxyIP = values->ProxyIP;
  std::optional<uint16_t> port = PortFromNumber(LenientNumber(values->ProxyPort));
  if (!port) window_.ShowBox(form::BoxKind::Error, "範囲チェックエラー");
  state_.ProxyPortNo = port.value_or(0);
  state_.WorkFolder = values->Path;
  state_.InitVer = values->Ver;
}

void FormLifecycle::AskBeforeOverwrite() {
  // As numbers: an installed v2.10.0.0 is newer than v2.4.1.0, though its text sorts below.
  if (formats::VersionBelow(state_.NowVersion, form::kUpVersion)) return;
  if (window_.ShowBox(form::BoxKind::Confirmation, kOverwriteQuestion) != form::BoxAnswer::Yes) {
    state_.StartupAccepted = false;
  }
}

void FormLifecycle::FormActivate() {
  if (!state_.StartupAccepted) {
    window_.PostClose();
    return;
  }
  WindowDisabledDuring disabled(window_);
  window_.SetEnabled(form::Control::DownLoadButton, true);
  window_.SetCaption(form::Control::ProgressLabel, "");
  window_.SetCaption(form::Control::MsgLabel, form::kStartPrompt);
}

void FormLifecycle::FormClose() {
  // After a declined start-up the list holds no choice of the user's: recording
  // it would overwrite the saved one with all zeros.
  if (state_.ListLoaded) {
    std::string record = formats::IncludeTrailingBackslash(state_.WorkFolder) + kRecordFileName;
    std::string rootRecord = state_.InstallRoot + kRecordFileName;
    try {
      RecordStandards(window_, record);
      if (!SameWindowsPath(record, rootRecord)) platform::CopyFileTo(record, rootRecord, false);
    } catch (const std::exception& error) {
      window_.ShowBox(form::BoxKind::Error, error.what());
    }
  }
  // A running update still walks FileList; it is released when that run ends.
  if (!state_.Updating) state_.FileList.clear();
}

}  // namespace sorana::app
