#include "ui/button_icons.h"

#include <QStyle>
#include <cstring>

#include "ui/named_button.h"

namespace pellmarsh {
namespace {

struct ButtonIconName {
  const char* objectName;
  const char* themeName;  // as the freedesktop icon naming names it
  QStyle::StandardPixmap fallback;
};

constexpr ButtonIconName kIcons[] = {
    {"downloadButton", "go-down", QStyle::SP_ArrowDown},
    {"settingsButton", "preferences-system", QStyle::SP_FileDialogDetailedView},
    {"aboutButton", "help-about", QStyle::SP_MessageBoxInformation},
    {"propertiesButton", "document-properties", QStyle::SP_FileDialogInfoView},
    {"startNowButton", "media-playback-start", QStyle::SP_MediaPlay},
    {"queueButton", "list-add", QStyle::SP_ArrowRight},
    {"stopButton", "media-playback-stop", QStyle::SP_MediaStop},
    {"pauseResumeButton", "media-playback-pause", QStyle::SP_MediaPause},
    {"launchButton", "document-open", QStyle::SP_DialogOpenButton},
    {"archiveButton", "edit-clear", QStyle::SP_DialogDiscardButton},
    {"deleteFileButton", "user-trash", QStyle::SP_TrashIcon},
    {"goFastButton", "media-seek-forward", QStyle::SP_MediaSeekForward},
    {"pauseButton", "media-playback-pause", QStyle::SP_MediaPause},
    {"offlineButton", "network-offline", QStyle::SP_BrowserStop},
    {"goodNightButton", "system-shutdown", QStyle::SP_DialogCloseButton},
};

}  // namespace

QIcon ButtonIcon(const char* objectName, const QStyle& style) {
  for (const ButtonIconName& entry : kIcons) {
    if (std::strcmp(entry.objectName, objectName) == 0) {
      return QIcon::fromTheme(entry.themeName, style.standardIcon(entry.fallback));
    }
  }
  return {};
}

QPushButton* IconButton(const char* objectName, const char* caption, const char* toolTip,
                        bool enabled, const QStyle& style) {
  QPushButton* button = NamedButton(objectName, caption);
  button->setIcon(ButtonIcon(objectName, style));
  button->setToolTip(toolTip);
  button->setEnabled(enabled);
  return button;
}

}  // namespace pellmarsh
