#pragma once

#include <QDialog>
#include <string>

#include "platform/user_messages.h"

namespace pellmarsh {

// Product name, version and features, with a button that opens the read-me.
class AboutBox final : public QDialog {
 public:
  AboutBox(const std::string& programDir, UserMessages& messages, QWidget* parent);

 private:
  void OpenReadMe();

  std::string programDir_;
  UserMessages& messages_;
};

}  // namespace pellmarsh
