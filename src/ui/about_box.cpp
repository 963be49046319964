#include "ui/about_box.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "platform/program_dir.h"
#include "store/data_file.h"

namespace pellmarsh {

AboutBox::AboutBox(const DataFolders& folders, UserMessages& messages, QWidget* parent)
    : QDialog(parent), programDir_(folders.programDir), messages_(messages) {
  setWindowTitle("Pellmarsh: About");
  setObjectName("aboutBox");
  auto* text = new QLabel(
      "<h2>Pellmarsh</h2>"
      "<p>Version 1.2d</p>"
      "<p>A download manager that never gives up:</p>"
      "<ul>"
      "<li>HTTP, HTTPS and FTP downloads in the background</li>"
      "<li>Resumes broken transfers and retries with growing delays</li>"
      "<li>Limits its bandwidth and runs several downloads at once</li>"
      "<li>Takes URLs from the clipboard, drag and drop and downloaded pages</li>"
      "<li>Runs your virus checker on finished files</li>"
      "<li>Plays sounds and can hang up or power off when the queue is empty</li>"
      "</ul>");
  text->setObjectName("aboutText");
  auto* location =
      new QLabel(QString("<p>Your downloads list and settings are kept in<br><b>%1</b></p>"
                         "<p>New hosts download into<br><b>%2</b></p>")
                     .arg(QString::fromStdString(JoinPath(folders.dataDir, DataFile::kFileName))
                              .toHtmlEscaped(),
                          QString::fromStdString(folders.downloadDir).toHtmlEscaped()));
  location->setObjectName("dataLocation");
  location->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
  QPushButton* readMe = buttons->addButton("&Read Me...", QDialogButtonBox::ActionRole);
  readMe->setObjectName("readMeButton");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(readMe, &QPushButton::clicked, this, &AboutBox::OpenReadMe);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text);
  layout->addWidget(location);
  layout->addWidget(buttons);
}

void AboutBox::OpenReadMe() {
  QString path = QString::fromStdString(JoinPath(programDir_, "pellmarsh.txt"));
  if (!QFileInfo::exists(path)) {
    // Installed, the read-me sits with the package's documentation.
    path = QString::fromStdString(JoinPath(programDir_, "../share/doc/pellmarsh/pellmarsh.txt"));
  }
  if (!QFileInfo::exists(path) || !QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
    messages_.Show({"Could not open PELLMARSH.TXT."});
  }
}

}  // namespace pellmarsh
