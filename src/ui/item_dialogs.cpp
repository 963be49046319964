#include "ui/item_dialogs.h"

#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "store/item.h"
#include "ui/named_button.h"
#include "view/rename_old.h"

namespace pellmarsh {

TransferLogDialog::TransferLogDialog(const std::string& log, QWidget* parent) : QDialog(parent) {
  setObjectName("transferLogDialog");
  setWindowTitle("Pellmarsh: URL Transfer Log");
  auto* text = new QPlainTextEdit;
  text->setObjectName("logText");
  text->setAccessibleName("Transfer log");
  text->setReadOnly(true);
  text->setLineWrapMode(QPlainTextEdit::NoWrap);
  text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  // The log keeps "\r\n" line ends; the edit wants one break per line.
  text->setPlainText(QString::fromStdString(log).replace("\r\n", "\n"));

  auto* close = new QPushButton("Close");
  close->setObjectName("closeButton");
  close->setDefault(true);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  QPushButton* clear = NamedButton("clearLogButton", "&Clear Log");
  connect(clear, &QPushButton::clicked, this, [this] {
    clearRequested_ = true;
    accept();
  });
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(clear);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text, 1);
  layout->addLayout(buttons);
  resize(640, 360);
}

AddressQuestion AddressDialog::RefreshAddress(const std::string& current) {
  return {"refreshAddressDialog",
          "Pellmarsh: Refresh Address",
          "A new address for the same download, such as a fresh link from the page it came "
          "from.\nWhat it holds is kept when the new address serves the same file.",
          "&New address:",
          "newAddressEdit",
          current};
}

AddressQuestion AddressDialog::SumsFile() {
  return {"sumsFileDialog",
          "Pellmarsh: Check Against a Sums File",
          "A file of checksums, such as SHA256SUMS, as a URL or a file on this computer.\n"
          "Each selected download it lists by name gets its checksum, checked once the "
          "download is whole.",
          "&Sums file:",
          "sumsFileEdit",
          {},
          true};
}

AddressDialog::AddressDialog(const AddressQuestion& question, QWidget* parent) : QDialog(parent) {
  setObjectName(question.objectName);
  setWindowTitle(question.title);
  auto* explanation = new QLabel(question.explanation);
  explanation->setWordWrap(true);
  address_ = new QLineEdit(QString::fromStdString(question.current));
  address_->setObjectName(question.editName);
  address_->setAccessibleName(QString(question.label).remove('&').chopped(1));
  address_->selectAll();
  auto* label = new QLabel(question.label);
  label->setBuddy(address_);
  auto* row = new QHBoxLayout;
  row->addWidget(address_, 1);
  if (question.browse) {
    QPushButton* browse = NamedButton("browseButton", "&Browse...");
    connect(browse, &QPushButton::clicked, this, [this] {
      const QString chosen = QFileDialog::getOpenFileName(this, windowTitle());
      if (!chosen.isEmpty()) {
        address_->setText(chosen);
      }
    });
    row->addWidget(browse);
  }
  QPushButton* ok = NamedButton("okButton", "OK");
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  QPushButton* cancel = NamedButton("cancelButton", "Cancel");
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(explanation);
  layout->addWidget(label);
  layout->addLayout(row);
  layout->addLayout(buttons);
  resize(560, sizeHint().height());
}

std::string AddressDialog::address() const {
  return address_->text().trimmed().toStdString();
}

FileExistsDialog::FileExistsDialog(const std::string& text, const std::string& path,
                                   bool noAllButtons, bool noResumeButtons, UserMessages& messages,
                                   QWidget* parent)
    : QDialog(parent), messages_(messages), oldPath_(path) {
  setObjectName("fileExistsDialog");
  setWindowTitle("Pellmarsh: File Exists!");
  auto* question = new QLabel(QString::fromStdString(text));
  question->setObjectName("questionText");
  question->setTextFormat(Qt::PlainText);  // it names a file
  question->setWordWrap(true);
  question->setTextInteractionFlags(Qt::TextSelectableByMouse);
  newName_ = new QLineEdit(QString::fromStdString(path));
  newName_->setObjectName("newNameEdit");
  newName_->setMinimumWidth(360);

  auto* answers = new QHBoxLayout;
  QPushButton* resume = AddAnswer("resumeButton", "&Resume", FileExistsAnswer::kResume);
  QPushButton* resumeAll =
      AddAnswer("resumeAllButton", "Resume &All", FileExistsAnswer::kResumeAll);
  QPushButton* overwrite = AddAnswer("overwriteButton", "&Overwrite", FileExistsAnswer::kOverwrite);
  QPushButton* overwriteAll =
      AddAnswer("overwriteAllButton", "O&verwrite All", FileExistsAnswer::kOverwriteAll);
  QPushButton* cancel = AddAnswer("cancelButton", "Cancel", FileExistsAnswer::kCancel);
  for (QPushButton* button : {resume, resumeAll, overwrite, overwriteAll, cancel}) {
    answers->addWidget(button);
  }
  resumeAll->setEnabled(!noAllButtons && !noResumeButtons);
  overwriteAll->setEnabled(!noAllButtons);
  resume->setEnabled(!noResumeButtons);

  QPushButton* rename = NamedButton("renameOldButton", "Re&name Old");
  connect(rename, &QPushButton::clicked, this, &FileExistsDialog::RenameOld);
  // Enter keeps the file as it is, or renames it once a new name is typed:
  // neither loses anything, where an overwrite would.
  cancel->setDefault(true);
  connect(newName_, &QLineEdit::textChanged, this, [this, rename, cancel](const QString& name) {
    const bool renaming = !NamesEqual(name.toStdString(), oldPath_);
    rename->setDefault(renaming);
    cancel->setDefault(!renaming);
  });
  auto* renameLabel = new QLabel("Rename the existing file to:");
  renameLabel->setObjectName("newNameLabel");
  renameLabel->setBuddy(newName_);
  auto* renameRow = new QHBoxLayout;
  renameRow->addWidget(renameLabel);
  renameRow->addWidget(newName_, 1);
  renameRow->addWidget(rename);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(question);
  layout->addLayout(answers);
  layout->addSpacing(6);
  layout->addLayout(renameRow);
}

QPushButton* FileExistsDialog::AddAnswer(const char* objectName, const char* caption,
                                         FileExistsAnswer answer) {
  QPushButton* button = NamedButton(objectName, caption);
  connect(button, &QPushButton::clicked, this, [this, answer] { done(static_cast<int>(answer)); });
  return button;
}

void FileExistsDialog::RenameOld() {
  if (RenameOldFile(oldPath_, newName_->text().toStdString(), messages_)) {
    done(static_cast<int>(FileExistsAnswer::kOverwrite));
  }
}

FileExistsAnswer FileExistsDialog::Ask() {
  switch (const int result = exec()) {
    case static_cast<int>(FileExistsAnswer::kOverwrite):
    case static_cast<int>(FileExistsAnswer::kOverwriteAll):
    case static_cast<int>(FileExistsAnswer::kResume):
    case static_cast<int>(FileExistsAnswer::kResumeAll):
      return static_cast<FileExistsAnswer>(result);
    default:
      return FileExistsAnswer::kCancel;  // Escape and the close box too
  }
}

}  // namespace pellmarsh
