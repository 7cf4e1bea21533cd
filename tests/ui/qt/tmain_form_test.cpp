// The Qt window: control places, the two-column list, the boxes, the wiring of
// its events to the core, and a screenshot of the started window.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <functional>

#include "app/activation_gate.h"
#include "app/form_lifecycle.h"
#include "app/protected_standards.h"
#include "app/proxy_menu.h"
#include "app_prefix.h"
#include "catalogue/standards.h"
#include "form/app_error.h"
#include "form/form_events.h"
#include "ui/qt/tmain_form.h"
#include "ui/qt/window_boxes.h"

using sorana::form::BoxAnswer;
using sorana::form::BoxKind;
using sorana::form::Control;
using sorana::ui::qt::TMainForm;

namespace {

// The window's handlers on the real start-up, without the download driver;
// like MainForm they reach the window through the activation gate.
class CoreEvents : public sorana::form::FormEvents {
 public:
  explicit CoreEvents(TMainForm& window) : gate(window), window_(gate), lifecycle_(state, gate) {}

  bool FormCreate() { return lifecycle_.FormCreate(); }
  void FormActivate() override {
    if (gate.Activated()) lifecycle_.FormActivate();
  }
  void OwnBoxOpening() override { gate.OwnBoxOpening(); }
  void FormClose() override {
    ++closes;
    lifecycle_.FormClose();
  }
  void ProxyIPMenuClick() override { sorana::app::ProxyIPMenuClick(state, window_); }
  void ProxyPortMenuClick() override {
    if (throwOnPort) sorana::form::CreateError("ポート設定に失敗しました");
    sorana::app::ProxyPortMenuClick(state, window_);
  }
  void CheckListBox1ClickCheck() override {
    ++clickChecks;
    sorana::app::CheckListBox1ClickCheck(window_);
  }
  void DownLoadButtonClick() override { ++downloads; }
  void CancelButtonClick() override {}

  sorana::app::ActivationGate gate;
  sorana::form::FormState state;
  int closes = 0;
  int clickChecks = 0;
  int downloads = 0;
  bool throwOnPort = false;

 private:
  sorana::form::UpdateWindow& window_;
  sorana::app::FormLifecycle lifecycle_;
};

struct SeenBox {
  QString title;
  QString text;
  QStringList labels;           // a login box's field labels
  bool passwordHidden = false;  // a login box's password shows only a mask
};

// Answers every modal box and dialog that opens while it lives: message boxes
// with their default button, input dialogs with OK after `typed` (if any).
class BoxAnswerer {
 public:
  BoxAnswerer() {
    timer_.setInterval(20);
    QObject::connect(&timer_, &QTimer::timeout, [this] { AnswerOpenBox(); });
    timer_.start();
  }

  std::vector<SeenBox> seen;
  std::optional<QString> typed;
  std::optional<QString> typedPassword;  // into a login box's password field
  QString picture;                       // a .png path: the dialog is saved there, filled in

 private:
  void AnswerOpenBox() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) return;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      seen.push_back({box->windowTitle(), box->text(), {}, false});
      box->defaultButton()->click();
    } else if (auto* input = qobject_cast<sorana::ui::qt::InputBoxDialog*>(modal)) {
      SeenBox look{input->windowTitle(), input->Prompt()->text(), {}, false};
      for (QLabel* label : input->findChildren<QLabel*>()) {
        if (label->buddy() != nullptr) look.labels << label->text();
      }
      if (QLineEdit* password = input->Password()) {
        look.passwordHidden = password->echoMode() == QLineEdit::Password;
        if (typedPassword) password->setText(*typedPassword);
      }
      seen.push_back(look);
      if (typed) {
        input->Edit()->setText(*typed);
        if (!picture.isEmpty() && !input->grab().save(picture))
          qWarning("no picture in %s", qPrintable(picture));
        input->OkButton()->click();
      } else {
        input->CancelButton()->click();
      }
    }
  }

  QTimer timer_;
};

QRect PlaceInClient(const TMainForm& window, Control control) {
  QWidget* widget = window.Widget(control);
  return QRect(widget->mapTo(window.ClientArea(), QPoint(0, 0)), widget->size());
}

}  // namespace

class TMainFormTest : public QObject {
  Q_OBJECT

 private slots:
  void controlsSitAtTheirPlaces();
  void listShowsTwoColumnsWithoutScrolling();
  void boxesHaveTheirCaptionsAndButtons();
  void startedWindowShowsVersionsListAndPrompt();
  void uncheckingANationalStandardIsUndone();
  void escapingErrorsAreShownAndTheWindowGoesOn();
  void processMessagesWaitsWithoutSpinningAndPostCloseCloses();
};

void TMainFormTest::controlsSitAtTheirPlaces() {
  TMainForm window;
  QCOMPARE(window.windowTitle(), QStringLiteral("【ソラナギ】アップデートプログラム"));
  QCOMPARE(window.ClientArea()->size(), QSize(506, 288));
  QCOMPARE(window.minimumSize(), window.maximumSize());
  QVERIFY(!(window.windowFlags() & Qt::WindowMinimizeButtonHint));
  QVERIFY(!(window.windowFlags() & Qt::WindowMaximizeButtonHint));
  QVERIFY(window.windowFlags() & Qt::WindowCloseButtonHint);

  const std::vector<std::pair<Control, QRect>> sized = {{Control::CheckListBox1, {8, 40, 489, 149}},
                                                        {Control::ProgressBar, {8, 217, 489, 16}},
                                                        {Control::DownLoadButton, {386, 255, 111, 25}},
                                                        {Control::CancelButton, {386, 255, 111, 25}}};
  for (const auto& [control, place] : sized) QCOMPARE(PlaceInClient(window, control), place);
  const std::vector<std::pair<Control, QPoint>> placed = {{Control::Label2, {8, 8}},
                                                          {Control::Label3, {8, 24}},
                                                          {Control::MsgLabel, {8, 203}},
                                                          {Control::ProgressLabel, {431, 239}},
                                                          {Control::NowVersionLabel, {10, 246}},
                                                          {Control::UpVersionLabel, {10, 262}}};
  for (const auto& [control, corner] : placed) QCOMPARE(PlaceInClient(window, control).topLeft(), corner);
  QCOMPARE(PlaceInClient(window, Control::ProgressLabel).width(), 66);
  // A longer progress text grows the label to the left; its right edge stays,
  // and even the longest stays clear of the version labels.
  for (const char* text : {"4096/81920 Bytes Completion", "2147483647/2147483647 Bytes Completion"}) {
    window.SetCaption(Control::ProgressLabel, text);
    QRect grown = PlaceInClient(window, Control::ProgressLabel);
    QCOMPARE(grown.right(), 431 + 66 - 1);
    QVERIFY(grown.width() >= window.fontMetrics().horizontalAdvance(QString::fromUtf8(text)));
    QVERIFY(grown.left() > PlaceInClient(window, Control::NowVersionLabel).right());
  }
  window.SetCaption(Control::ProgressLabel, "");

  QCOMPARE(window.Caption(Control::Label2), std::string("アップデート基準選択"));
  QCOMPARE(window.Caption(Control::CancelButton), std::string("ｷｬﾝｾﾙ"));
  QVERIFY(window.IsVisible(Control::DownLoadButton));
  QVERIFY(!window.IsVisible(Control::CancelButton));
  QCOMPARE(window.ProxyIPMenu()->text(), QStringLiteral("プロキシIP"));
  QCOMPARE(window.ProxyPortMenu()->text(), QStringLiteral("プロキシPort"));
}

void TMainFormTest::listShowsTwoColumnsWithoutScrolling() {
  TMainForm window;
  window.ShowCentred();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  auto* list = static_cast<QListWidget*>(window.Widget(Control::CheckListBox1));
  QCOMPARE(list->count(), sorana::catalogue::kStandardCount);
  const QRect viewport = list->viewport()->rect();
  const int firstColumn = list->visualItemRect(list->item(0)).left();
  const int secondColumn = list->visualItemRect(list->item(11)).left();
  QVERIFY(secondColumn > firstColumn);
  for (int i = 0; i < list->count(); ++i) {
    QRect rect = list->visualItemRect(list->item(i));
    QVERIFY2(viewport.contains(rect), qPrintable(QString("item %1 outside the list").arg(i)));
    QCOMPARE(rect.left(), i < 11 ? firstColumn : secondColumn);
    QCOMPARE(rect.top(), (i % 11) * 13);
    int textWidth = list->fontMetrics().horizontalAdvance(list->item(i)->text());
    QVERIFY2(rect.width() > textWidth + 20, qPrintable(list->item(i)->text()));
  }
  QVERIFY(!list->horizontalScrollBar()->isVisible());
  QVERIFY(!list->verticalScrollBar()->isVisible());
  QCOMPARE(list->horizontalScrollBar()->maximum(), 0);
  QCOMPARE(list->verticalScrollBar()->maximum(), 0);
}

void TMainFormTest::boxesHaveTheirCaptionsAndButtons() {
  TMainForm window;
  auto buttons = [](const QMessageBox& box) {
    QStringList texts;
    for (QAbstractButton* button : box.buttons()) texts << button->text();
    texts.sort();
    return texts;
  };
  auto confirm = sorana::ui::qt::MakeMessageBox(BoxKind::Confirmation, "一行目\r二行目", &window, "t");
  QCOMPARE(confirm->windowTitle(), QStringLiteral("確認"));
  QCOMPARE(buttons(*confirm), (QStringList{"いいえ(&N)", "はい(&Y)"}));
  QCOMPARE(confirm->text(), QStringLiteral("一行目\n二行目"));
  QCOMPARE(confirm->defaultButton()->text(), QStringLiteral("はい(&Y)"));

  const std::vector<std::pair<BoxKind, QString>> okBoxes = {
      {BoxKind::Information, "情報"},
      {BoxKind::Error, "エラー"},
      {BoxKind::Notice, "【ソラナギ】アップデートプログラム"},
      {BoxKind::Panic, "PANIC!!"}};
  for (const auto& [kind, title] : okBoxes) {
    auto box = sorana::ui::qt::MakeMessageBox(kind, "a\r\rb", &window, window.windowTitle());
    QCOMPARE(box->windowTitle(), title);
    QCOMPARE(buttons(*box), QStringList{"OK"});
    QCOMPARE(box->text(), QStringLiteral("a\n\nb"));
  }
  auto panic = sorana::ui::qt::MakeMessageBox(BoxKind::Panic, "x", &window, "t");
  QVERIFY(panic->parentWidget() == nullptr);
  QCOMPARE(panic->icon(), QMessageBox::Critical);
  QCOMPARE(sorana::ui::qt::MakeMessageBox(BoxKind::Notice, "x", &window, "t")->icon(), QMessageBox::NoIcon);

  sorana::ui::qt::InputBoxDialog input("プロキシ設定", "プロキシPort", "8080", &window);
  QCOMPARE(input.windowTitle(), QStringLiteral("プロキシ設定"));
  QCOMPARE(input.Prompt()->text(), QStringLiteral("プロキシPort"));
  QCOMPARE(input.Edit()->text(), QStringLiteral("8080"));
  QCOMPARE(input.OkButton()->text(), QStringLiteral("OK"));
  QCOMPARE(input.CancelButton()->text(), QStringLiteral("キャンセル"));

  BoxAnswerer answerer;  // Cancel gives back the text it was given
  QCOMPARE(window.InputBox("プロキシ設定", "プロキシIP", "old"), std::string("old"));
  answerer.typed = QStringLiteral("10.0.0.1");
  QCOMPARE(window.InputBox("プロキシ設定", "プロキシIP", "old"), std::string("10.0.0.1"));

  // The proxy login box, filled in and pictured beside the window's screenshot.
  answerer.typed = QStringLiteral("田中");
  answerer.typedPassword = QStringLiteral("pass word");
  QDir().mkpath(SORANA_SCREENSHOT_DIR);
  answerer.picture = QStringLiteral(SORANA_SCREENSHOT_DIR "/login_box.png");
  std::optional<sorana::form::ProxyLogin> login = window.AskProxyLogin(
      "プロキシサーバー 10.0.0.1:8080 "
      "はログインを求めています。\rユーザー名とパスワードを入力してください。");
  QVERIFY(login.has_value());
  QCOMPARE(login->user, std::string("田中"));
  QCOMPARE(login->password, std::string("pass word"));
  const SeenBox& box = answerer.seen.back();
  QCOMPARE(box.title, QStringLiteral("プロキシ認証"));
  QCOMPARE(box.text,
           QStringLiteral("プロキシサーバー 10.0.0.1:8080 "
                          "はログインを求めています。\nユーザー名とパスワードを入力してください。"));
  QCOMPARE(box.labels, (QStringList{QStringLiteral("ユーザー名(&U):"), QStringLiteral("パスワード(&P):")}));
  QVERIFY(box.passwordHidden);
  qInfo("screenshot of the login box: %s", qPrintable(answerer.picture));
}

void TMainFormTest::startedWindowShowsVersionsListAndPrompt() {
  sorana::test::AppPrefix env;
  env.WriteSettings("PROXYIP=\r\nPROXYPORT=0\r\nPATH=C:\\ソラナギ\\\r\nVER=0.0.0\r\n");
  env.InstallMainProgram("C:\\ソラナギ\\", 2, 4, 0, 0);
  env.WriteC("C:\\ソラナギ\\NEW_BIN\\Install.ini",
             sorana::test::StandardsRecord({"国土交通省電子納品基準=1", "農林水産省電子納品基準=1",
                                            "京都府（治山）電子納品基準=1", "国土交通省（電気通信設備）=1"}));
  TMainForm window;
  CoreEvents events(window);
  window.SetEvents(&events);
  BoxAnswerer answerer;
  QVERIFY(events.FormCreate());
  QCOMPARE(answerer.seen.size(), size_t{1});
  QVERIFY(answerer.seen[0].text.startsWith(QStringLiteral("このアップデートを行うと")));

  window.ShowCentred();
  QVERIFY(QTest::qWaitForWindowActive(&window));
  QTRY_COMPARE(window.Caption(Control::MsgLabel), std::string(sorana::form::kStartPrompt));
  QVERIFY(window.IsEnabled(Control::DownLoadButton));
  QCOMPARE(window.Caption(Control::NowVersionLabel), std::string("NowVersion: v2.4.0.0"));
  QVERIFY(window.IsChecked(11) && window.IsChecked(15) && !window.IsChecked(2));

  QDir().mkpath(SORANA_SCREENSHOT_DIR);
  const QString path = QStringLiteral(SORANA_SCREENSHOT_DIR "/main_window.png");
  QVERIFY(window.grab().save(path));
  qInfo("screenshot of the started window: %s", qPrintable(path));

  // Activation handed back by another program leaves a download's message;
  // coming back from one of the updater's boxes runs the activation steps.
  const std::string downloading = "アップデートコンポーネント(2)のダウンロード 40%";
  window.SetCaption(Control::MsgLabel, downloading);
  QWidget otherProgram;
  otherProgram.show();
  otherProgram.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&otherProgram));
  window.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&window));
  QTest::qWait(50);
  QCOMPARE(window.Caption(Control::MsgLabel), downloading);
  events.gate.ShowBox(BoxKind::Information, "基準が選択されていません");
  QTRY_COMPARE(window.Caption(Control::MsgLabel), std::string(sorana::form::kStartPrompt));

  QTest::mouseClick(static_cast<QPushButton*>(window.Widget(Control::DownLoadButton)), Qt::LeftButton);
  QCOMPARE(events.downloads, 1);
  window.ProxyIPMenu()->trigger();  // cancelled: the file is written unchanged
  QCOMPARE(env.ReadC("C:\\windows\\VMSORANA.INI"),
           std::optional<std::string>("PROXYIP=\r\nPROXYPORT=0\r\nPATH=C:\\ソラナギ\\\r\nVER=0.0.0\r\n"));
  window.close();
  QCOMPARE(events.closes, 1);
  QVERIFY(env.ReadC("C:\\ソラナギ\\Install.ini")->find("国土交通省（電気通信設備）=1") != std::string::npos);
  window.SetEvents(nullptr);
}

void TMainFormTest::uncheckingANationalStandardIsUndone() {
  TMainForm window;
  CoreEvents events(window);
  window.SetEvents(&events);
  for (int i = 0; i < sorana::catalogue::kStandardCount; ++i) window.SetChecked(i, true);
  window.ShowCentred();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  BoxAnswerer answerer;
  auto* list = static_cast<QListWidget*>(window.Widget(Control::CheckListBox1));
  QCOMPARE(events.clickChecks, 0);  // the program's own changes are no toggles

  // A click on the box of item 0 unchecks it; the handler checks it again.
  QRect first = list->visualItemRect(list->item(0));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(first.left() + 8, first.center().y()));
  QCOMPARE(events.clickChecks, 1);
  QCOMPARE(window.CurrentItem(), 0);
  QVERIFY(window.IsChecked(0));
  QCOMPARE(answerer.seen.size(), size_t{1});
  QCOMPARE(answerer.seen[0].text, QStringLiteral("「国土交通省電子納品基準」の\n選択解除はできません。"));

  // The space key toggles the current item; an ordinary standard stays unchecked.
  list->setFocus();
  list->setCurrentRow(2);
  QTest::keyClick(list, Qt::Key_Space);
  QCOMPARE(events.clickChecks, 2);
  QVERIFY(!window.IsChecked(2));
  QCOMPARE(answerer.seen.size(), size_t{1});
  window.SetEvents(nullptr);
}

void TMainFormTest::escapingErrorsAreShownAndTheWindowGoesOn() {
  sorana::test::AppPrefix env;
  TMainForm window;
  CoreEvents events(window);
  events.state.InitFileName = "C:\\windows\\VMSORANA.INI";
  window.SetEvents(&events);
  window.ShowCentred();
  BoxAnswerer answerer;
  answerer.typed = QStringLiteral("80a");
  window.ProxyPortMenu()->trigger();
  QCOMPARE(answerer.seen.size(), size_t{2});
  QCOMPARE(answerer.seen[1].title, QStringLiteral("エラー"));
  QCOMPARE(answerer.seen[1].text, QStringLiteral("'80a' は整数ではありません"));

  events.throwOnPort = true;
  window.ProxyPortMenu()->trigger();
  QCOMPARE(answerer.seen.size(), size_t{3});
  QCOMPARE(answerer.seen[2].text.trimmed(), QStringLiteral("ポート設定に失敗しました"));
  QVERIFY(window.isVisible());
  window.SetEvents(nullptr);
}

void TMainFormTest::processMessagesWaitsWithoutSpinningAndPostCloseCloses() {
  TMainForm window;
  CoreEvents events(window);
  window.SetEvents(&events);
  window.ShowCentred();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  window.ProcessMessages(50);  // let the show settle
  QElapsedTimer clock;
  clock.start();
  window.ProcessMessages(300);
  QVERIFY2(clock.elapsed() >= 250 && clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));

  window.PostClose();
  QCOMPARE(events.closes, 0);  // asynchronous
  window.ProcessMessages(0);
  QCOMPARE(events.closes, 1);
  QVERIFY(!window.isVisible());
  window.SetEvents(nullptr);
}

QTEST_MAIN(TMainFormTest)
#include "tmain_form_test.moc"
