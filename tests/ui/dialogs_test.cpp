#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <thread>

#include "desktop/qt_user_messages.h"
#include "support/fakes.h"
#include "support/temp_dir.h"
#include "ui/about_box.h"

namespace pellmarsh {

class DialogsTest : public QObject {
  Q_OBJECT

 private:
  // Presses a button of the next message box; the box runs its own event loop,
  // so the press comes from a timer inside it.
  static void AnswerNextMessageBox(QMessageBox::StandardButton button, QString& text) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, button, &text] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        text = box->text();
        poll->deleteLater();
        box->button(button)->click();
      }
    });
    poll->start(10);
  }

 private slots:
  void aWorkerThreadWaitsForTheAnswerFromTheWindowThread() {
    QtUserMessages messages;
    std::atomic<bool> answered{false};
    MessageAnswer answer = MessageAnswer::kCancel;
    std::thread worker([&] {
      answer = messages.Show(
          {"Go on?", "Pellmarsh: Question", MessageButtons::kYesNo, MessageIcon::kQuestion});
      answered = true;
    });
    QString shownText;
    AnswerNextMessageBox(QMessageBox::No, shownText);
    QVERIFY(QTest::qWaitFor([&] { return answered.load(); }, 10000));
    worker.join();
    QCOMPARE(shownText, QString("Go on?"));
    QCOMPARE(answer, MessageAnswer::kNo);
  }

  void theAboutBoxSaysWhenTheReadMeCannotBeOpened() {
    testing::TempDir dir;  // holds no pellmarsh.txt
    testing::RecordingMessages messages;
    AboutBox about(dir.path(), messages, nullptr);
    QCOMPARE(about.windowTitle(), QString("Pellmarsh: About"));
    QVERIFY(about.findChild<QWidget*>("aboutText"));
    about.findChild<QPushButton*>("readMeButton")->click();
    QCOMPARE(messages.shown.size(), size_t{1});
    QCOMPARE(messages.shown[0].text, std::string("Could not open PELLMARSH.TXT."));
    QCOMPARE(messages.shown[0].caption, std::string("Pellmarsh"));
  }
};

}  // namespace pellmarsh

QTEST_MAIN(pellmarsh::DialogsTest)
#include "dialogs_test.moc"
