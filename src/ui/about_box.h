#pragma once

#include <QDialog>

#include "platform/data_folders.h"

namespace pellmarsh {

// Product name, version, features and where the data lives, with a button
// that shows the read-me.
class AboutBox final : public QDialog {
 public:
  AboutBox(const DataFolders& folders, QWidget* parent);
};

}  // namespace pellmarsh
