// The window's event handlers as the Qt window calls them. MainForm implements
// them on the core; tests of the window may implement a part of them.
#pragma once

namespace sorana::form {

class FormEvents {
 public:
  virtual ~FormEvents() = default;

  // Every activation of the window; the core decides which of them count.
  virtual void FormActivate() = 0;
  // The window is opening a box of its own (its general error report).
  virtual void OwnBoxOpening() {}
  virtual void FormClose() = 0;
  virtual void ProxyIPMenuClick() = 0;
  virtual void ProxyPortMenuClick() = 0;
  // After the user toggled the current item of the standards list.
  virtual void CheckListBox1ClickCheck() = 0;
  virtual void DownLoadButtonClick() = 0;
  virtual void CancelButtonClick() = 0;
};

}  // namespace sorana::form
