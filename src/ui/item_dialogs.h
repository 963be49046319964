#pragma once

#include <QDialog>
#include <string>

#include "platform/user_messages.h"
#include "view/item_commands.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace pellmarsh {

// An item's transfer log, read-only, with a way to clear it.
class TransferLogDialog final : public QDialog {
 public:
  TransferLogDialog(const std::string& log, QWidget* parent);
  // True when the user left with "&Clear Log".
  bool clearRequested() const { return clearRequested_; }

 private:
  bool clearRequested_ = false;
};

// A new address for an unfinished download, its current one shown to edit.
class RefreshAddressDialog final : public QDialog {
 public:
  RefreshAddressDialog(const std::string& current, QWidget* parent);
  std::string address() const;

 private:
  QLineEdit* address_ = nullptr;
};

// What to do about a file already on disk where a download would write.
class FileExistsDialog final : public QDialog {
 public:
  FileExistsDialog(const std::string& text, const std::string& path, bool noAllButtons,
                   bool noResumeButtons, UserMessages& messages, QWidget* parent);
  FileExistsAnswer Ask();

 private:
  QPushButton* AddAnswer(const char* objectName, const char* caption, FileExistsAnswer answer);
  void RenameOld();

  UserMessages& messages_;
  std::string oldPath_;
  QLineEdit* newName_ = nullptr;
};

}  // namespace pellmarsh
