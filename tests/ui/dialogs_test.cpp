#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <functional>
#include <optional>
#include <thread>

#include "desktop/qt_user_messages.h"
#include "support/fakes.h"
#include "support/temp_dir.h"
#include "ui/about_box.h"
#include "ui/item_dialogs.h"

namespace pellmarsh {

class DialogsTest : public QObject {
  Q_OBJECT

 private:
  // Plays the user in the next message box; the box runs its own event loop,
  // so the user acts from a timer inside it.
  static void OnNextMessageBox(std::function<void(QMessageBox*)> user) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, user] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        poll->deleteLater();
        user(box);
      }
    });
    poll->start(10);
  }

  static void AnswerNextMessageBox(QMessageBox::StandardButton button, QString& text) {
    OnNextMessageBox([button, &text](QMessageBox* box) {
      text = box->text();
      box->button(button)->click();
    });
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

  void enterGivesTheQuestionsOwnDefault() {
    QtUserMessages messages;
    const std::pair<std::optional<MessageAnswer>, MessageAnswer> rows[] = {
        {std::nullopt, MessageAnswer::kYes},  // the box's own choice
        {MessageAnswer::kNo, MessageAnswer::kNo},
    };
    for (const auto& [preset, expected] : rows) {
      OnNextMessageBox([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); });
      const UserMessage question{"Delete /tmp/a.bin?", "Pellmarsh: Delete File?",
                                 MessageButtons::kYesNoCancel, MessageIcon::kQuestion, preset};
      QCOMPARE(messages.Show(question), expected);
    }
  }

  // A file named "<b>a</b>.bin" is shown under that name, not as a bold "a.bin".
  void outsideTextIsShownAsItIs() {
    QtUserMessages messages;
    Qt::TextFormat boxFormat = Qt::AutoText;
    OnNextMessageBox([&boxFormat](QMessageBox* box) {
      boxFormat = box->textFormat();
      box->button(QMessageBox::Ok)->click();
    });
    messages.Show({"Delete /tmp/<b>a</b>.bin?"});
    QCOMPARE(boxFormat, Qt::PlainText);

    testing::RecordingMessages recorded;
    FileExistsDialog dialog("<b>a</b>.bin exists on your system already.", "/tmp/<b>a</b>.bin",
                            false, false, recorded, nullptr);
    QCOMPARE(dialog.findChild<QLabel*>("questionText")->textFormat(), Qt::PlainText);
  }

  void theAboutBoxShowsTheBuiltInReadMeFromAnyDirectory() {
    testing::TempDir dir;  // holds no read-me
    AboutBox about(FoldersBesideProgram(dir.path()), nullptr);
    QCOMPARE(about.windowTitle(), QString("Pellmarsh: About"));
    QVERIFY(about.findChild<QLabel*>("aboutText")->text().contains("<p>Version 1.2d</p>"));
    QString title, firstLine;
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [&, poll] {
      if (auto* window = qobject_cast<QDialog*>(QApplication::activeModalWidget());
          window && window->objectName() == "readMeWindow") {
        poll->deleteLater();
        title = window->windowTitle();
        firstLine =
            window->findChild<QPlainTextEdit*>("readMeText")->toPlainText().section('\n', 0, 0);
        window->reject();
      }
    });
    poll->start(10);
    about.findChild<QPushButton*>("readMeButton")->click();
    QCOMPARE(title, QString("Pellmarsh: Read Me"));
    QCOMPARE(firstLine, QString("PELLMARSH 1.2d"));
  }

  void renameOldMovesTheFileOnlyToAFreeEditedName() {
    testing::TempDir dir;
    testing::WriteFile(dir.File("a.txt"), "old");
    testing::WriteFile(dir.File("b.txt"), "other");
    testing::RecordingMessages messages;
    FileExistsDialog dialog("File Overwrite Alert", dir.File("a.txt"), true, true, messages,
                            nullptr);
    QCOMPARE(dialog.windowTitle(), QString("Pellmarsh: File Exists!"));
    QStringList enabled;
    for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
      if (button->isEnabled()) {
        enabled << button->text();
      }
    }
    enabled.sort();
    QCOMPARE(enabled, QStringList({"&Overwrite", "Cancel", "Re&name Old"}));

    dialog.show();
    auto* edit = dialog.findChild<QLineEdit*>("newNameEdit");
    QCOMPARE(QAccessible::queryAccessibleInterface(edit)->text(QAccessible::Name),
             QString("Rename the existing file to:"));
    auto* rename = dialog.findChild<QPushButton*>("renameOldButton");
    struct Row {
      std::string newName;
      std::string caption;
    } refused[] = {
        {dir.File("A.TXT"), "Pellmarsh: Rename, well... not renamed."},
        {dir.File("b.txt"), "Pellmarsh: Rename Failed"},
        {dir.File("missing/c.txt"), "Pellmarsh: Rename Failed"},
    };
    for (const Row& row : refused) {
      messages.shown.clear();
      edit->setText(QString::fromStdString(row.newName));
      rename->click();
      QCOMPARE(messages.shown.size(), size_t{1});
      QCOMPARE(messages.shown[0].caption, row.caption);
      QVERIFY(dialog.isVisible());
    }
    QCOMPARE(testing::ReadFile(dir.File("b.txt")), std::string("other"));
    QVERIFY(messages.shown[0].text.starts_with("Couldn't rename " + dir.File("a.txt") + " to "));

    edit->setText(QString::fromStdString(dir.File("c.txt")));
    rename->click();
    QCOMPARE(dialog.result(), static_cast<int>(FileExistsAnswer::kOverwrite));
    QVERIFY(!testing::FileExistsOnDisk(dir.File("a.txt")));
    QCOMPARE(testing::ReadFile(dir.File("c.txt")), std::string("old"));
  }

  void enterInFileExistsLosesNothing() {
    testing::TempDir dir;
    testing::WriteFile(dir.File("a.txt"), "old");
    testing::RecordingMessages messages;
    FileExistsDialog dialog("File Overwrite Alert", dir.File("a.txt"), false, false, messages,
                            nullptr);
    dialog.show();
    auto* edit = dialog.findChild<QLineEdit*>("newNameEdit");
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(dialog.result(), static_cast<int>(FileExistsAnswer::kCancel));
    QVERIFY(messages.shown.empty());

    dialog.show();
    edit->setText(QString::fromStdString(dir.File("b.txt")));
    QTest::keyClick(edit, Qt::Key_Return);  // once a new name is typed, Enter renames
    QCOMPARE(dialog.result(), static_cast<int>(FileExistsAnswer::kOverwrite));
    QCOMPARE(testing::ReadFile(dir.File("b.txt")), std::string("old"));
  }

  void theTransferLogShowsTheLogAndCanClearIt() {
    TransferLogDialog dialog("00000000001 Connected\r\n00000000002 Done\r\n", nullptr);
    QCOMPARE(dialog.windowTitle(), QString("Pellmarsh: URL Transfer Log"));
    auto* text = dialog.findChild<QPlainTextEdit*>("logText");
    QVERIFY(text->isReadOnly());
    QCOMPARE(text->toPlainText(), QString("00000000001 Connected\n00000000002 Done\n"));
    dialog.findChild<QPushButton*>("closeButton")->click();
    QVERIFY(!dialog.clearRequested());
    dialog.findChild<QPushButton*>("clearLogButton")->click();
    QVERIFY(dialog.clearRequested());
  }

  // Typed, or set as a screen reader sets it, the new address is what Enter gives.
  void refreshAddressGivesTheTypedAddressOnEnter() {
    AddressDialog dialog(AddressDialog::RefreshAddress("http://old.example/f.iso"), nullptr);
    dialog.show();
    auto* edit = dialog.findChild<QLineEdit*>("newAddressEdit");
    QCOMPARE(edit->accessibleName(), QString("New address"));
    QCOMPARE(edit->selectedText(), QString("http://old.example/f.iso"));
    QTest::keyClicks(edit, "http://new.example/f.iso ");
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(dialog.result(), static_cast<int>(QDialog::Accepted));
    QCOMPARE(dialog.address(), std::string("http://new.example/f.iso"));

    dialog.show();
    QAccessibleInterface* field = QAccessible::queryAccessibleInterface(edit);
    field->setText(QAccessible::Value, "http://third.example/f.iso");
    dialog.findChild<QPushButton*>("cancelButton")->click();
    QCOMPARE(dialog.result(), static_cast<int>(QDialog::Rejected));
    dialog.findChild<QPushButton*>("okButton")->click();
    QCOMPARE(dialog.address(), std::string("http://third.example/f.iso"));
  }
};

}  // namespace pellmarsh

QTEST_MAIN(pellmarsh::DialogsTest)
#include "dialogs_test.moc"
