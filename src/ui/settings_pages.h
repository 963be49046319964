#pragma once

#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "platform/sound_player.h"
#include "platform/user_messages.h"
#include "store/keys.h"
#include "store/tree.h"
#include "view/settings_values.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLayout;
class QLineEdit;
class QListWidget;
class QVBoxLayout;

class QGridLayout;

namespace pellmarsh {

// The file dialogs of the pages; each returns the empty text when cancelled.
struct SettingsFileDialogs {
  using Pick = std::function<std::string(QWidget* parent, const std::string& start)>;
  Pick directory;
  Pick program;
  Pick sound;
};
SettingsFileDialogs DesktopFileDialogs();

// A sorted list box of a folder's children, each row tied to its child.
class FolderList {
 public:
  FolderList(std::string_view folder, PropKey shownKey) : folder_(folder), key_(shownKey) {}
  void Attach(QListWidget* list) { list_ = list; }
  QListWidget* widget() const { return list_; }
  // Fills the rows from the folder (made when missing), keeping the selected
  // position, or selecting the first row when `selectFirst`.
  void Fill(Tree& tree, bool selectFirst);
  // Runs `work` on the selected row's child under the tree lock; nothing runs
  // when no row is selected or its child has left the folder.
  void WithSelected(Tree& tree, const std::function<void(Item& folder, Item& child)>& work);

 private:
  std::string_view folder_;
  PropKey key_;
  QListWidget* list_ = nullptr;
  std::vector<FolderEntry> entries_;
};

// What the pages share: the tree the folder pages edit at once, the program's
// services, and the settings held until OK.
struct SettingsContext {
  Tree& tree;
  UserMessages& messages;
  SoundPlayer& sounds;
  SettingsFileDialogs dialogs;
  SettingsValues values;
};

class BandwidthPage final : public QWidget {
 public:
  explicit BandwidthPage(SettingsContext& context);
  // Shows the units and the limits in the unit the sheet shows now.
  void Activate();
  // Reads the limits changed since Activate; false (after saying so) when a
  // box holds no integer.
  bool Leave();

 private:
  // A box with the text the page last put in it or read from it.
  struct SpeedBox {
    QLineEdit* edit = nullptr;
    SpeedLimitBox kind;
    std::string shown;
  };
  // A count chosen from a range, shown in `grid`'s `row` and kept in `value`.
  struct CountBox {
    const char* name;  // of the spin box and its label, before "Spin" and "Label"
    const char* label;
    int lowest;
    int highest;
  };
  void AddCount(QGridLayout* grid, int row, const CountBox& box, int& value);
  void Show(SpeedBox& box, double limit);
  bool ReadBox(SpeedBox& box, double& limit);
  // The boxes are read in the unit they show before they show the other.
  void OnUnitToggled(bool bytesPerSecond);

  SettingsContext& context_;
  SpeedBox highSpeed_{nullptr, SpeedLimitBox::kFullSpeed, {}};
  SpeedBox lowSpeed_{nullptr, SpeedLimitBox::kBackground, {}};
  QLabel* highUnit_ = nullptr;
  QLabel* lowUnit_ = nullptr;
  QLabel* sample_ = nullptr;
  QCheckBox* bytesPerSecond_ = nullptr;
};

// The per-host entries, changed in the tree at every edit, and how
// FTP data connections are opened.
class DefaultsPage final : public QWidget {
 public:
  explicit DefaultsPage(SettingsContext& context);

 private:
  void ShowHost();
  // Runs `edit` on the selected host's entry under the tree lock.
  void EditHost(const std::function<void(Item&)>& edit);
  void OnLocalPathEdited(const QString& text);
  void Browse();
  // The proxy for http and https, kept in the sheet's values until OK.
  QLayout* BuildProxyRows();

  SettingsContext& context_;
  FolderList hosts_{folder::kHostDefaults, key::kName};
  QLineEdit* localPath_ = nullptr;
  QLineEdit* login_ = nullptr;
  QLineEdit* password_ = nullptr;
  QCheckBox* permanent_ = nullptr;
};

// The text extensions and MIME types, changed in the tree at once.
class TextTypesPage final : public QWidget {
 public:
  explicit TextTypesPage(SettingsContext& context);

 private:
  struct TypeList {
    TextTypeKind kind;
    std::string_view folder;
    FolderList entries;
    QLineEdit* edit = nullptr;
  };
  QWidget* BuildList(TypeList& types, const char* prefix, const char* title);
  void Add(TypeList& types);
  void Delete(TypeList& types);

  SettingsContext& context_;
  TypeList extensions_{TextTypeKind::kExtension, folder::kFtpText, {folder::kFtpText, key::kName}};
  TypeList mimeTypes_{TextTypeKind::kMimeType, folder::kHttpText, {folder::kHttpText, key::kName}};
};

class MiscellaneousPage final : public QWidget {
 public:
  explicit MiscellaneousPage(SettingsContext& context);
  // Runs the upgrade check once the typed site is stored; the sheet stays open.
  std::function<void()> onCheckNow;

 private:
  QCheckBox* AddBox(const char* objectName, const QString& caption, bool& value);
  // The log, file, retry and password boxes.
  void AddItemBoxes(QVBoxLayout& layout);
  QLayout* BuildConnectionsRow();
  QLayout* BuildVersionRow();
  QLayout* BuildUpgradeSiteRow();
  QLayout* BuildRunAfterRow();
  void CheckNow();

  SettingsContext& context_;
};

class VirusCheckPage final : public QWidget {
 public:
  explicit VirusCheckPage(SettingsContext& context);

 private:
  // When files are checked: never, from the menu, or after each download.
  QWidget* BuildModes();
  QLayout* BuildProgramRow();
  QGroupBox* BuildReturnValues();

  SettingsContext& context_;
  QLineEdit* program_ = nullptr;
};

// The file of each event, changed in the tree at every edit.
class SoundPage final : public QWidget {
 public:
  explicit SoundPage(SettingsContext& context);

 private:
  void ShowEvent();
  void OnFileEdited(const QString& text);

  SettingsContext& context_;
  FolderList events_{folder::kSoundConfig, key::kValue};
  QLineEdit* file_ = nullptr;
};

}  // namespace pellmarsh
