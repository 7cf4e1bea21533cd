// The main window as every toolkit builds it: its caption and menu, the client
// size, the fonts, and each control's place and first caption, in the tab
// order. The windows read this table; none of them repeats a number of it.
#pragma once

#include <algorithm>
#include <stdexcept>

#include "form/update_window.h"

namespace sorana::form {

inline constexpr const char* kWindowCaption = "【ソラナギ】アップデートプログラム";
inline constexpr const char* kSettingsMenuCaption = "設定";
inline constexpr const char* kProxyIPMenuCaption = "プロキシIP";
inline constexpr const char* kProxyPortMenuCaption = "プロキシPort";

inline constexpr int kClientWidth = 506;
inline constexpr int kClientHeight = 288;
// Pixel heights of "ＭＳ ゴシック": the window and its boxes, and the list.
inline constexpr int kFontPixels = 12;
inline constexpr int kListFontPixels = 13;
inline constexpr int kListRowHeight = 13;
inline constexpr int kListColumns = 2;

// A height of kTextLine: one line of the window's font.
inline constexpr int kTextLine = 0;

struct ControlPlace {
  Control control;
  int left;
  int top;
  int width;
  int height;
  const char* caption;
};

// The focusable controls come first, in the tab order; the labels take no focus.
inline constexpr ControlPlace kControlPlaces[] = {
    {Control::DownLoadButton, 386, 255, 111, 25, "アップデート開始"},
    {Control::ProgressBar, 8, 217, 489, 16, ""},
    {Control::CheckListBox1, 8, 40, 489, 149, ""},
    {Control::CancelButton, 386, 255, 111, 25, "ｷｬﾝｾﾙ"},
    {Control::Label2, 8, 8, 489, kTextLine, "アップデート基準選択"},
    {Control::Label3, 8, 24, 489, kTextLine, "(選択しない基準がインストールされていた場合は削除されます)"},
    {Control::MsgLabel, 8, 203, 489, kTextLine, "XXX"},
    {Control::ProgressLabel, 431, 239, 66, kTextLine, ""},
    {Control::NowVersionLabel, 10, 246, 250, kTextLine, "NowVersion"},
    {Control::UpVersionLabel, 10, 262, 250, kTextLine, "UpVersion"},
};

constexpr const ControlPlace& PlaceOf(Control control) {
  for (const ControlPlace& place : kControlPlaces) {
    if (place.control == control) return place;
  }
  throw std::logic_error("a control without a place");
}

// The progress text is right-aligned and sizes itself: it keeps its right edge
// and grows to the left, up to a little short of the version labels it sits
// beside ("2147483647/2147483647 Bytes Completion" still fits).
constexpr int ProgressLabelWidth(int textWidth) {
  const ControlPlace& label = PlaceOf(Control::ProgressLabel);
  const ControlPlace& version = PlaceOf(Control::NowVersionLabel);
  const int widest = label.left + label.width - (version.left + version.width) - 4;
  return std::clamp(textWidth + 2, label.width, widest);
}

}  // namespace sorana::form
