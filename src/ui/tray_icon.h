#pragma once

#include <QObject>
#include <QSystemTrayIcon>
#include <functional>
#include <string>

namespace pellmarsh {

inline constexpr int kTrayIconIdle = 129;
inline constexpr int kTrayIconActive = 130;

// The desktop's notification-area entry; tests stand in for it.
class TrayEntry {
 public:
  virtual ~TrayEntry() = default;
  // False on a desktop without a notification area.
  virtual bool Available() = 0;
  // Adds the entry, or changes its picture when it is there.
  virtual void Show(int icon) = 0;
  virtual void SetToolTip(const std::string& text) = 0;
  // Harmless when there is no entry.
  virtual void Remove() = 0;

  // A mouse event on the entry.
  std::function<void(QSystemTrayIcon::ActivationReason)> onActivated;
};

class QtTrayEntry final : public QObject, public TrayEntry {
 public:
  QtTrayEntry();
  bool Available() override;
  void Show(int icon) override;
  void SetToolTip(const std::string& text) override;
  void Remove() override;

 private:
  QSystemTrayIcon* icon_;
};

// Which icon the entry shows: -1 when there is none, else 129 (idle) or 130
// (downloads running).
class TrayState {
 public:
  explicit TrayState(TrayEntry& entry) : entry_(entry) {}

  // Adds the entry as idle; false when the desktop has nowhere to put it, in
  // which case the window must stay where the user can reach it.
  bool Add();
  void Remove();
  // The once-a-second follow-up of the running downloads: the icon, and the
  // rate text (empty with nothing running) in the tooltip.
  void Update(int activeCount, const std::string& rateText);
  int current() const { return current_; }

 private:
  TrayEntry& entry_;
  int current_ = -1;
  std::string toolTip_;
};

}  // namespace pellmarsh
