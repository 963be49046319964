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

// What an address dialog asks: its names, its texts and the address shown
// to edit.
struct AddressQuestion {
  const char* objectName;
  const char* title;
  const char* explanation;
  const char* label;     // with its "&"
  const char* editName;  // the edit's objectName
  std::string current;
  bool browse = false;  // a "Browse..." button for a file on this computer
};

// One address typed, pasted or chosen: a new one for an unfinished download,
// or where a sums file is.
class AddressDialog final : public QDialog {
 public:
  AddressDialog(const AddressQuestion& question, QWidget* parent);
  std::string address() const;

  static AddressQuestion RefreshAddress(const std::string& current);
  static AddressQuestion SumsFile();

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
