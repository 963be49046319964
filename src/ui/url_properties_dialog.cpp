#include "ui/url_properties_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/named_button.h"
#include "view/settings_values.h"

namespace pellmarsh {
namespace {

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

QLineEdit* LabelledEdit(QGridLayout* grid, int row, const char* objectName, const char* caption) {
  auto* edit = new QLineEdit;
  edit->setObjectName(objectName);
  edit->setMinimumWidth(320);
  auto* label = new QLabel(caption);
  label->setObjectName(QString(objectName) + "Label");
  label->setBuddy(edit);
  grid->addWidget(label, row, 0);
  grid->addWidget(edit, row, 1);
  return edit;
}

}  // namespace

UrlPropertiesDialog::UrlPropertiesDialog(const UrlForm& form, bool newItem, bool complete,
                                         UrlFormRules& rules, UserMessages& messages,
                                         QWidget* parent)
    : QDialog(parent),
      form_(form),
      rules_(rules),
      messages_(messages),
      bytesPerSecond_(rules.BytesPerSecond()) {
  setObjectName("urlPropertiesDialog");
  setWindowTitle("Pellmarsh: URL Properties");

  auto* upper = new QHBoxLayout;
  upper->addLayout(BuildFields(), 1);
  upper->addLayout(BuildButtons(complete));
  BuildLogPart();
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(upper);
  layout->addWidget(logPart_, 1);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  transferType_->setCurrentIndex(
      form_.transferCode >= 0 && form_.transferCode < 3 ? form_.transferCode : 0);
  rudeRetries_->setChecked(form_.rudeRetries);
  shownSpeedLimit_ = SpeedBoxText(form_.speedLimit, bytesPerSecond_, SpeedLimitBox::kFullSpeed);
  speedLimit_->setText(Q(shownSpeedLimit_));
  checksum_->setText(Q(form_.checksum));
  if (rules_.HidePasswords()) {
    password_->setEchoMode(QLineEdit::Password);
    password_->setStyleSheet("QLineEdit { lineedit-password-character: 42; }");  // "*"
  }
  url_->installEventFilter(this);
  ShowFields();
  // A URL typed into the main window arrives already expanded.
  if (newItem) {
    Derive();
  } else {
    typeGuess_->setText(TypeGuessText(rules_.Guess(form_.url)));
  }
}

QGridLayout* UrlPropertiesDialog::BuildFields() {
  auto* grid = new QGridLayout;
  url_ = LabelledEdit(grid, 0, "urlEdit", "File &URL:");
  saveAs_ = LabelledEdit(grid, 1, "saveAsEdit", "&Save as:");
  QPushButton* browse = NamedButton("browseButton", "Browse...");
  connect(browse, &QPushButton::clicked, this, &UrlPropertiesDialog::Browse);
  grid->addWidget(browse, 1, 2);
  login_ = LabelledEdit(grid, 2, "loginEdit", "Login Name:");
  password_ = LabelledEdit(grid, 3, "passwordEdit", "&Password:");
  title_ = LabelledEdit(grid, 4, "titleEdit", "&Title (optional):");
  transferType_ = new QComboBox;
  transferType_->setObjectName("transferTypeList");
  transferType_->addItems({"Pellmarsh Chooses", "Binary - AS IS", "Text - LF Line Ends"});
  auto* typeLabel = new QLabel("Transfer T&ype:");
  typeLabel->setObjectName("transferTypeLabel");
  typeLabel->setBuddy(transferType_);
  typeGuess_ = new QLabel;
  typeGuess_->setObjectName("typeGuessText");
  auto* typeRow = new QHBoxLayout;
  typeRow->addWidget(transferType_);
  typeRow->addWidget(typeGuess_, 1);
  grid->addWidget(typeLabel, 5, 0);
  grid->addLayout(typeRow, 5, 1, 1, 2);
  rudeRetries_ = new QCheckBox("Rude Retries");
  rudeRetries_->setObjectName("rudeRetriesBox");
  grid->addWidget(rudeRetries_, 6, 1);
  speedLimit_ = new QLineEdit;
  speedLimit_->setObjectName("speedLimitEdit");
  speedLimit_->setPlaceholderText("no limit");
  auto* limitLabel = new QLabel("Speed &limit:");
  limitLabel->setObjectName("speedLimitLabel");
  limitLabel->setBuddy(speedLimit_);
  auto* limitUnit = new QLabel(Q(std::string(SpeedUnitText(bytesPerSecond_))) + "  (empty: none)");
  limitUnit->setObjectName("speedLimitUnit");
  auto* limitRow = new QHBoxLayout;
  limitRow->addWidget(speedLimit_);
  limitRow->addWidget(limitUnit, 1);
  grid->addWidget(limitLabel, 7, 0);
  grid->addLayout(limitRow, 7, 1, 1, 2);
  checksum_ = LabelledEdit(grid, 8, "checksumEdit", "Chec&ksum:");
  checksum_->setPlaceholderText("sha256:HEX, sha512:, sha1:, md5: or the hex alone (optional)");
  return grid;
}

QVBoxLayout* UrlPropertiesDialog::BuildButtons(bool complete) {
  auto* side = new QVBoxLayout;
  for (const SaveButton& entry : SaveButtons(complete)) {
    QPushButton* button = NamedButton(entry.objectName, entry.caption);
    const UrlDialogEnd end = entry.end;
    connect(button, &QPushButton::clicked, this, [this, end] { SaveAs(end); });
    side->addWidget(button);
    button->setDefault(side->count() == 1);
  }
  QPushButton* cancel = NamedButton("cancelButton", "Cancel");
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  QPushButton* viewLog = NamedButton("viewLogButton", "View Log");
  viewLog->setEnabled(!form_.log.empty());
  connect(viewLog, &QPushButton::clicked, this, &UrlPropertiesDialog::ViewLog);
  side->addWidget(cancel);
  side->addWidget(viewLog);
  side->addStretch(1);
  return side;
}

// The log part, folded away until "View Log".
void UrlPropertiesDialog::BuildLogPart() {
  logPart_ = new QWidget;
  logPart_->setObjectName("logPart");
  auto* divider = new QFrame;
  divider->setObjectName("logDivider");
  divider->setFrameShape(QFrame::HLine);
  divider->setFrameShadow(QFrame::Sunken);
  log_ = new QPlainTextEdit;
  log_->setObjectName("logText");
  log_->setReadOnly(true);
  log_->setLineWrapMode(QPlainTextEdit::NoWrap);
  log_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  log_->setPlainText(Q(form_.log).replace("\r\n", "\n"));
  auto* logLabel = new QLabel("Transfer Log:");
  logLabel->setObjectName("logLabel");
  logLabel->setBuddy(log_);
  QPushButton* clearLog = NamedButton("clearLogButton", "Clear &Log");
  connect(clearLog, &QPushButton::clicked, log_, &QPlainTextEdit::clear);
  auto* logLayout = new QVBoxLayout(logPart_);
  logLayout->setContentsMargins(0, 0, 0, 0);
  logLayout->addWidget(divider);
  logLayout->addWidget(logLabel);
  logLayout->addWidget(log_, 1);
  auto* clearRow = new QHBoxLayout;
  clearRow->addWidget(clearLog);
  clearRow->addStretch(1);
  logLayout->addLayout(clearRow);
  logPart_->hide();
}

bool UrlPropertiesDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == url_ && event->type() == QEvent::FocusOut) {
    Derive();
  }
  return QDialog::eventFilter(watched, event);
}

// Leaving the URL field as the dialog closes must not draw another file name.
void UrlPropertiesDialog::done(int result) {
  url_->removeEventFilter(this);
  QDialog::done(result);
}

void UrlPropertiesDialog::ReadFields() {
  form_.url = url_->text().toStdString();
  form_.saveAs = saveAs_->text().toStdString();
  // However it was changed (typed, pasted, chosen, set by a screen reader).
  form_.namedByUser = form_.namedByUser || form_.saveAs != shownSaveAs_;
  form_.login = login_->text().toStdString();
  form_.password = password_->text().toStdString();
  form_.title = title_->text().toStdString();
  form_.transferCode = transferType_->currentIndex();
  form_.rudeRetries = rudeRetries_->isChecked();
  // Only an emptied log matters to the item.
  if (log_->toPlainText().isEmpty()) {
    form_.log.clear();
  }
}

void UrlPropertiesDialog::ShowFields() {
  url_->setText(Q(form_.url));
  saveAs_->setText(Q(form_.saveAs));
  shownSaveAs_ = form_.saveAs;
  login_->setText(Q(form_.login));
  password_->setText(Q(form_.password));
  title_->setText(Q(form_.title));
}

void UrlPropertiesDialog::Derive() {
  ReadFields();
  typeGuess_->setText(TypeGuessText(rules_.Derive(form_)));
  ShowFields();
}

// A URL that does not parse would only make an item that fails for good: the
// dialog stays open for it to be mended.
void UrlPropertiesDialog::SaveAs(UrlDialogEnd end) {
  const std::optional<double> limit =
      SpeedBoxLimit(shownSpeedLimit_, speedLimit_->text().toStdString(), form_.speedLimit,
                    bytesPerSecond_, SpeedLimitBox::kFullSpeed);
  if (!limit) {
    messages_.Show({"Please enter an integer.", "Pellmarsh: URL Properties", MessageButtons::kOk,
                    MessageIcon::kExclamation});
    speedLimit_->setFocus();
    speedLimit_->selectAll();
    return;
  }
  form_.speedLimit = std::max(*limit, 0.0);
  std::string checksumError;
  const std::optional<std::string> checksum =
      ChecksumFieldValue(checksum_->text().toStdString(), checksumError);
  if (!checksum) {
    messages_.Show({checksumError, "Pellmarsh: URL Properties", MessageButtons::kOk,
                    MessageIcon::kExclamation});
    checksum_->setFocus();
    checksum_->selectAll();
    return;
  }
  form_.checksum = *checksum;
  ReadFields();
  const std::string refused = rules_.Save(form_);
  ShowFields();
  if (!refused.empty()) {
    messages_.Show({refused + "\r\n\r\nEnter the URL of the file, such as http://host/file.zip.",
                    "Pellmarsh: URL Properties", MessageButtons::kOk, MessageIcon::kExclamation});
    url_->setFocus();
    url_->selectAll();
    return;
  }
  done(static_cast<int>(end));
}

void UrlPropertiesDialog::Browse() {
  for (;;) {
    const QString chosen =
        QFileDialog::getSaveFileName(this, "Pellmarsh: Save As", saveAs_->text(), "All files (*)",
                                     nullptr, QFileDialog::DontConfirmOverwrite);
    if (chosen.isEmpty()) {
      return;
    }
    const QFileInfo info(chosen);
    if (!info.exists() || info.isWritable()) {
      saveAs_->setText(chosen);
      return;
    }
    messages_.Show({chosen.toStdString() +
                    "\nThis file is set to read-only.\nTry again with a different file name."});
  }
}

void UrlPropertiesDialog::ViewLog() {
  logPart_->show();
  log_->setMinimumHeight(160);
}

UrlDialogEnd UrlPropertiesDialog::Run() {
  const int result = exec();
  for (const SaveButton& button : SaveButtons(false)) {
    if (result == static_cast<int>(button.end)) {
      return button.end;
    }
  }
  return UrlDialogEnd::kCancel;  // Escape and the close box too
}

}  // namespace pellmarsh
