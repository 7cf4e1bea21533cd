// The Windows window read back through the Win32 API: the window's table of
// controls, the two-column check list and its toggles, the boxes with their
// titles and buttons, the input box, and the events with their guard.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "catalogue/standards.h"
#include "ui/win32/tmain_form.h"
#include "ui/win32/win32_text.h"
#include "ui/win32/window_boxes.h"
#include "ui/win32/window_font.h"
#include "window_probe.h"

using sorana::form::BoxAnswer;
using sorana::form::BoxKind;
using sorana::form::Control;
using sorana::ui::win32::TMainForm;
using sorana::ui::win32::Wide;
using sorana::ui::win32::WindowText;

using sorana::test::BoxAnswerer;
using sorana::test::FontHeight;
using sorana::test::InClient;
using sorana::test::SaveScreenshot;
using sorana::test::SeenBox;
using sorana::test::TextExtent;

namespace {

constexpr const char* kCaption = "【ソラナギ】アップデートプログラム";

class RecordingEvents : public sorana::form::FormEvents {
 public:
  explicit RecordingEvents(TMainForm& window) : window_(window) {}

  void FormActivate() override { ++activations; }
  void OwnBoxOpening() override { ++ownBoxes; }
  void FormClose() override { ++closes; }
  void ProxyIPMenuClick() override { ++proxyMenus; }
  void ProxyPortMenuClick() override {
    ++proxyMenus;
    if (failPortMenu) throw std::runtime_error("ポート設定に失敗しました\r");
  }
  void CheckListBox1ClickCheck() override {
    toggles.push_back({window_.CurrentItem(), window_.IsChecked(window_.CurrentItem())});
  }
  void DownLoadButtonClick() override { ++downloads; }
  void CancelButtonClick() override {}

  struct Toggle {
    int item;
    bool checked;
    bool operator==(const Toggle&) const = default;
  };
  int activations = 0, ownBoxes = 0, closes = 0, proxyMenus = 0, downloads = 0;
  bool failPortMenu = false;
  std::vector<Toggle> toggles;

 private:
  TMainForm& window_;
};

class WindowTest : public ::testing::Test {
 protected:
  WindowTest() : events(window) { window.SetEvents(&events); }
  ~WindowTest() override { window.SetEvents(nullptr); }

  void Show() {
    window.ShowCentred();
    window.ProcessMessages(100);
  }

  TMainForm window;
  RecordingEvents events;
};

TEST_F(WindowTest, ControlsSitAtTheirPlacesWithTheirCaptionsAndMenu) {
  Show();
  HWND form = window.Handle();
  EXPECT_EQ(WindowText(form), Wide(kCaption));
  RECT client{};
  GetClientRect(form, &client);
  EXPECT_EQ(client.right, 506);
  EXPECT_EQ(client.bottom, 288);
  const LONG style = GetWindowLongW(form, GWL_STYLE);
  EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU), WS_CAPTION | WS_SYSMENU);
  EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
  RECT frame{};
  GetWindowRect(form, &frame);
  EXPECT_NEAR((frame.left + frame.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
  EXPECT_NEAR((frame.top + frame.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);
  EXPECT_GE(events.activations, 1);  // the display may hand focus over more than once

  struct Row {
    Control control;
    RECT place;  // right and bottom 0: the control sizes itself to its text
    const char* caption;
    int fontPixels;
  };
  const Row table[] = {
      {Control::Label2, {8, 8, 0, 0}, "アップデート基準選択", 12},
      {Control::Label3, {8, 24, 0, 0}, "(選択しない基準がインストールされていた場合は削除されます)", 12},
      {Control::CheckListBox1, {8, 40, 497, 189}, "", 13},
      {Control::MsgLabel, {8, 203, 0, 0}, "XXX", 12},
      {Control::ProgressBar, {8, 217, 497, 233}, "", 12},
      {Control::ProgressLabel, {431, 239, 497, 0}, "", 12},
      {Control::NowVersionLabel, {10, 246, 0, 0}, "NowVersion", 12},
      {Control::UpVersionLabel, {10, 262, 0, 0}, "UpVersion", 12},
      {Control::DownLoadButton, {386, 255, 497, 280}, "アップデート開始", 12},
      {Control::CancelButton, {386, 255, 497, 280}, "ｷｬﾝｾﾙ", 12},
  };
  for (const Row& row : table) {
    SCOPED_TRACE(row.caption);
    HWND control = window.Handle(row.control);
    const RECT place = InClient(control, form);
    EXPECT_EQ(place.left, row.place.left);
    EXPECT_EQ(place.top, row.place.top);
    if (row.place.right != 0) {
      EXPECT_EQ(place.right, row.place.right);
    }
    if (row.place.bottom != 0) {
      EXPECT_EQ(place.bottom, row.place.bottom);
    }
    EXPECT_EQ(window.Caption(row.control), row.caption);
    EXPECT_EQ(FontHeight(control), -row.fontPixels);
    // Nothing clipped: the caption fits its control.
    const SIZE text = TextExtent(control, WindowText(control));
    EXPECT_LE(text.cx, place.right - place.left);
    EXPECT_LE(text.cy, place.bottom - place.top);
  }
  EXPECT_EQ(GetWindowLongW(window.Handle(Control::ProgressLabel), GWL_STYLE) & SS_TYPEMASK, SS_RIGHT);
  EXPECT_TRUE(window.IsVisible(Control::DownLoadButton));
  EXPECT_FALSE(window.IsVisible(Control::CancelButton));

  // The tab order is the order of the controls that take the focus.
  std::vector<HWND> tabOrder;
  HWND panel = GetParent(window.Handle(Control::DownLoadButton));
  for (HWND child = GetWindow(panel, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    if ((GetWindowLongW(child, GWL_STYLE) & WS_TABSTOP) != 0) tabOrder.push_back(child);
  }
  EXPECT_EQ(tabOrder,
            (std::vector<HWND>{window.Handle(Control::DownLoadButton), window.Handle(Control::ProgressBar),
                               window.Handle(Control::CheckListBox1), window.Handle(Control::CancelButton)}));

  HMENU bar = GetMenu(form);
  wchar_t text[64] = {};
  GetMenuStringW(bar, 0, text, 64, MF_BYPOSITION);
  EXPECT_EQ(GetMenuItemCount(bar), 1);
  EXPECT_EQ(std::wstring(text), L"設定");
  HMENU settings = GetSubMenu(bar, 0);
  ASSERT_EQ(GetMenuItemCount(settings), 2);
  GetMenuStringW(settings, TMainForm::kProxyIPMenuId, text, 64, MF_BYCOMMAND);
  EXPECT_EQ(std::wstring(text), L"プロキシIP");
  GetMenuStringW(settings, TMainForm::kProxyPortMenuId, text, 64, MF_BYCOMMAND);
  EXPECT_EQ(std::wstring(text), L"プロキシPort");

  // The started window, for a look at it: versions, prompt, a choice made.
  window.SetCaption(Control::NowVersionLabel, "NowVersion: v2.4.0.0");
  window.SetCaption(Control::UpVersionLabel, "UpVersion: v2.4.1.0");
  window.SetCaption(Control::MsgLabel, "[アップデート開始]をクリックして作業を開始してください。");
  window.SetCaption(Control::ProgressLabel, "4096/81920 Bytes Completion");
  window.SetProgress(5);
  for (int i : {0, 1, 11, 15}) window.SetChecked(i, true);
  window.ProcessMessages(200);
  EXPECT_EQ(window.Progress(), 5);
  const RECT progressText = InClient(window.Handle(Control::ProgressLabel), form);
  EXPECT_EQ(progressText.right, 497);  // a longer text grows to the left
  EXPECT_GE(progressText.right - progressText.left,
            TextExtent(window.Handle(Control::ProgressLabel), L"4096/81920 Bytes Completion").cx);
  EXPECT_TRUE(events.toggles.empty());  // the program's own changes are no toggles
  std::printf("window font: %ls\n", sorana::ui::win32::JapaneseFontFace().c_str());
  if (const wchar_t* path = _wgetenv(L"SORANA_SCREENSHOT")) {
    EXPECT_TRUE(SaveScreenshot(form, path));
    std::printf("screenshot of the window: %ls\n", path);
  }
}

TEST_F(WindowTest, ListShowsTwoColumnsAndTogglesByMouseAndSpaceKey) {
  Show();
  HWND list = window.Handle(Control::CheckListBox1);
  const LONG style = GetWindowLongW(list, GWL_STYLE);
  EXPECT_NE(style & LBS_MULTICOLUMN, 0);
  EXPECT_EQ(style & (WS_HSCROLL | WS_VSCROLL), 0);
  ASSERT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), sorana::catalogue::kStandardCount);
  RECT inside{};
  GetClientRect(list, &inside);
  auto rowOf = [&](int i) {
    RECT row{};
    SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&row));
    return row;
  };
  for (int i = 0; i < sorana::catalogue::kStandardCount; ++i) {
    const std::wstring caption = Wide(sorana::catalogue::kStandardCaptions[static_cast<size_t>(i)]);
    wchar_t text[64] = {};
    SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    EXPECT_EQ(std::wstring(text), caption);
    const RECT row = rowOf(i);
    EXPECT_EQ(row.top, (i % 11) * 13) << i;
    EXPECT_EQ(row.bottom - row.top, 13) << i;
    EXPECT_EQ(row.left, rowOf(i < 11 ? 0 : 11).left) << i;
    EXPECT_LE(row.right, inside.right) << i;
    EXPECT_LE(row.bottom, inside.bottom) << i;
    EXPECT_LE(13 + 3 + TextExtent(list, caption).cx, row.right - row.left) << i;  // box and caption fit
  }
  EXPECT_GT(rowOf(11).left, rowOf(0).left);

  for (int i = 0; i < sorana::catalogue::kStandardCount; ++i) window.SetChecked(i, true);
  auto click = [&](int item, int x) {
    const RECT row = rowOf(item);
    const LPARAM at = MAKELPARAM(row.left + x, row.top + 6);
    SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(list, WM_LBUTTONUP, 0, at);
    window.ProcessMessages(0);
  };
  click(3, 6);   // on the box: toggles, and the item is the current one
  click(4, 60);  // on the caption: only makes the item current
  EXPECT_EQ(window.CurrentItem(), 4);
  EXPECT_TRUE(window.IsChecked(4));
  click(16, 6);  // the second column
  // The space key as the keyboard delivers it, through the window's message loop.
  SetFocus(list);
  const LPARAM key = 1 | (static_cast<LPARAM>(MapVirtualKeyW(VK_SPACE, MAPVK_VK_TO_VSC)) << 16);
  PostMessageW(list, WM_KEYDOWN, VK_SPACE, key);
  PostMessageW(list, WM_KEYUP, VK_SPACE, key | (3u << 30));
  window.ProcessMessages(0);
  using Toggle = RecordingEvents::Toggle;
  EXPECT_EQ(events.toggles, (std::vector<Toggle>{{3, false}, {16, false}, {16, true}}));
  EXPECT_FALSE(window.IsChecked(3));
}

TEST_F(WindowTest, BoxesShowTheirTitlesButtonsAndLinesAndAnswer) {
  Show();
  const std::wstring notice = Wide(kCaption);
  struct Row {
    BoxKind kind;
    const wchar_t* title;
    std::vector<std::wstring> buttons;
    WORD pressed;
    BoxAnswer answer;
    bool icon;
  };
  const std::vector<std::wstring> yesNo = {L"はい(&Y)", L"いいえ(&N)"};
  const Row rows[] = {
      {BoxKind::Confirmation, L"確認", yesNo, IDYES, BoxAnswer::Yes, true},
      {BoxKind::Confirmation, L"確認", yesNo, IDNO, BoxAnswer::No, true},
      {BoxKind::Confirmation, L"確認", yesNo, IDCANCEL, BoxAnswer::No, true},  // Escape
      {BoxKind::Information, L"情報", {L"OK"}, IDOK, BoxAnswer::Ok, true},
      {BoxKind::Error, L"エラー", {L"OK"}, IDCANCEL, BoxAnswer::Ok, true},
      {BoxKind::Notice, notice.c_str(), {L"OK"}, IDOK, BoxAnswer::Ok, false},
      {BoxKind::Panic, L"PANIC!!", {L"OK"}, IDOK, BoxAnswer::Ok, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(sorana::ui::win32::Narrow(row.title));
    BoxAnswerer answerer;
    answerer.answer = row.pressed;
    const int activations = events.activations;
    EXPECT_EQ(window.ShowBox(row.kind, "一行目\r二行目\r\r四行目"), row.answer);
    ASSERT_EQ(answerer.seen.size(), 1u);
    const SeenBox& box = answerer.seen[0];
    EXPECT_EQ(box.title, row.title);
    EXPECT_EQ(box.buttons, row.buttons);
    EXPECT_EQ(box.text, L"一行目\r\n二行目\r\n\r\n四行目");
    EXPECT_GE(box.textPlace.bottom - box.textPlace.top, 4 * 12);  // four lines, none clipped
    EXPECT_EQ(box.icon, row.icon);
    EXPECT_GT(box.width, box.titleWidth);  // the title is not cut
    EXPECT_EQ(box.owner, row.kind == BoxKind::Panic ? nullptr : window.Handle());
    window.ProcessMessages(50);
    // The window is active again: the return from a box reaches the core.
    if (row.kind != BoxKind::Panic) {
      EXPECT_GT(events.activations, activations);
    }
  }
  EXPECT_EQ(events.ownBoxes, 0);  // boxes the core opens are the core's to note

  BoxAnswerer answerer;
  answerer.answer = IDCANCEL;
  answerer.typed = L"9999";
  EXPECT_EQ(window.InputBox("プロキシ設定", "プロキシPort", "8080"), "8080");
  answerer.answer = IDOK;
  answerer.typed = L"10.0.0.1";
  EXPECT_EQ(window.InputBox("プロキシ設定", "プロキシIP", "old"), "10.0.0.1");
  ASSERT_EQ(answerer.seen.size(), 2u);
  EXPECT_EQ(answerer.seen[0].title, L"プロキシ設定");
  EXPECT_EQ(answerer.seen[0].text, L"プロキシPort");
  EXPECT_EQ(answerer.seen[0].edit, L"8080");
  EXPECT_EQ(answerer.seen[0].buttons, (std::vector<std::wstring>{L"OK", L"キャンセル"}));
  EXPECT_EQ(answerer.seen[1].text, L"プロキシIP");

  // The proxy login box, answered with a user name and a password, then
  // cancelled; a picture of it beside the window's.
  answerer.typed = L"田中";
  answerer.typedPassword = L"pass word";
  if (const wchar_t* path = _wgetenv(L"SORANA_SCREENSHOT")) {
    answerer.picture = path;
    answerer.picture.replace(answerer.picture.find_last_of(L"\\") + 1, std::wstring::npos, L"login_box.bmp");
  }
  const std::string prompt =
      "プロキシサーバー 10.0.0.1:8080 はログインを求めています。\rユーザー名とパスワードを入力してください。";
  std::optional<sorana::form::ProxyLogin> login = window.AskProxyLogin(prompt);
  ASSERT_TRUE(login.has_value());
  EXPECT_EQ(login->user, "田中");
  EXPECT_EQ(login->password, "pass word");
  if (!answerer.picture.empty()) std::printf("screenshot of the login box: %ls\n", answerer.picture.c_str());
  answerer.picture.clear();
  answerer.answer = IDCANCEL;
  EXPECT_FALSE(window.AskProxyLogin(prompt).has_value());
  ASSERT_EQ(answerer.seen.size(), 4u);
  const SeenBox& box = answerer.seen[2];
  EXPECT_EQ(box.title, L"プロキシ認証");
  EXPECT_EQ(box.text,
            L"プロキシサーバー 10.0.0.1:8080 "
            L"はログインを求めています。\r\nユーザー名とパスワードを入力してください。");
  EXPECT_EQ(box.labels, (std::vector<std::wstring>{L"ユーザー名(&U):", L"パスワード(&P):"}));
  EXPECT_TRUE(box.passwordHidden);
  EXPECT_EQ(box.buttons, (std::vector<std::wstring>{L"OK", L"キャンセル"}));
  EXPECT_GT(box.width, box.titleWidth);
  EXPECT_GE(box.textPlace.bottom - box.textPlace.top, 2 * 12);  // both lines, none clipped
  EXPECT_EQ(box.owner, window.Handle());
}

TEST_F(WindowTest, EventsReachTheCoreAndEscapingErrorsEndInTheErrorBox) {
  Show();
  HWND form = window.Handle();
  // The ready window takes keys: the start button holds the focus once it is
  // enabled, and a control holds it again after a box.
  window.SetEnabled(Control::DownLoadButton, false);
  SetFocus(form);
  window.SetEnabled(Control::DownLoadButton, true);
  EXPECT_EQ(GetFocus(), window.Handle(Control::DownLoadButton));
  SendMessageW(window.Handle(Control::DownLoadButton), BM_CLICK, 0, 0);
  EXPECT_EQ(events.downloads, 1);
  {
    BoxAnswerer answerer;
    events.failPortMenu = true;
    SendMessageW(form, WM_COMMAND, TMainForm::kProxyPortMenuId, 0);
    ASSERT_EQ(answerer.seen.size(), 1u);
    EXPECT_EQ(answerer.seen[0].title, L"エラー");
    EXPECT_EQ(answerer.seen[0].text, L"ポート設定に失敗しました\r\n");
    EXPECT_EQ(events.ownBoxes, 1);  // the window's own box, so its activation counts
    EXPECT_TRUE(IsWindow(form));
  }
  window.ProcessMessages(50);
  EXPECT_TRUE(IsChild(form, GetFocus()));

  // A disabled window: greyed menu, no keyboard focus on a control, and the
  // user's close box does nothing.
  SetFocus(window.Handle(Control::DownLoadButton));
  window.SetWindowEnabled(false);
  EXPECT_EQ(GetFocus(), form);
  EXPECT_NE(GetMenuState(GetMenu(form), 0, MF_BYPOSITION) & MF_GRAYED, 0u);
  SendMessageW(form, WM_COMMAND, TMainForm::kProxyIPMenuId, 0);
  SendMessageW(form, WM_CLOSE, 0, 0);
  SendMessageW(window.Handle(Control::DownLoadButton), BM_CLICK, 0, 0);
  EXPECT_EQ(events.downloads, 1);
  EXPECT_EQ(events.proxyMenus, 1);
  EXPECT_EQ(events.closes, 0);
  EXPECT_TRUE(window.IsEnabled(Control::DownLoadButton));  // the controls keep their own states
  window.SetWindowEnabled(true);
  SendMessageW(form, WM_COMMAND, TMainForm::kProxyIPMenuId, 0);
  EXPECT_EQ(events.proxyMenus, 2);

  window.ProcessMessages(50);
  // Waits block until a message or the bound: a stray message of Wine's own
  // (a repaint, a focus change) may end one early, but they never spin.
  const auto start = std::chrono::steady_clock::now();
  int waits = 0;
  for (; std::chrono::steady_clock::now() - start < std::chrono::milliseconds(300); ++waits) {
    window.ProcessMessages(300);
  }
  EXPECT_LT(waits, 20);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3000));

  window.PostClose();
  EXPECT_EQ(events.closes, 0);  // asynchronous
  window.ProcessMessages(0);
  EXPECT_EQ(events.closes, 1);
  EXPECT_FALSE(IsWindow(form));
  EXPECT_EQ(window.Handle(), nullptr);
  window.Close();  // closed once only
  EXPECT_EQ(events.closes, 1);
}

}  // namespace
