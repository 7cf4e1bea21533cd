// The update window as the core sees it.
//
// The core never touches widgets: it sets captions, visibility and enabled
// states, reads and sets the check states of the standards list, moves the
// progress bar, shows modal boxes and lets the window process its pending
// messages. TMainForm implements this with Qt; tests implement it with a
// recording fake that answers the boxes from a script.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sorana::form {

enum class Control {
  Label2,
  Label3,
  CheckListBox1,
  MsgLabel,
  ProgressBar,
  ProgressLabel,
  NowVersionLabel,
  UpVersionLabel,
  DownLoadButton,
  CancelButton,
};

// Modal boxes. Texts join lines with a lone CR ("\r"); a blank line is two.
enum class BoxKind {
  Confirmation,  // caption "確認", buttons "はい(&Y)" / "いいえ(&N)"
  Information,   // caption "情報", OK
  Error,         // caption "エラー", OK
  Notice,        // the application's caption, OK only
  Panic,         // caption "PANIC!!", error icon, no owner window, OK
};

enum class BoxAnswer { Ok, Yes, No };

// What the user gave in the proxy login box.
struct ProxyLogin {
  std::string user;
  std::string password;
};

inline constexpr std::string_view kProxyLoginCaption = "プロキシ認証";
inline constexpr std::string_view kProxyUserLabel = "ユーザー名(&U):";
inline constexpr std::string_view kProxyPasswordLabel = "パスワード(&P):";

class UpdateWindow {
 public:
  virtual ~UpdateWindow() = default;

  // Labels and buttons.
  virtual void SetCaption(Control control, std::string_view text) = 0;
  virtual std::string Caption(Control control) const = 0;
  virtual void SetVisible(Control control, bool visible) = 0;
  virtual bool IsVisible(Control control) const = 0;
  virtual void SetEnabled(Control control, bool enabled) = 0;
  virtual bool IsEnabled(Control control) const = 0;
  // Paints the control at once (labels and the bar change inside long steps).
  virtual void Repaint(Control control) = 0;

  // The whole window.
  virtual void SetWindowEnabled(bool enabled) = 0;
  virtual bool IsWindowEnabled() const = 0;
  virtual void SetClientSize(int width, int height) = 0;
  virtual void SetBusyCursor(bool busy) = 0;

  // CheckListBox1: 22 items in the order of the standards list.
  virtual bool IsChecked(int index) const = 0;
  virtual void SetChecked(int index, bool checked) = 0;
  virtual int CurrentItem() const = 0;

  // ProgressBar, range 0..100.
  virtual void SetProgress(int position) = 0;
  virtual int Progress() const = 0;

  virtual BoxAnswer ShowBox(BoxKind kind, std::string_view text) = 0;
  // Input box: caption, prompt, one edit field, "OK" / "キャンセル". Returns the
  // edited text on OK and `text` unchanged on Cancel.
  virtual std::string InputBox(std::string_view caption, std::string_view prompt, std::string_view text) = 0;

  // Login box: caption kProxyLoginCaption, `prompt`, a user name field and a
  // password field whose text is hidden, "OK" / "キャンセル". nullopt on Cancel.
  virtual std::optional<ProxyLogin> AskProxyLogin(std::string_view prompt) = 0;

  // Asynchronous close request: the window closes (FormClose runs) when the
  // request is processed by the message loop.
  virtual void PostClose() = 0;
  // Closes the window now (FormClose runs before this returns).
  virtual void Close() = 0;

  // Processes pending window messages. With maxWaitMs > 0 it first waits up to
  // that long for a message to arrive, so that callers that wait for something
  // do not spin.
  virtual void ProcessMessages(int maxWaitMs = 0) = 0;
};

}  // namespace sorana::form
