#pragma once

#include <QDialog>
#include <string>

#include "platform/data_folders.h"
#include "platform/user_messages.h"

namespace pellmarsh {

// Product name, version, features and where the data lives, with a button
// that opens the read-me.
class AboutBox final : public QDialog {
 public:
  AboutBox(const DataFolders& folders, UserMessages& messages, QWidget* parent);

 private:
  void OpenReadMe();

  std::string programDir_;
  UserMessages& messages_;
};

}  // namespace pellmarsh
