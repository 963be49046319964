#pragma once

#include <QObject>
#include <memory>

#include "desktop/qt_gui_queue.h"
#include "platform/sound_player.h"

class QSoundEffect;

namespace pellmarsh {

// Plays wave files with QSoundEffect on the window thread. A request from
// another thread is posted there and never waited for. Construct it on the
// window thread.
class QtSoundPlayer final : public SoundPlayer {
 public:
  QtSoundPlayer();
  ~QtSoundPlayer() override;
  void Play(const std::string& path) override;

 private:
  void PlayHere(const QString& path);

  std::unique_ptr<QSoundEffect> effect_;
  QtGuiQueue guiQueue_;
};

}  // namespace pellmarsh
