#pragma once

#include <QWidget>

namespace pellmarsh {

// The small caption-only window shown while the tree is saved at exit.
class ClosingNotice final : public QWidget {
 public:
  ClosingNotice();
  // Shows the notice and lets it paint before the save blocks the thread.
  void ShowNow();
};

}  // namespace pellmarsh
