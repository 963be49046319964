#pragma once

#include <QObject>
#include <memory>

#include "platform/sound_player.h"

class QSoundEffect;

namespace pellmarsh {

// Plays wave files with QSoundEffect on the window thread. A request from
// another thread is posted there and never waited for.
class QtSoundPlayer final : public QObject, public SoundPlayer {
 public:
  QtSoundPlayer();
  ~QtSoundPlayer() override;
  void Play(const std::string& path) override;

 private:
  void PlayHere(const QString& path);

  std::unique_ptr<QSoundEffect> effect_;
};

}  // namespace pellmarsh
