#include "ui/qt/window_boxes.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "form/window_layout.h"
#include "ui/qt/window_font.h"

namespace sorana::ui::qt {

QString BoxText(std::string_view text) {
  QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  shown.replace(QChar('\r'), QChar('\n'));
  return shown;
}

std::unique_ptr<QMessageBox> MakeMessageBox(form::BoxKind kind, std::string_view text, QWidget* parent,
                                            const QString& noticeCaption) {
  auto box = std::make_unique<QMessageBox>(kind == form::BoxKind::Panic ? nullptr : parent);
  box->setFont(WindowFont(form::kFontPixels));
  box->setText(BoxText(text));
  box->setTextFormat(Qt::PlainText);
  switch (kind) {
    case form::BoxKind::Confirmation: {
      box->setWindowTitle(QStringLiteral("確認"));
      box->setIcon(QMessageBox::Question);
      QPushButton* yes = box->addButton(QStringLiteral("はい(&Y)"), QMessageBox::YesRole);
      QPushButton* no = box->addButton(QStringLiteral("いいえ(&N)"), QMessageBox::NoRole);
      box->setDefaultButton(yes);
      box->setEscapeButton(no);
      return box;
    }
    case form::BoxKind::Information:
      box->setWindowTitle(QStringLiteral("情報"));
      box->setIcon(QMessageBox::Information);
      break;
    case form::BoxKind::Error:
      box->setWindowTitle(QStringLiteral("エラー"));
      box->setIcon(QMessageBox::Critical);
      break;
    case form::BoxKind::Notice:
      box->setWindowTitle(noticeCaption);
      box->setIcon(QMessageBox::NoIcon);
      break;
    case form::BoxKind::Panic:
      box->setWindowTitle(QStringLiteral("PANIC!!"));
      box->setIcon(QMessageBox::Critical);
      break;
  }
  QPushButton* ok = box->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
  box->setDefaultButton(ok);
  box->setEscapeButton(ok);
  return box;
}

form::BoxAnswer AnswerOf(const QMessageBox& box) {
  QAbstractButton* clicked = box.clickedButton();
  if (clicked == nullptr) return box.buttons().size() == 1 ? form::BoxAnswer::Ok : form::BoxAnswer::No;
  switch (box.buttonRole(clicked)) {
    case QMessageBox::YesRole:
      return form::BoxAnswer::Yes;
    case QMessageBox::NoRole:
      return form::BoxAnswer::No;
    default:
      return form::BoxAnswer::Ok;
  }
}

InputBoxDialog::InputBoxDialog(const QString& caption, const QString& prompt, const QString& text,
                               QWidget* parent, bool login)
    : QDialog(parent),
      prompt_(new QLabel(prompt, this)),
      edit_(new QLineEdit(text, this)),
      ok_(new QPushButton(QStringLiteral("OK"), this)),
      cancel_(new QPushButton(QStringLiteral("キャンセル"), this)) {
  setWindowTitle(caption);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFont(WindowFont(form::kFontPixels));
  edit_->setMinimumWidth(300);
  edit_->selectAll();
  ok_->setDefault(true);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(prompt_);
  if (login) {
    password_ = new QLineEdit(this);
    password_->setEchoMode(QLineEdit::Password);
    auto* fields = new QFormLayout;
    auto* user =
        new QLabel(QString::fromUtf8(form::kProxyUserLabel.data(), form::kProxyUserLabel.size()), this);
    auto* password = new QLabel(
        QString::fromUtf8(form::kProxyPasswordLabel.data(), form::kProxyPasswordLabel.size()), this);
    user->setBuddy(edit_);
    password->setBuddy(password_);
    fields->addRow(user, edit_);
    fields->addRow(password, password_);
    layout->addLayout(fields);
  } else {
    layout->addWidget(edit_);
  }
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace sorana::ui::qt
