#pragma once

#include <QDialog>

#include "capture/url_form.h"
#include "platform/user_messages.h"
#include "view/url_adding.h"

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QVBoxLayout;
class QWidget;

namespace pellmarsh {

// Where a URL item is saved, how it is fetched, its login and title, with its
// transfer log folded away below. Works on a copy of the item's values.
class UrlPropertiesDialog final : public QDialog {
 public:
  UrlPropertiesDialog(const UrlForm& form, bool newItem, bool complete, UrlFormRules& rules,
                      UserMessages& messages, QWidget* parent);

  // Runs the dialog; on a save, form() holds the fields as saved.
  UrlDialogEnd Run();
  const UrlForm& form() const { return form_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void done(int result) override;

 private:
  // The URL, file, login and transfer fields.
  QGridLayout* BuildFields();
  // The save buttons for the item's state, Cancel and View Log.
  QVBoxLayout* BuildButtons(bool complete);
  void BuildLogPart();
  void ReadFields();
  void ShowFields();
  void Derive();
  void SaveAs(UrlDialogEnd end);
  void Browse();
  void ViewLog();

  UrlForm form_;
  std::string shownSaveAs_;  // as the dialog last showed it
  UrlFormRules& rules_;
  UserMessages& messages_;
  QLineEdit* url_ = nullptr;
  QLineEdit* saveAs_ = nullptr;
  QLineEdit* login_ = nullptr;
  QLineEdit* password_ = nullptr;
  QLineEdit* title_ = nullptr;
  QComboBox* transferType_ = nullptr;
  QLabel* typeGuess_ = nullptr;
  QCheckBox* rudeRetries_ = nullptr;
  QLineEdit* speedLimit_ = nullptr;
  QLineEdit* checksum_ = nullptr;
  bool bytesPerSecond_ = false;
  std::string shownSpeedLimit_;  // as the dialog last showed it
  QWidget* logPart_ = nullptr;
  QPlainTextEdit* log_ = nullptr;
};

}  // namespace pellmarsh
