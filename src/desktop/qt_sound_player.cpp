#include "desktop/qt_sound_player.h"

#include <QSoundEffect>
#include <QUrl>

namespace pellmarsh {

QtSoundPlayer::QtSoundPlayer() : effect_(std::make_unique<QSoundEffect>()) {}

QtSoundPlayer::~QtSoundPlayer() = default;

void QtSoundPlayer::Play(const std::string& path) {
  guiQueue_.Post([this, path] { PlayHere(QString::fromStdString(path)); });
}

void QtSoundPlayer::PlayHere(const QString& path) {
  // A new event's sound replaces the one playing, as the desktop's own sounds do.
  effect_->stop();
  effect_->setSource(QUrl::fromLocalFile(path));
  effect_->play();
}

}  // namespace pellmarsh
