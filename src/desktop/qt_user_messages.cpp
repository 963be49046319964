#include "desktop/qt_user_messages.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include "store/tree.h"

namespace pellmarsh {
namespace {

QMessageBox::StandardButtons ButtonsFor(MessageButtons buttons) {
  switch (buttons) {
    case MessageButtons::kOkCancel:
      return QMessageBox::Ok | QMessageBox::Cancel;
    case MessageButtons::kYesNo:
      return QMessageBox::Yes | QMessageBox::No;
    case MessageButtons::kYesNoCancel:
      return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MessageButtons::kOk:
      break;
  }
  return QMessageBox::Ok;
}

QMessageBox::Icon IconFor(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kInformation:
      return QMessageBox::Information;
    case MessageIcon::kExclamation:
      return QMessageBox::Warning;
    case MessageIcon::kQuestion:
      return QMessageBox::Question;
    case MessageIcon::kStop:
      return QMessageBox::Critical;
    case MessageIcon::kNone:
      break;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::StandardButton ButtonFor(MessageAnswer answer) {
  switch (answer) {
    case MessageAnswer::kYes:
      return QMessageBox::Yes;
    case MessageAnswer::kNo:
      return QMessageBox::No;
    case MessageAnswer::kCancel:
      return QMessageBox::Cancel;
    case MessageAnswer::kOk:
      break;
  }
  return QMessageBox::Ok;
}

MessageAnswer AnswerFor(int button) {
  switch (button) {
    case QMessageBox::Yes:
      return MessageAnswer::kYes;
    case QMessageBox::No:
      return MessageAnswer::kNo;
    case QMessageBox::Ok:
      return MessageAnswer::kOk;
    default:
      return MessageAnswer::kCancel;
  }
}

}  // namespace

MessageAnswer QtUserMessages::ShowHere(const UserMessage& message) {
  QMessageBox box(IconFor(message.icon), QString::fromStdString(message.caption),
                  QString::fromStdString(message.text), ButtonsFor(message.buttons), parent_);
  // File names and server replies are text: a "<b>" in one must show as it is.
  box.setTextFormat(Qt::PlainText);
  if (message.defaultAnswer) {
    box.setDefaultButton(ButtonFor(*message.defaultAnswer));
  }
  return AnswerFor(box.exec());
}

MessageAnswer QtUserMessages::Show(const UserMessage& message) {
  // On the window thread too: the box's own event loop refreshes the list.
  AbortIfTreeLockHeld();
  if (QThread::currentThread() == qApp->thread()) {
    return ShowHere(message);
  }
  return *guiQueue_.RunAndWait<MessageAnswer>(
      [this, message](const std::atomic<bool>&) { return ShowHere(message); });
}

}  // namespace pellmarsh
