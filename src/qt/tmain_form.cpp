#include "qt/tmain_form.h"

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

#include "app/standards.h"
#include "qt/check_list_box.h"
#include "qt/window_boxes.h"
#include "qt/window_font.h"

namespace sorana::app {

namespace {

constexpr int kClientWidth = 506;
constexpr int kClientHeight = 288;
constexpr int kFontPixels = 12;
constexpr int kListFontPixels = 13;
constexpr int kListRowHeight = 13;
constexpr int kListColumns = 2;
constexpr int kProgressLabelWidth = 66;
constexpr int kProgressLabelLeftmost = 8;

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent) {
  setWindowTitle(QStringLiteral("【ソラナギ】アップデートプログラム"));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setFont(WindowFont(kFontPixels));
  setCentralWidget(new QWidget(this));
  BuildMenu();
  BuildControls();
  SetClientSize(kClientWidth, kClientHeight);
}

TMainForm::~TMainForm() {
  if (busyCursor_) QApplication::restoreOverrideCursor();
}

void TMainForm::BuildMenu() {
  QMenu* settings = menuBar()->addMenu(QStringLiteral("設定"));
  proxyIPMenu_ = settings->addAction(QStringLiteral("プロキシIP"));
  proxyPortMenu_ = settings->addAction(QStringLiteral("プロキシPort"));
  connect(proxyIPMenu_, &QAction::triggered, this, [this] { Dispatch(&FormEvents::ProxyIPMenuClick); });
  connect(proxyPortMenu_, &QAction::triggered, this, [this] { Dispatch(&FormEvents::ProxyPortMenuClick); });
}

void TMainForm::BuildControls() {
  QWidget* client = centralWidget();
  const int labelHeight = QFontMetrics(font()).height();
  auto label = [&](Control control, const char* text, QRect place) {
    auto* widget = new QLabel(QString::fromUtf8(text), client);
    widget->setGeometry(place);
    controls_[control] = widget;
    return widget;
  };
  label(Control::Label2, "アップデート基準選択", {8, 8, 489, labelHeight});
  label(Control::Label3, "(選択しない基準がインストールされていた場合は削除されます)",
        {8, 24, 489, labelHeight});
  label(Control::MsgLabel, "XXX", {8, 203, 489, labelHeight});
  QLabel* progressLabel = label(Control::ProgressLabel, "", {431, 239, kProgressLabelWidth, labelHeight});
  progressLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  label(Control::NowVersionLabel, "NowVersion", {10, 246, 370, labelHeight});
  label(Control::UpVersionLabel, "UpVersion", {10, 262, 370, labelHeight});

  QStringList captions;
  for (std::string_view caption : kStandardCaptions) captions << FromUtf8(caption);
  checkList_ = new TCheckListBox(captions, kListColumns, kListRowHeight, client);
  checkList_->setFont(WindowFont(kListFontPixels));
  checkList_->setGeometry(8, 40, 489, 149);
  controls_[Control::CheckListBox1] = checkList_;
  connect(checkList_, &TCheckListBox::ClickCheck, this,
          [this] { Dispatch(&FormEvents::CheckListBox1ClickCheck); });

  progressBar_ = new QProgressBar(client);
  progressBar_->setGeometry(8, 217, 489, 16);
  progressBar_->setRange(0, 100);
  progressBar_->setValue(0);
  progressBar_->setTextVisible(false);
  controls_[Control::ProgressBar] = progressBar_;

  auto button = [&](Control control, const char* text, void (FormEvents::*handler)()) {
    auto* widget = new QPushButton(QString::fromUtf8(text), client);
    widget->setGeometry(386, 255, 111, 25);
    connect(widget, &QPushButton::clicked, this, [this, handler] { Dispatch(handler); });
    controls_[control] = widget;
    return widget;
  };
  QPushButton* download =
      button(Control::DownLoadButton, "アップデート開始", &FormEvents::DownLoadButtonClick);
  QPushButton* cancel = button(Control::CancelButton, "ｷｬﾝｾﾙ", &FormEvents::CancelButtonClick);
  cancel->hide();

  progressBar_->setFocusPolicy(Qt::TabFocus);
  setTabOrder(download, progressBar_);
  setTabOrder(progressBar_, checkList_);
  setTabOrder(checkList_, cancel);
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

void TMainForm::Dispatch(void (FormEvents::*handler)()) {
  if (events_ == nullptr) return;
  Guarded([&] { (events_->*handler)(); });
}

void TMainForm::ReportError(const char* text) {
  try {
    if (events_ != nullptr) events_->OwnBoxOpening();
    ShowBox(BoxKind::Error, text);
  } catch (...) {
    // Nothing more can be shown; the program goes on.
  }
}

bool TMainForm::event(QEvent* event) {
  bool handled = QMainWindow::event(event);
  if (event->type() == QEvent::WindowActivate) Dispatch(&FormEvents::FormActivate);
  return handled;
}

void TMainForm::closeEvent(QCloseEvent* event) {
  // A disabled window cannot be closed by the user (an update that cannot be
  // cancelled is running); closes requested by the program go through.
  if (event->spontaneous() && !windowEnabled_) {
    event->ignore();
    return;
  }
  Dispatch(&FormEvents::FormClose);
  event->accept();
}

void TMainForm::SetCaption(Control control, std::string_view text) {
  QWidget* widget = controls_.at(control);
  if (auto* label = qobject_cast<QLabel*>(widget)) label->setText(FromUtf8(text));
  if (auto* button = qobject_cast<QPushButton*>(widget)) button->setText(FromUtf8(text));
  // The right-aligned progress text sizes itself and grows to the left from its
  // right edge: "4096/81920 Bytes Completion" is wider than its 66 pixels.
  if (control == Control::ProgressLabel) {
    QRect place = widget->geometry();
    const int right = place.x() + place.width();
    const int width = std::clamp(widget->fontMetrics().horizontalAdvance(FromUtf8(text)) + 2,
                                 kProgressLabelWidth, right - kProgressLabelLeftmost);
    widget->setGeometry(right - width, place.y(), width, place.height());
  }
}

std::string TMainForm::Caption(Control control) const {
  QWidget* widget = controls_.at(control);
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text().toStdString();
  if (auto* button = qobject_cast<QPushButton*>(widget)) return button->text().toStdString();
  return {};
}

void TMainForm::SetVisible(Control control, bool visible) { controls_.at(control)->setVisible(visible); }
bool TMainForm::IsVisible(Control control) const { return !controls_.at(control)->isHidden(); }

void TMainForm::SetEnabled(Control control, bool enabled) { controls_.at(control)->setEnabled(enabled); }
bool TMainForm::IsEnabled(Control control) const {
  QWidget* widget = controls_.at(control);
  return widget->isEnabledTo(widget->parentWidget());
}

void TMainForm::Repaint(Control control) { controls_.at(control)->repaint(); }

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

BoxAnswer TMainForm::ShowBox(BoxKind kind, std::string_view text) {
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

}  // namespace sorana::app
