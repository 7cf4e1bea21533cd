#include "ui/qt/tmain_form.h"

#include <algorithm>

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStringList>
#include <QTimer>

#include "app/protected_standards.h"
#include "catalogue/standards.h"
#include "form/window_layout.h"
#include "ui/qt/check_list_box.h"
#include "ui/qt/window_boxes.h"
#include "ui/qt/window_font.h"

namespace sorana::ui::qt {

namespace {

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent) {
  setWindowTitle(QString::fromUtf8(form::kWindowCaption));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setFont(WindowFont(form::kFontPixels));
  setCentralWidget(new QWidget(this));
  BuildMenu();
  BuildControls();
  SetClientSize(form::kClientWidth, form::kClientHeight);
}

TMainForm::~TMainForm() {
  if (busyCursor_) QApplication::restoreOverrideCursor();
}

void TMainForm::BuildMenu() {
  QMenu* settings = menuBar()->addMenu(QString::fromUtf8(form::kSettingsMenuCaption));
  proxyIPMenu_ = settings->addAction(QString::fromUtf8(form::kProxyIPMenuCaption));
  proxyPortMenu_ = settings->addAction(QString::fromUtf8(form::kProxyPortMenuCaption));
  connect(proxyIPMenu_, &QAction::triggered, this, [this] { Dispatch(&form::FormEvents::ProxyIPMenuClick); });
  connect(proxyPortMenu_, &QAction::triggered, this,
          [this] { Dispatch(&form::FormEvents::ProxyPortMenuClick); });
}

void TMainForm::BuildControls() {
  QWidget* client = centralWidget();
  const int lineHeight = QFontMetrics(font()).height();
  QWidget* previous = nullptr;
  for (const form::ControlPlace& place : form::kControlPlaces) {
    QWidget* widget = MakeControl(place, client);
    widget->setGeometry(place.left, place.top, place.width,
                        place.height == form::kTextLine ? lineHeight : place.height);
    controls_[place.control] = widget;
    if (widget->focusPolicy() == Qt::NoFocus) continue;
    if (previous != nullptr) setTabOrder(previous, widget);
    previous = widget;
  }
  controls_.at(form::Control::CancelButton)->hide();
}

QWidget* TMainForm::MakeControl(const form::ControlPlace& place, QWidget* client) {
  const QString caption = QString::fromUtf8(place.caption);
  switch (place.control) {
    case form::Control::CheckListBox1: {
      QStringList captions;
      for (std::string_view standard : catalogue::kStandardCaptions) captions << FromUtf8(standard);
      checkList_ = new TCheckListBox(captions, form::kListColumns, form::kListRowHeight, client);
      checkList_->setFont(WindowFont(form::kListFontPixels));
      connect(checkList_, &TCheckListBox::ClickCheck, this,
              [this] { Dispatch(&form::FormEvents::CheckListBox1ClickCheck); });
      return checkList_;
    }
    case form::Control::ProgressBar:
      progressBar_ = new QProgressBar(client);
      progressBar_->setRange(0, 100);
      progressBar_->setValue(0);
      progressBar_->setTextVisible(false);
      progressBar_->setFocusPolicy(Qt::TabFocus);
      return progressBar_;
    case form::Control::DownLoadButton:
    case form::Control::CancelButton: {
      auto* button = new QPushButton(caption, client);
      const auto handler = place.control == form::Control::DownLoadButton
                               ? &form::FormEvents::DownLoadButtonClick
                               : &form::FormEvents::CancelButtonClick;
      connect(button, &QPushButton::clicked, this, [this, handler] { Dispatch(handler); });
      return button;
    }
    default: {
      auto* label = new QLabel(caption, client);
      if (place.control == form::Control::ProgressLabel)
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
      return label;
    }
  }
}

void TMainForm::ShowCentred() {
  show();
  if (QScreen* screen = this->screen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  activateWindow();
}

bool TMainForm::event(QEvent* event) {
  bool handled = QMainWindow::event(event);
  if (event->type() == QEvent::WindowActivate) Dispatch(&form::FormEvents::FormActivate);
  return handled;
}

void TMainForm::closeEvent(QCloseEvent* event) {
  // A disabled window cannot be closed by the user (an update that cannot be
  // cancelled is running); closes requested by the program go through.
  if (event->spontaneous() && !windowEnabled_) {
    event->ignore();
    return;
  }
  Dispatch(&form::FormEvents::FormClose);
  event->accept();
}

void TMainForm::SetCaption(form::Control control, std::string_view text) {
  QWidget* widget = controls_.at(control);
  if (auto* label = qobject_cast<QLabel*>(widget)) label->setText(FromUtf8(text));
  if (auto* button = qobject_cast<QPushButton*>(widget)) button->setText(FromUtf8(text));
  // The right-aligned progress text sizes itself and grows to the left from its
  // right edge: "4096/81920 Bytes Completion" is wider than its 66 pixels.
  if (control == form::Control::ProgressLabel) {
    QRect place = widget->geometry();
    const int right = place.x() + place.width();
    const int width = form::ProgressLabelWidth(widget->fontMetrics().horizontalAdvance(FromUtf8(text)));
    widget->setGeometry(right - width, place.y(), width, place.height());
  }
}

std::string TMainForm::Caption(form::Control control) const {
  QWidget* widget = controls_.at(control);
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text().toStdString();
  if (auto* button = qobject_cast<QPushButton*>(widget)) return button->text().toStdString();
  return {};
}

void TMainForm::SetVisible(form::Control control, bool visible) {
  controls_.at(control)->setVisible(visible);
}
bool TMainForm::IsVisible(form::Control control) const { return !controls_.at(control)->isHidden(); }

void TMainForm::SetEnabled(form::Control control, bool enabled) {
  controls_.at(control)->setEnabled(enabled);
}
bool TMainForm::IsEnabled(form::Control control) const {
  QWidget* widget = controls_.at(control);
  return widget->isEnabledTo(widget->parentWidget());
}

void TMainForm::Repaint(form::Control control) { controls_.at(control)->repaint(); }

// The client area and the menu, not the top-level window: a disabled top-level
// window would lose and regain activation, and every activation reaches the core.
void TMainForm::SetWindowEnabled(bool enabled) {
  windowEnabled_ = enabled;
  centralWidget()->setEnabled(enabled);
  menuBar()->setEnabled(enabled);
}

void TMainForm::SetClientSize(int width, int height) {
  centralWidget()->setFixedSize(width, height);
  setFixedSize(width, height + menuBar()->sizeHint().height());
}

void TMainForm::SetBusyCursor(bool busy) {
  if (busy == busyCursor_) return;
  busyCursor_ = busy;
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

bool TMainForm::IsChecked(int index) const { return checkList_->IsChecked(index); }
void TMainForm::SetChecked(int index, bool checked) { checkList_->SetChecked(index, checked); }
int TMainForm::CurrentItem() const { return checkList_->CurrentIndex(); }

void TMainForm::SetProgress(int position) { progressBar_->setValue(position); }
int TMainForm::Progress() const { return progressBar_->value(); }

form::BoxAnswer TMainForm::ShowBox(form::BoxKind kind, std::string_view text) {
  std::unique_ptr<QMessageBox> box = MakeMessageBox(kind, text, this, windowTitle());
  box->exec();
  ReturnActivation();
  return AnswerOf(*box);
}

std::string TMainForm::InputBox(std::string_view caption, std::string_view prompt, std::string_view text) {
  InputBoxDialog dialog(FromUtf8(caption), FromUtf8(prompt), FromUtf8(text), this);
  const bool accepted = dialog.exec() == QDialog::Accepted;
  ReturnActivation();
  if (!accepted) return std::string(text);
  return dialog.Edit()->text().toStdString();
}

std::optional<form::ProxyLogin> TMainForm::AskProxyLogin(std::string_view prompt) {
  InputBoxDialog dialog(FromUtf8(form::kProxyLoginCaption), BoxText(prompt), QString(), this, true);
  const bool accepted = dialog.exec() == QDialog::Accepted;
  ReturnActivation();
  if (!accepted) return std::nullopt;
  return form::ProxyLogin{dialog.Edit()->text().toStdString(), dialog.Password()->text().toStdString()};
}

// A closed box hands activation back to its owner on Windows; without a window
// manager (offscreen, a bare X server) nothing would, and the window would
// stay inactive with the activation steps not run.
void TMainForm::ReturnActivation() {
  if (isVisible() && !isActiveWindow()) activateWindow();
}

void TMainForm::PostClose() { QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection); }

void TMainForm::Close() { close(); }

void TMainForm::ProcessMessages(int maxWaitMs) {
  if (maxWaitMs > 0) {
    // The timer bounds the wait: waiting for more events returns at the first
    // event, the timer's own at the latest.
    QTimer bound;
    bound.setSingleShot(true);
    bound.start(maxWaitMs);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace sorana::ui::qt
