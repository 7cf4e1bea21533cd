// The window's modal boxes: message boxes of the five kinds, the input box and
// the proxy login box.
// Made here, shown by TMainForm; tests look at them without showing them.
#pragma once

#include <QDialog>
#include <QMessageBox>
#include <memory>
#include <string_view>

#include "form/update_window.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace sorana::ui::qt {

// CR-joined lines of the core's texts as Qt lines.
QString BoxText(std::string_view text);

// `noticeCaption` is the caption of plain notices (the window's). Panic boxes
// get no parent.
std::unique_ptr<QMessageBox> MakeMessageBox(form::BoxKind kind, std::string_view text, QWidget* parent,
                                            const QString& noticeCaption);
form::BoxAnswer AnswerOf(const QMessageBox& box);

// The input box; with `login`, the proxy login box: the edit takes the user
// name, and a second one the password, hidden as it is typed.
class InputBoxDialog : public QDialog {
  Q_OBJECT

 public:
  InputBoxDialog(const QString& caption, const QString& prompt, const QString& text, QWidget* parent,
                 bool login = false);

  QLabel* Prompt() const { return prompt_; }
  QLineEdit* Edit() const { return edit_; }
  QLineEdit* Password() const { return password_; }  // null unless a login box
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }

 private:
  QLabel* prompt_;
  QLineEdit* edit_;
  QLineEdit* password_ = nullptr;
  QPushButton* ok_;
  QPushButton* cancel_;
};

}  // namespace sorana::ui::qt
