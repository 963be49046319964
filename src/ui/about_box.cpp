#include "ui/about_box.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/program_dir.h"
#include "platform/program_version.h"
#include "store/data_file.h"

// A static library's resource is left out of the program unless it is named;
// outside any namespace, as its initialiser is.
static void RegisterReadMe() {
  Q_INIT_RESOURCE(readme);
}

namespace pellmarsh {
namespace {

// Built into the program, so every copy of it, installed or not, has it.
const char* const kReadMeResource = ":/pellmarsh.txt";

// The read-me in a window of its own; its columns line up in a fixed-width font.
void ShowReadMe(QWidget* parent) {
  QDialog window(parent);
  window.setWindowTitle("Pellmarsh: Read Me");
  window.setObjectName("readMeWindow");
  auto* text = new QPlainTextEdit;
  text->setObjectName("readMeText");
  text->setReadOnly(true);
  text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  [[maybe_unused]] static const bool registered = [] {
    RegisterReadMe();
    return true;
  }();
  QFile file(kReadMeResource);
  file.open(QIODevice::ReadOnly);
  text->setPlainText(QString::fromUtf8(file.readAll()));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &window, &QDialog::reject);
  auto* layout = new QVBoxLayout(&window);
  layout->addWidget(text);
  layout->addWidget(buttons);
  window.resize(640, 480);
  window.exec();
}

}  // namespace

AboutBox::AboutBox(const DataFolders& folders, QWidget* parent) : QDialog(parent) {
  setWindowTitle("Pellmarsh: About");
  setObjectName("aboutBox");
  auto* text = new QLabel(
      QString("<h2>Pellmarsh</h2>"
              "<p>Version %1</p>"
              "<p>A download manager that never gives up:</p>"
              "<ul>"
              "<li>HTTP, HTTPS and FTP downloads in the background</li>"
              "<li>Resumes broken transfers and retries with growing delays</li>"
              "<li>Limits its bandwidth and runs several downloads at once</li>"
              "<li>Takes URLs from the clipboard, drag and drop and downloaded pages</li>"
              "<li>Runs your virus checker on finished files</li>"
              "<li>Plays sounds and can hang up or power off when the queue is empty</li>"
              "</ul>")
          .arg(QString::fromUtf8(kProgramVersion.data(), kProgramVersion.size())));
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
  connect(readMe, &QPushButton::clicked, this, [this] { ShowReadMe(this); });
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text);
  layout->addWidget(location);
  layout->addWidget(buttons);
}

}  // namespace pellmarsh
